#include "uikit/KMHeadlessHost.h"

#include <cstdio>
#include <fstream>

#include "graphics/Screen.h"
#include "graphics/UIGraphicsImageContext.h"
#include "graphics/UIImageRepresentation.h"
#include "platform/RunLoop.h"
#include "uikit/UIApplication.h"
#include "uikit/UIScreen.h"
#include "uikit/UIScrollView.h"
#include "uikit/UIWindow.h"

namespace kdisk {

namespace {

bool isShown(const UIView& view) {
  for (const UIView* current = &view; current; current = current->superview())
    if (current->isHidden() || current->alpha() <= 0.01) return false;
  return view.window() != nullptr;
}

void collect(UIView& view, const std::string& text, std::vector<UIView*>& found) {
  if (view.isHidden() || view.alpha() <= 0.01) return;
  if (auto label = view.accessibilityLabel(); label && *label == text) found.push_back(&view);
  for (auto& subview : view.subviews()) collect(*subview, text, found);
}

void collectTexts(UIView& view, std::vector<UIView*>& found) {
  if (view.isHidden() || view.alpha() <= 0.01) return;
  if (view.accessibilityLabel()) found.push_back(&view);
  for (auto& subview : view.subviews()) collectTexts(*subview, found);
}

// The scroll view under the finger takes such a touch for itself.
bool stopsMovingContent(UIView& hit) {
  for (UIView* view = &hit; view; view = view->superview())
    if (auto* scroll = dynamic_cast<UIScrollView*>(view); scroll && scroll->isMoving()) return true;
  return false;
}

}  // namespace

KMHeadlessHost::KMHeadlessHost(double scale) : m_scale(scale >= 1.5 ? 2 : 1) {
  setMainScreenScale(m_scale);
  m_window = std::make_shared<UIWindow>(UIScreen::mainScreen().bounds());
  m_window->makeKeyAndVisible();
}

KMHeadlessHost::~KMHeadlessHost() {
  if (m_window) m_window->setRootViewController(nullptr);
}

void KMHeadlessHost::setRootViewController(std::shared_ptr<UIViewController> controller) {
  m_window->setRootViewController(std::move(controller));
  settle();
}

void KMHeadlessHost::settle() {
  RunLoop::main().runPending();
  m_window->layoutIfNeeded();
}

void KMHeadlessHost::advance(double seconds) {
  auto& loop = RunLoop::main();
  if (loop.usesVirtualClock()) {
    loop.advance(seconds);
  } else {
    const double until = loop.now() + seconds;
    loop.runUntil([&] { return loop.now() >= until; }, seconds + 1);
  }
  settle();
}

void KMHeadlessHost::touchDown(CGPoint point) {
  settle();
  m_window->touchDown(point);
  settle();
}

void KMHeadlessHost::touchMove(CGPoint point) {
  m_window->touchMove(point);
  settle();
}

void KMHeadlessHost::touchUp(CGPoint point) {
  m_window->touchUp(point);
  settle();
}

void KMHeadlessHost::tapPoint(CGPoint point) {
  touchDown(point);
  advance(0.05);
  touchUp(point);
}

CGRect KMHeadlessHost::visibleRectOfView(const UIView& view) const {
  if (!isShown(view)) return CGRectZero;
  CGRect rect = view.convertRectToView(view.bounds(), nullptr);
  for (const UIView* ancestor = view.superview(); ancestor; ancestor = ancestor->superview())
    if (ancestor->clipsToBounds())
      rect = CGRectIntersection(rect, ancestor->convertRectToView(ancestor->bounds(), nullptr));
  rect = CGRectIntersection(rect, m_window->bounds());
  return CGRectIsNull(rect) || CGRectIsEmpty(rect) ? CGRectZero : rect;
}

bool KMHeadlessHost::tapView(const UIView& view) {
  settle();
  const CGRect visible = visibleRectOfView(view);
  if (CGRectIsEmpty(visible)) return false;
  const CGPoint point = CGRectGetCenter(visible);
  UIView* hit = m_window->hitTest(point);
  if (!hit) return false;
  // The tap lands on the view, on something inside it, or on the interactive
  // ancestor that receives touches for it (a label in a button).
  const bool reaches = hit->isDescendantOfView(&view) || view.isDescendantOfView(hit);
  if (!reaches || stopsMovingContent(*hit)) return false;
  tapPoint(point);
  return true;
}

bool KMHeadlessHost::tapText(const std::string& text) {
  auto* view = findViewWithText(text);
  return view && tapView(*view);
}

void KMHeadlessHost::drag(const std::vector<CGPoint>& path, double seconds, int stepsPerSegment,
                          KMDragRelease release) {
  if (path.empty()) return;
  touchDown(path.front());
  const int segments = int(path.size()) - 1;
  if (segments <= 0) {
    advance(seconds);
  } else {
    stepsPerSegment = std::max(1, stepsPerSegment);
    const double stepTime = seconds / (segments * stepsPerSegment);
    for (int segment = 0; segment < segments; ++segment) {
      const CGPoint a = path[segment], b = path[segment + 1];
      for (int step = 1; step <= stepsPerSegment; ++step) {
        const double t = double(step) / stepsPerSegment;
        advance(stepTime);
        touchMove({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
      }
    }
  }
  if (release == KMDragRelease::Lift) touchUp(path.back());
}

void KMHeadlessHost::typeText(const std::string& text) {
  settle();
  m_window->insertText(text);
  settle();
}

void KMHeadlessHost::pressBackspace() {
  m_window->deleteBackward();
  settle();
}

void KMHeadlessHost::pressReturn() {
  m_window->returnKeyPressed();
  settle();
}

void KMHeadlessHost::tapStatusBar() {
  settle();
  m_window->statusBarTapped();
  settle();
}

void KMHeadlessHost::sendApplicationToBackground() {
  UIApplication::sharedApplication().enterBackground();
  settle();
}

void KMHeadlessHost::bringApplicationToForeground() {
  UIApplication::sharedApplication().enterForeground();
  settle();
}

std::vector<UIView*> KMHeadlessHost::findViewsWithText(const std::string& text) {
  settle();
  std::vector<UIView*> candidates, found;
  collect(*m_window, text, candidates);
  for (auto* view : candidates)
    if (!CGRectIsEmpty(visibleRectOfView(*view))) found.push_back(view);
  return found;
}

UIView* KMHeadlessHost::findViewWithText(const std::string& text) {
  auto found = findViewsWithText(text);
  return found.empty() ? nullptr : found.back();
}

UIView* KMHeadlessHost::findViewWithTag(int tag) {
  settle();
  return m_window->viewWithTag(tag);
}

std::vector<std::string> KMHeadlessHost::visibleTexts() {
  settle();
  std::vector<UIView*> views;
  collectTexts(*m_window, views);
  std::vector<std::string> texts;
  for (auto* view : views)
    if (!CGRectIsEmpty(visibleRectOfView(*view))) texts.push_back(*view->accessibilityLabel());
  return texts;
}

std::shared_ptr<UIImage> KMHeadlessHost::snapshot() {
  settle();
  UIGraphicsImageContext context(m_window->bounds().size, KMImageContextOpacity::Opaque, m_scale);
  m_window->render(context.context());
  return context.image();
}

bool KMHeadlessHost::savePNG(const std::string& path) {
  auto image = snapshot();
  auto bytes = UIImagePNGRepresentation(image.get());
  if (!bytes) return false;
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
  return bool(file);
}

}  // namespace kdisk
