#include "uikit/UIView.h"

#include <algorithm>
#include <cmath>

#include "uikit/CALayer.h"
#include "uikit/CGContext.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"

namespace kdisk {

namespace {

template <typename T>
T interpolate(const T& from, const T& to, double t);

template <>
CGFloat interpolate(const CGFloat& from, const CGFloat& to, double t) {
  return from + (to - from) * t;
}
template <>
CGPoint interpolate(const CGPoint& from, const CGPoint& to, double t) {
  return {interpolate(from.x, to.x, t), interpolate(from.y, to.y, t)};
}
template <>
CGRect interpolate(const CGRect& from, const CGRect& to, double t) {
  return {interpolate(from.origin, to.origin, t),
          {interpolate(from.size.width, to.size.width, t),
           interpolate(from.size.height, to.size.height, t)}};
}
template <>
CGAffineTransform interpolate(const CGAffineTransform& from, const CGAffineTransform& to, double t) {
  return {interpolate(from.a, to.a, t),   interpolate(from.b, to.b, t),
          interpolate(from.c, to.c, t),   interpolate(from.d, to.d, t),
          interpolate(from.tx, to.tx, t), interpolate(from.ty, to.ty, t)};
}

// Records an animated change of one presentation value, or ends a running one.
template <typename T>
void animateChange(UIView& view, const char* key, std::optional<T>& presentation, const T& from,
                   const T& to) {
  auto& animator = KMAnimator::shared();
  if (!animator.isRecording() || from == to) {
    if (!animator.isRecording()) animator.removeTrack(view, key);
    if (!animator.hasTrack(view, key)) presentation.reset();
    return;
  }
  auto* slot = &presentation;
  UIView* target = &view;
  animator.addTrack(
      view, key,
      [slot, from, to, target](double t) {
        *slot = interpolate(from, to, t);
        target->setNeedsDisplay();
      },
      [slot, target] {
        slot->reset();
        target->setNeedsDisplay();
      });
}

}  // namespace

UIView::UIView(CGRect frame) {
  frame = CGRectStandardize(frame);
  m_bounds = CGRectMake(0, 0, frame.size.width, frame.size.height);
  m_center = CGRectGetCenter(frame);
}

UIView::~UIView() {
  for (auto& subview : m_subviews) subview->m_superview = nullptr;
}

CALayer& UIView::layer() {
  if (!m_layer) m_layer = std::make_unique<CALayer>(*this);
  return *m_layer;
}

const CALayer& UIView::layer() const { return const_cast<UIView*>(this)->layer(); }

CGRect UIView::frame() const {
  const CGRect local = CGRectMake(-m_bounds.size.width / 2, -m_bounds.size.height / 2,
                                  m_bounds.size.width, m_bounds.size.height);
  CGRect rect = CGAffineTransformIsIdentity(m_transform)
                    ? local
                    : CGRectApplyAffineTransform(local, m_transform);
  return CGRectOffset(rect, m_center.x, m_center.y);
}

void UIView::setFrame(CGRect frame) {
  frame = CGRectStandardize(frame);
  CGRect bounds = m_bounds;
  bounds.size = frame.size;
  if (!CGAffineTransformIsIdentity(m_transform)) {
    // The frame of a transformed view is its bounding box; keep the size
    // and move only the centre, the platform's documented behaviour.
    bounds.size = m_bounds.size;
  }
  setBoundsInternal(bounds);
  setCenter(CGRectGetCenter(frame));
}

void UIView::setBounds(CGRect bounds) { setBoundsInternal(CGRectStandardize(bounds)); }

void UIView::setBoundsInternal(CGRect bounds) {
  const CGRect old = m_bounds;
  const CGRect from = m_presentationBounds.value_or(old);
  m_bounds = bounds;
  animateChange(*this, "bounds", m_presentationBounds, from, bounds);
  if (old == bounds) return;
  if (old.size != bounds.size) {
    if (m_autoresizesSubviews) resizeSubviews(old.size);
    setNeedsLayout();
  }
  boundsDidChange(old);
  setNeedsDisplay();
}

void UIView::setCenter(CGPoint center) {
  const CGPoint from = m_presentationCenter.value_or(m_center);
  m_center = center;
  animateChange(*this, "center", m_presentationCenter, from, center);
  setNeedsDisplay();
}

void UIView::setTransform(CGAffineTransform transform) {
  const CGAffineTransform from = m_presentationTransform.value_or(m_transform);
  m_transform = transform;
  animateChange(*this, "transform", m_presentationTransform, from, transform);
  setNeedsDisplay();
}

void UIView::setAlpha(CGFloat alpha) {
  alpha = std::clamp(alpha, 0.0, 1.0);
  const CGFloat from = m_presentationAlpha.value_or(m_alpha);
  m_alpha = alpha;
  animateChange(*this, "alpha", m_presentationAlpha, from, alpha);
  setNeedsDisplay();
}

void UIView::setHidden(bool hidden) {
  if (m_hidden == hidden) return;
  m_hidden = hidden;
  if (hidden && isFirstResponder()) resignFirstResponder();
  setNeedsDisplay();
}

void UIView::setBackgroundColor(std::optional<UIColor> color) {
  m_backgroundColor = std::move(color);
  setNeedsDisplay();
}

void UIView::setClipsToBounds(bool clips) {
  m_clipsToBounds = clips;
  setNeedsDisplay();
}

void UIView::setContentMode(UIViewContentMode mode) {
  m_contentMode = mode;
  setNeedsDisplay();
}

CGRect UIView::presentationBounds() const { return m_presentationBounds.value_or(m_bounds); }
CGFloat UIView::presentationAlpha() const {
  CGFloat alpha = m_presentationAlpha.value_or(m_alpha);
  if (m_layer) alpha *= m_layer->presentationOpacity();
  return alpha;
}
CGAffineTransform UIView::presentationTransform() const {
  CGAffineTransform transform = m_presentationTransform.value_or(m_transform);
  if (m_layer) {
    const CGFloat rotation = m_layer->presentationRotation();
    if (rotation != 0) transform = CGAffineTransformRotate(transform, rotation);
  }
  return transform;
}
CGRect UIView::presentationFrame() const {
  const CGRect bounds = presentationBounds();
  const CGPoint center = m_presentationCenter.value_or(m_center);
  const CGRect local = CGRectMake(-bounds.size.width / 2, -bounds.size.height / 2,
                                  bounds.size.width, bounds.size.height);
  return CGRectOffset(CGRectApplyAffineTransform(local, presentationTransform()), center.x,
                      center.y);
}

// ---- Autoresizing ----------------------------------------------------------

namespace {
// Shares `delta` among the flexible parts of one axis in proportion to their
// current lengths (evenly when they are all zero).
void distribute(CGFloat delta, bool flexibleLead, bool flexibleSize, bool flexibleTrail,
                CGFloat lead, CGFloat size, CGFloat trail, CGFloat& outLead, CGFloat& outSize) {
  outLead = lead;
  outSize = size;
  const int count = int(flexibleLead) + int(flexibleSize) + int(flexibleTrail);
  if (count == 0 || delta == 0) return;
  const CGFloat total = (flexibleLead ? lead : 0) + (flexibleSize ? size : 0) +
                        (flexibleTrail ? trail : 0);
  auto share = [&](bool flexible, CGFloat length) -> CGFloat {
    if (!flexible) return 0;
    return total > 0 ? delta * length / total : delta / count;
  };
  outLead = lead + share(flexibleLead, lead);
  outSize = std::max<CGFloat>(0, size + share(flexibleSize, size));
}
}  // namespace

void UIView::resizeSubviews(CGSize oldSize) {
  for (auto& subview : m_subviews) {
    const unsigned mask = subview->m_autoresizingMask;
    if (mask == UIViewAutoresizingNone) continue;
    const CGRect frame = subview->frame();
    CGRect result = frame;
    distribute(m_bounds.size.width - oldSize.width, mask & UIViewAutoresizingFlexibleLeftMargin,
               mask & UIViewAutoresizingFlexibleWidth, mask & UIViewAutoresizingFlexibleRightMargin,
               frame.origin.x, frame.size.width, oldSize.width - CGRectGetMaxX(frame),
               result.origin.x, result.size.width);
    distribute(m_bounds.size.height - oldSize.height, mask & UIViewAutoresizingFlexibleTopMargin,
               mask & UIViewAutoresizingFlexibleHeight,
               mask & UIViewAutoresizingFlexibleBottomMargin, frame.origin.y, frame.size.height,
               oldSize.height - CGRectGetMaxY(frame), result.origin.y, result.size.height);
    if (result != frame) subview->setFrame(result);
  }
}

// ---- Tree -----------------------------------------------------------------

UIWindow* UIView::window() const {
  const UIView* root = rootView();
  return root->isWindow() ? static_cast<UIWindow*>(const_cast<UIView*>(root)) : nullptr;
}

const UIView* UIView::rootView() const {
  const UIView* view = this;
  while (view->m_superview) view = view->m_superview;
  return view;
}

bool UIView::isDescendantOfView(const UIView* view) const {
  for (const UIView* current = this; current; current = current->m_superview)
    if (current == view) return true;
  return false;
}

void UIView::addSubview(std::shared_ptr<UIView> view) {
  const std::size_t index = m_subviews.size();
  attachSubview(std::move(view), index);
}

void UIView::insertSubviewAtIndex(std::shared_ptr<UIView> view, std::size_t index) {
  attachSubview(std::move(view), index);
}

void UIView::insertSubviewBelowSubview(std::shared_ptr<UIView> view, const UIView* sibling) {
  auto found = std::find_if(m_subviews.begin(), m_subviews.end(),
                            [&](const auto& subview) { return subview.get() == sibling; });
  std::size_t index = found == m_subviews.end() ? m_subviews.size()
                                                : std::size_t(found - m_subviews.begin());
  if (view->m_superview == this) {
    auto current = std::find(m_subviews.begin(), m_subviews.end(), view);
    if (current != m_subviews.end() && std::size_t(current - m_subviews.begin()) < index) index--;
  }
  attachSubview(std::move(view), index);
}

void UIView::insertSubviewAboveSubview(std::shared_ptr<UIView> view, const UIView* sibling) {
  auto found = std::find_if(m_subviews.begin(), m_subviews.end(),
                            [&](const auto& subview) { return subview.get() == sibling; });
  std::size_t index = found == m_subviews.end() ? m_subviews.size()
                                                : std::size_t(found - m_subviews.begin()) + 1;
  if (view->m_superview == this) {
    auto current = std::find(m_subviews.begin(), m_subviews.end(), view);
    if (current != m_subviews.end() && std::size_t(current - m_subviews.begin()) < index) index--;
  }
  attachSubview(std::move(view), index);
}

void UIView::attachSubview(std::shared_ptr<UIView> view, std::size_t index) {
  if (!view || view.get() == this) return;
  if (view->m_superview == this) {
    // Only a reorder.
    auto current = std::find(m_subviews.begin(), m_subviews.end(), view);
    m_subviews.erase(current);
    index = std::min(index, m_subviews.size());
    m_subviews.insert(m_subviews.begin() + std::ptrdiff_t(index), view);
    setNeedsDisplay();
    return;
  }
  UIWindow* oldWindow = view->window();
  UIWindow* newWindow = window();
  view->willMoveToSuperview(this);
  if (oldWindow != newWindow) view->notifyWillMoveToWindow(newWindow);
  if (view->m_superview) view->detachFromSuperview();
  index = std::min(index, m_subviews.size());
  m_subviews.insert(m_subviews.begin() + std::ptrdiff_t(index), view);
  view->m_superview = this;
  view->didMoveToSuperview();
  if (oldWindow != newWindow) view->notifyDidMoveToWindow();
  didAddSubview(view.get());
  view->setNeedsLayout();
  setNeedsDisplay();
}

void UIView::detachFromSuperview() {
  UIView* parent = m_superview;
  parent->willRemoveSubview(this);
  auto found = std::find_if(parent->m_subviews.begin(), parent->m_subviews.end(),
                            [&](const auto& subview) { return subview.get() == this; });
  m_superview = nullptr;
  parent->setNeedsDisplay();
  if (found != parent->m_subviews.end()) parent->m_subviews.erase(found);
}

void UIView::removeFromSuperview() {
  if (!m_superview) return;
  auto keepAlive = sharedView();
  UIWindow* oldWindow = window();
  willMoveToSuperview(nullptr);
  if (oldWindow) notifyWillMoveToWindow(nullptr);
  // The first responder leaves with its view.
  if (auto* first = dynamic_cast<UIView*>(UIResponder::currentFirstResponder());
      first && first->isDescendantOfView(this)) {
    first->resignFirstResponder();
  }
  detachFromSuperview();
  didMoveToSuperview();
  if (oldWindow) notifyDidMoveToWindow();
}

void UIView::notifyWillMoveToWindow(UIWindow* window) {
  willMoveToWindow(window);
  for (auto& subview : std::vector(m_subviews)) subview->notifyWillMoveToWindow(window);
}

void UIView::notifyDidMoveToWindow() {
  didMoveToWindow();
  for (auto& subview : std::vector(m_subviews)) subview->notifyDidMoveToWindow();
}

void UIView::bringSubviewToFront(const UIView* view) {
  auto found = std::find_if(m_subviews.begin(), m_subviews.end(),
                            [&](const auto& subview) { return subview.get() == view; });
  if (found == m_subviews.end()) return;
  auto keep = *found;
  m_subviews.erase(found);
  m_subviews.push_back(std::move(keep));
  setNeedsDisplay();
}

void UIView::sendSubviewToBack(const UIView* view) {
  auto found = std::find_if(m_subviews.begin(), m_subviews.end(),
                            [&](const auto& subview) { return subview.get() == view; });
  if (found == m_subviews.end()) return;
  auto keep = *found;
  m_subviews.erase(found);
  m_subviews.insert(m_subviews.begin(), std::move(keep));
  setNeedsDisplay();
}

UIView* UIView::viewWithTag(int tag) {
  if (m_tag == tag) return this;
  for (auto& subview : m_subviews)
    if (auto* found = subview->viewWithTag(tag)) return found;
  return nullptr;
}

// ---- Layout and display ----------------------------------------------------

void UIView::setNeedsLayout() {
  m_needsLayout = true;
  scheduleWindowUpdate();
}

void UIView::layoutIfNeeded() {
  if (m_needsLayout) {
    m_needsLayout = false;
    layoutSubviews();
  }
  // Layout may add or remove subviews; walk a copy.
  for (auto& subview : std::vector(m_subviews)) subview->layoutIfNeeded();
}

CGSize UIView::sizeThatFits(CGSize size) const {
  (void)size;
  return m_bounds.size;
}

void UIView::sizeToFit() {
  CGRect frame = this->frame();
  frame.size = sizeThatFits(frame.size);
  setFrame(frame);
}

void UIView::setNeedsDisplay() { scheduleWindowUpdate(); }

void UIView::scheduleWindowUpdate() const {
  if (auto* window = this->window()) window->setNeedsUpdate();
}

void UIView::drawHierarchy(cairo_t* context) const {
  if (m_hidden) return;
  const CGFloat alpha = presentationAlpha();
  if (alpha <= 0.001) return;
  const CGRect bounds = presentationBounds();
  const CGPoint center = m_presentationCenter.value_or(m_center);
  CGContextSaveGState(context);
  CGContextTranslateCTM(context, center.x, center.y);
  const CGAffineTransform transform = presentationTransform();
  if (!CGAffineTransformIsIdentity(transform)) CGContextConcatCTM(context, transform);
  CGContextTranslateCTM(context, -bounds.size.width / 2 - bounds.origin.x,
                        -bounds.size.height / 2 - bounds.origin.y);
  const bool layered = alpha < 0.999;
  if (layered) CGContextBeginTransparencyLayer(context);
  drawContentAndSubviews(context);
  if (layered) CGContextEndTransparencyLayer(context, alpha);
  CGContextRestoreGState(context);
}

void UIView::drawContentAndSubviews(cairo_t* context) const {
  const CGRect bounds = presentationBounds();
  const CGFloat radius = m_layer ? m_layer->cornerRadius() : 0;
  CGContextSaveGState(context);
  if (m_clipsToBounds) {
    if (radius > 0)
      CGContextClipToRoundedRect(context, bounds, radius);
    else
      CGContextClipToRect(context, bounds);
  }
  if (m_backgroundColor && m_backgroundColor->alpha() > 0) {
    if (radius > 0)
      CGContextFillRoundedRect(context, bounds, radius, *m_backgroundColor);
    else
      CGContextFillRect(context, bounds, *m_backgroundColor);
  }
  const_cast<UIView*>(this)->drawRect(context, bounds);
  for (const auto& subview : m_subviews) subview->drawHierarchy(context);
  if (m_layer && m_layer->borderWidth() > 0)
    CGContextStrokeRoundedRect(context, bounds, radius, m_layer->borderWidth(),
                               m_layer->borderColor());
  CGContextRestoreGState(context);
}

// ---- Hit testing and conversion --------------------------------------------

bool UIView::pointInside(CGPoint point) const { return CGRectContainsPoint(m_bounds, point); }

UIView* UIView::hitTest(CGPoint point) {
  if (m_hidden || !m_userInteractionEnabled || m_alpha < 0.01) return nullptr;
  if (!pointInside(point)) return nullptr;
  for (auto it = m_subviews.rbegin(); it != m_subviews.rend(); ++it) {
    auto& subview = *it;
    if (auto* hit = subview->hitTest(subview->convertPointFromSuperview(point))) return hit;
  }
  return this;
}

CGPoint UIView::convertPointToSuperview(CGPoint point) const {
  const CGPoint relative = {point.x - m_bounds.origin.x - m_bounds.size.width / 2,
                            point.y - m_bounds.origin.y - m_bounds.size.height / 2};
  const CGPoint turned = CGPointApplyAffineTransform(relative, m_transform);
  return {turned.x + m_center.x, turned.y + m_center.y};
}

CGPoint UIView::convertPointFromSuperview(CGPoint point) const {
  const CGPoint relative = {point.x - m_center.x, point.y - m_center.y};
  const CGPoint local = CGPointApplyAffineTransform(relative, CGAffineTransformInvert(m_transform));
  return {local.x + m_bounds.origin.x + m_bounds.size.width / 2,
          local.y + m_bounds.origin.y + m_bounds.size.height / 2};
}

CGPoint UIView::convertPointToView(CGPoint point, const UIView* view) const {
  CGPoint inRoot = point;
  for (const UIView* current = this; current->m_superview; current = current->m_superview)
    inRoot = current->convertPointToSuperview(inRoot);
  if (!view) {
    // The root's own coordinates stand for the window's.
    const UIView* root = rootView();
    return root->isWindow() ? inRoot : root->convertPointToSuperview(inRoot);
  }
  return view->convertPointFromView(point, this);
}

CGPoint UIView::convertPointFromView(CGPoint point, const UIView* view) const {
  // Bring the point to this tree's root coordinates.
  CGPoint inRoot = point;
  if (view) {
    inRoot = point;
    for (const UIView* current = view; current->m_superview; current = current->m_superview)
      inRoot = current->convertPointToSuperview(inRoot);
  } else {
    const UIView* root = rootView();
    if (!root->isWindow()) inRoot = root->convertPointFromSuperview(point);
  }
  // Then down the chain from the root to this view.
  std::vector<const UIView*> chain;
  for (const UIView* current = this; current->m_superview; current = current->m_superview)
    chain.push_back(current);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    inRoot = (*it)->convertPointFromSuperview(inRoot);
  return inRoot;
}

CGRect UIView::convertRectToView(CGRect rect, const UIView* view) const {
  const CGPoint a = convertPointToView(rect.origin, view);
  const CGPoint b = convertPointToView({CGRectGetMaxX(rect), CGRectGetMaxY(rect)}, view);
  const CGPoint c = convertPointToView({CGRectGetMaxX(rect), rect.origin.y}, view);
  const CGPoint d = convertPointToView({rect.origin.x, CGRectGetMaxY(rect)}, view);
  const CGFloat minX = std::min({a.x, b.x, c.x, d.x}), maxX = std::max({a.x, b.x, c.x, d.x});
  const CGFloat minY = std::min({a.y, b.y, c.y, d.y}), maxY = std::max({a.y, b.y, c.y, d.y});
  return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

CGRect UIView::convertRectFromView(CGRect rect, const UIView* view) const {
  const CGPoint a = convertPointFromView(rect.origin, view);
  const CGPoint b = convertPointFromView({CGRectGetMaxX(rect), CGRectGetMaxY(rect)}, view);
  const CGPoint c = convertPointFromView({CGRectGetMaxX(rect), rect.origin.y}, view);
  const CGPoint d = convertPointFromView({rect.origin.x, CGRectGetMaxY(rect)}, view);
  const CGFloat minX = std::min({a.x, b.x, c.x, d.x}), maxX = std::max({a.x, b.x, c.x, d.x});
  const CGFloat minY = std::min({a.y, b.y, c.y, d.y}), maxY = std::max({a.y, b.y, c.y, d.y});
  return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

UIResponder* UIView::nextResponder() const {
  if (m_viewController) return m_viewController;
  return m_superview;
}

// ---- Animation blocks -------------------------------------------------------

void UIView::animateWithDurationAnimations(double duration,
                                           const std::function<void()>& animations) {
  animateWithDurationDelayOptionsAnimationsCompletion(duration, 0, UIViewAnimationOptionNone,
                                                      animations, {});
}

void UIView::animateWithDurationAnimationsCompletion(double duration,
                                                     const std::function<void()>& animations,
                                                     KMAnimationCompletion completion) {
  animateWithDurationDelayOptionsAnimationsCompletion(duration, 0, UIViewAnimationOptionNone,
                                                      animations, std::move(completion));
}

void UIView::animateWithDurationDelayOptionsAnimationsCompletion(
    double duration, double delay, unsigned options, const std::function<void()>& animations,
    KMAnimationCompletion completion) {
  auto& animator = KMAnimator::shared();
  animator.beginBlock(duration, delay, options, std::move(completion));
  if (animations) animations();
  animator.commitBlock();
}

void UIView::performWithoutAnimation(const std::function<void()>& actions) {
  const bool enabled = KMAnimator::areAnimationsEnabled();
  KMAnimator::setAnimationsEnabled(false);
  actions();
  KMAnimator::setAnimationsEnabled(enabled);
}

}  // namespace kdisk
