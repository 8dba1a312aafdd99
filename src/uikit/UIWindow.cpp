#include "uikit/UIWindow.h"

#include <cmath>

#include "graphics/NSStringDrawing.h"
#include "uikit/CGContext.h"
#include "uikit/KMFileDropTarget.h"
#include "uikit/UIApplication.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIScreen.h"
#include "uikit/UIScrollView.h"
#include "uikit/UIViewController.h"

namespace kdisk {

namespace {
UIWindow* g_keyWindow = nullptr;
constexpr double kDoubleTapInterval = 0.35;
constexpr CGFloat kDoubleTapDistance = 20;

// Hit views under a view that is not drawn cannot be reached.
void collectScrollViewsToTop(UIView& view, std::vector<UIScrollView*>& found) {
  if (view.isHidden() || view.alpha() <= 0.01) return;
  if (auto* scroll = dynamic_cast<UIScrollView*>(&view); scroll && scroll->scrollsToTop())
    found.push_back(scroll);
  for (auto& subview : view.subviews()) collectScrollViewsToTop(*subview, found);
}
}  // namespace

UIWindow::UIWindow(CGRect frame) : UIView(frame) {
  setBackgroundColor(UIColor::blackColor());
}

UIWindow::~UIWindow() {
  if (g_keyWindow == this) g_keyWindow = nullptr;
}

UIWindow* UIWindow::keyWindow() { return g_keyWindow; }

void UIWindow::makeKeyAndVisible() {
  g_keyWindow = this;
  setHidden(false);
  setNeedsUpdate();
}

void UIWindow::setRootViewController(std::shared_ptr<UIViewController> controller) {
  if (m_rootViewController == controller) return;
  if (m_rootViewController && m_rootViewController->isViewLoaded()) {
    m_rootViewController->beginAppearanceTransition(KMAppearance::Disappearing, KMAnimated::No);
    m_rootViewController->view()->removeFromSuperview();
    m_rootViewController->endAppearanceTransition();
  }
  m_rootViewController = std::move(controller);
  if (!m_rootViewController) return;
  auto view = m_rootViewController->view();
  view->setFrame(UIScreen::mainScreen().applicationFrame());
  view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  m_rootViewController->beginAppearanceTransition(KMAppearance::Appearing, KMAnimated::No);
  insertSubviewAtIndex(view, 0);
  m_rootViewController->endAppearanceTransition();
}

// ---- Touches ---------------------------------------------------------------

void UIWindow::offerToGestures(const UITouchSet& touches) {
  const auto& touch = *touches.front();
  if (auto claimed = m_claimedBy.lock()) {
    static_cast<UIView*>(claimed.get())->gestureTouch(touch);
    return;
  }
  for (auto& weak : m_gestureViews) {
    auto gesture = weak.lock();
    if (!gesture) continue;
    auto* view = static_cast<UIView*>(gesture.get());
    if (view->gestureTouch(touch) == KMGestureAnswer::Claim) {
      m_claimedBy = gesture;
      if (touch.view() && !m_touchCancelledInView) {
        m_touchCancelledInView = true;
        const auto phase = touch.phase();
        touches.front()->setPhase(UITouchPhase::Cancelled);
        touch.view()->touchesCancelled(touches);
        touches.front()->setPhase(phase);
      }
      return;
    }
  }
}

void UIWindow::touchDown(CGPoint location) {
  if (m_touch) touchCancel();
  layoutIfNeeded();
  auto touch = std::make_shared<UITouch>();
  touch->setWindow(this);
  touch->moveToWindowLocation(location);
  touch->moveToWindowLocation(location);
  touch->setPhase(UITouchPhase::Began);
  const double now = RunLoop::main().now();
  touch->setTimestamp(now);
  const bool repeated = now - m_lastTapTime < kDoubleTapInterval &&
                        std::hypot(location.x - m_lastTapLocation.x,
                                   location.y - m_lastTapLocation.y) < kDoubleTapDistance;
  touch->setTapCount(repeated ? m_lastTapCount + 1 : 1);
  UIView* hit = hitTest(location);
  if (!hit) return;
  touch->setView(hit->sharedView());
  m_touch = touch;
  m_claimedBy.reset();
  m_touchCancelledInView = false;
  m_gestureViews.clear();
  for (UIView* view = hit; view; view = view->superview())
    if (view->tracksTouchesAsGesture()) m_gestureViews.push_back(view->weak_from_this());
  const UITouchSet touches{touch};
  offerToGestures(touches);
  if (m_claimedBy.expired()) hit->touchesBegan(touches);
}

void UIWindow::touchMove(CGPoint location) {
  if (!m_touch) return;
  auto touch = m_touch;
  touch->moveToWindowLocation(location);
  touch->setPhase(UITouchPhase::Moved);
  touch->setTimestamp(RunLoop::main().now());
  const UITouchSet touches{touch};
  offerToGestures(touches);
  if (m_claimedBy.expired() && touch->view()) touch->view()->touchesMoved(touches);
}

void UIWindow::touchUp(CGPoint location) {
  if (!m_touch) return;
  auto touch = m_touch;
  touch->moveToWindowLocation(location);
  touch->setPhase(UITouchPhase::Ended);
  touch->setTimestamp(RunLoop::main().now());
  const UITouchSet touches{touch};
  offerToGestures(touches);
  if (m_claimedBy.expired() && touch->view()) touch->view()->touchesEnded(touches);
  m_lastTapTime = touch->timestamp();
  m_lastTapLocation = location;
  m_lastTapCount = touch->tapCount();
  m_touch.reset();
  m_gestureViews.clear();
  m_claimedBy.reset();
}

void UIWindow::touchCancel() {
  if (!m_touch) return;
  auto touch = m_touch;
  touch->setPhase(UITouchPhase::Cancelled);
  const UITouchSet touches{touch};
  offerToGestures(touches);
  if (m_claimedBy.expired() && touch->view()) touch->view()->touchesCancelled(touches);
  m_touch.reset();
  m_gestureViews.clear();
  m_claimedBy.reset();
}

void UIWindow::insertText(std::string_view text) {
  auto* first = UIResponder::currentFirstResponder();
  if (first && first != this) first->insertText(text);
}

void UIWindow::deleteBackward() {
  auto* first = UIResponder::currentFirstResponder();
  if (first && first != this) first->deleteBackward();
}

void UIWindow::returnKeyPressed() {
  auto* first = UIResponder::currentFirstResponder();
  if (first && first != this) first->returnKeyPressed();
}

void UIWindow::statusBarTapped() {
  std::vector<UIScrollView*> found;
  collectScrollViewsToTop(*this, found);
  // With more than one candidate nobody scrolls, as on the platform.
  if (found.size() == 1) found.front()->scrollToTop();
}

// ---- Drops and wheels -------------------------------------------------------

KMFileDropTarget* UIWindow::fileDropTargetAtPoint(CGPoint location) {
  layoutIfNeeded();
  for (UIResponder* responder = hitTest(location); responder; responder = responder->nextResponder()) {
    if (auto* target = dynamic_cast<KMFileDropTarget*>(responder)) return target;
    // Over a navigation bar or toolbar: the screen the stack shows.
    if (auto* navigation = dynamic_cast<UINavigationController*>(responder))
      return dynamic_cast<KMFileDropTarget*>(navigation->topViewController());
  }
  return nullptr;
}

bool UIWindow::dropFilesAtPoint(CGPoint location, const std::vector<URL>& urls) {
  auto* target = fileDropTargetAtPoint(location);
  if (!target || urls.empty() || !target->canAcceptDroppedFiles()) return false;
  return target->acceptDroppedFiles(urls);
}

UIScrollView* UIWindow::scrollViewForWheelAtPoint(CGPoint location, CGPoint delta) {
  layoutIfNeeded();
  UIView* hit = hitTest(location);
  for (bool across : {false, true})
    for (UIView* view = hit; view; view = view->superview())
      if (auto* scroll = dynamic_cast<UIScrollView*>(view); scroll && scroll->canScrollAlongWheelDelta(delta, across))
        return scroll;
  return nullptr;
}

void UIWindow::wheelGestureBegan(CGPoint location) {
  wheelGestureEnded({0, 0});
  m_wheelGestureLocation = location;
}

void UIWindow::wheelGestureMoved(CGPoint delta) {
  auto held = m_wheelGestureView.lock();
  if (!held && m_wheelGestureLocation) {
    // The first move says which way, and so which list, the fingers scroll.
    if (auto* scroll = scrollViewForWheelAtPoint(*m_wheelGestureLocation, delta)) {
      held = scroll->weak_from_this().lock();
      m_wheelGestureView = held;
      scroll->beginWheelGesture();
    }
    m_wheelGestureLocation.reset();
  }
  if (held) static_cast<UIScrollView*>(held.get())->wheelGestureMoved(delta);
}

void UIWindow::wheelGestureEnded(CGPoint velocity) {
  m_wheelGestureLocation.reset();
  auto held = m_wheelGestureView.lock();
  m_wheelGestureView.reset();
  if (held) static_cast<UIScrollView*>(held.get())->endWheelGesture(velocity);
}

void UIWindow::scrollWheel(CGPoint location, CGPoint notches) {
  if (m_wheelGestureView.lock()) return;
  if (auto* scroll = scrollViewForWheelAtPoint(location, notches)) scroll->scrollWheelNotches(notches);
}

void UIWindow::scrollWheelPrecise(CGPoint location, CGPoint delta) {
  if (m_wheelGestureView.lock()) return;
  if (auto* scroll = scrollViewForWheelAtPoint(location, delta)) scroll->scrollWheelPoints(delta);
}

// ---- Update and drawing ------------------------------------------------------

void UIWindow::setNeedsUpdate() {
  if (m_updatePending) return;
  m_updatePending = true;
  std::weak_ptr<UIResponder> weak = weak_from_this();
  RunLoop::main().post([weak] {
    auto strong = weak.lock();
    if (!strong) return;
    auto* window = static_cast<UIWindow*>(strong.get());
    window->m_updatePending = false;
    window->layoutIfNeeded();
    if (window->m_updateHandler) window->m_updateHandler();
  });
}

void UIWindow::render(cairo_t* context) {
  layoutIfNeeded();
  m_updatePending = false;
  drawContentAndSubviews(context);
  if (!UIApplication::sharedApplication().isStatusBarHidden()) {
    const CGRect bar = CGRectMake(0, 0, bounds().size.width, UIScreen::kStatusBarHeight);
    CGContextFillRect(context, bar, UIColor::colorWithWhiteAlpha(0.08, 1));
    UIColor::whiteColor().setFill(context);
    drawInRectWithFontLineBreakModeAlignment(context, "12:00", CGRectMake(0, 3, bar.size.width, 16),
                                             UIFont::boldSystemFontOfSize(12),
                                             NSLineBreakMode::Clip, NSTextAlignment::Center);
    CGContextStrokeRect(context, CGRectMake(bar.size.width - 30, 6, 22, 9), 1,
                        UIColor::whiteColor());
    CGContextFillRect(context, CGRectMake(bar.size.width - 28, 8, 16, 5), UIColor::whiteColor());
  }
}

}  // namespace kdisk
