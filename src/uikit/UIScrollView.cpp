#include "uikit/UIScrollView.h"

#include <algorithm>
#include <cmath>

namespace kdisk {

namespace {
constexpr double kSpringStiffness = 200;
const double kSpringDamping = 2 * std::sqrt(kSpringStiffness);  // critically damped
constexpr double kVelocityWindow = 0.1;                           // seconds of samples
constexpr double kSettledSpeed = 5;

UIEdgeInsets interpolateInsets(const UIEdgeInsets& a, const UIEdgeInsets& b, double t) {
  return {a.top + (b.top - a.top) * t, a.left + (b.left - a.left) * t,
          a.bottom + (b.bottom - a.bottom) * t, a.right + (b.right - a.right) * t};
}
}  // namespace

UIScrollView::UIScrollView(CGRect frame) : UIView(frame) { setClipsToBounds(true); }

UIScrollView::~UIScrollView() {
  if (m_decelerationTimer) RunLoop::main().cancel(m_decelerationTimer);
  if (m_wheelQuietTimer) RunLoop::main().cancel(m_wheelQuietTimer);
}

void UIScrollView::setContentSize(CGSize size) {
  if (m_contentSize == size) return;
  m_contentSize = size;
  setNeedsLayout();
  setNeedsDisplay();
}

void UIScrollView::setContentOffset(CGPoint offset) {
  CGRect bounds = this->bounds();
  if (bounds.origin == offset) return;
  bounds.origin = offset;
  setBounds(bounds);
}

void UIScrollView::boundsDidChange(CGRect oldBounds) {
  if (oldBounds.origin == bounds().origin) return;
  setNeedsLayout();
  if (auto delegate = m_delegate.lock()) delegate->scrollViewDidScroll(*this);
}

void UIScrollView::setContentOffsetAnimated(CGPoint offset, KMAnimated animated) {
  stopDeceleration(false);
  if (!isAnimated(animated)) {
    KMAnimator::shared().removeTrack(*this, "contentOffset");
    setContentOffset(offset);
    return;
  }
  const CGPoint from = contentOffset();
  std::weak_ptr<UIResponder> weak = weak_from_this();
  KMAnimator::shared().addTimedTrack(
      *this, "contentOffset", kAnimatedScrollDuration, KMAnimationCurve::EaseInOut,
      [this, from, offset](double t) {
        setContentOffset({from.x + (offset.x - from.x) * t, from.y + (offset.y - from.y) * t});
      },
      nullptr,
      [weak](bool) {
        if (auto strong = weak.lock()) {
          auto* self = static_cast<UIScrollView*>(strong.get());
          if (auto delegate = self->m_delegate.lock()) delegate->scrollViewDidEndScrollingAnimation(*self);
        }
      });
}

void UIScrollView::setContentInset(UIEdgeInsets insets) {
  auto& animator = KMAnimator::shared();
  const UIEdgeInsets from = m_contentInset;
  if (animator.isRecording() && from != insets) {
    animator.addTrack(
        *this, "contentInset",
        [this, from, insets](double t) {
          m_contentInset = interpolateInsets(from, insets, t);
          setNeedsLayout();
        },
        [this, insets] { m_contentInset = insets; });
    return;
  }
  animator.removeTrack(*this, "contentInset");
  m_contentInset = insets;
  setNeedsLayout();
}

void UIScrollView::setScrollIndicatorInsets(UIEdgeInsets insets) { m_scrollIndicatorInsets = insets; }

CGPoint UIScrollView::minimumContentOffset() const {
  return {-m_contentInset.left, -m_contentInset.top};
}

CGPoint UIScrollView::maximumContentOffset() const {
  const CGPoint minimum = minimumContentOffset();
  const CGSize size = bounds().size;
  return {std::max(minimum.x, m_contentSize.width + m_contentInset.right - size.width),
          std::max(minimum.y, m_contentSize.height + m_contentInset.bottom - size.height)};
}

bool UIScrollView::canScrollVertically() const {
  return m_alwaysBounceVertical || maximumContentOffset().y > minimumContentOffset().y;
}

bool UIScrollView::canScrollHorizontally() const {
  return m_alwaysBounceHorizontal || maximumContentOffset().x > minimumContentOffset().x;
}

CGPoint UIScrollView::clampedOffset(CGPoint offset) const {
  const CGPoint minimum = minimumContentOffset(), maximum = maximumContentOffset();
  return {std::clamp(offset.x, minimum.x, maximum.x), std::clamp(offset.y, minimum.y, maximum.y)};
}

CGPoint UIScrollView::rubberBandedOffset(CGPoint raw) const {
  const CGPoint minimum = minimumContentOffset(), maximum = maximumContentOffset();
  auto band = [&](CGFloat value, CGFloat low, CGFloat high) {
    if (value < low) return m_bounces ? low - (low - value) * kRubberBandFactor : low;
    if (value > high) return m_bounces ? high + (value - high) * kRubberBandFactor : high;
    return value;
  };
  return {band(raw.x, minimum.x, maximum.x), band(raw.y, minimum.y, maximum.y)};
}

void UIScrollView::scrollRectToVisibleAnimated(CGRect rect, KMAnimated animated) {
  const CGRect visible = bounds();
  CGPoint offset = visible.origin;
  if (CGRectGetMaxY(rect) > CGRectGetMaxY(visible)) offset.y = CGRectGetMaxY(rect) - visible.size.height;
  if (rect.origin.y < offset.y) offset.y = rect.origin.y;
  if (CGRectGetMaxX(rect) > CGRectGetMaxX(visible)) offset.x = CGRectGetMaxX(rect) - visible.size.width;
  if (rect.origin.x < offset.x) offset.x = rect.origin.x;
  setContentOffsetAnimated(clampedOffset(offset), animated);
}

void UIScrollView::scrollToTop() {
  auto delegate = m_delegate.lock();
  if (!m_scrollsToTop || (delegate && !delegate->scrollViewShouldScrollToTop(*this))) return;
  setContentOffsetAnimated({contentOffset().x, minimumContentOffset().y}, KMAnimated::Yes);
  if (delegate) delegate->scrollViewDidScrollToTop(*this);
}

// ---- Dragging ----------------------------------------------------------------

bool UIScrollView::isMoving() const {
  return m_decelerating || KMAnimator::shared().hasTrack(*this, "contentOffset");
}

UIView::KMGestureAnswer UIScrollView::gestureTouch(const UITouch& touch) {
  const CGPoint location = touch.locationInView(superview());
  const double now = touch.timestamp();
  switch (touch.phase()) {
    case UITouchPhase::Began: {
      endWheelSteps();
      const bool wasMoving = isMoving();
      stopDeceleration(false);
      KMAnimator::shared().removeTrack(*this, "contentOffset");
      m_tracking = true;
      m_touchStart = location;
      m_offsetAtTouchStart = contentOffset();
      m_samples = {{now, location}};
      // A finger that stops moving content only stops it; the row under it
      // is not touched.
      return wasMoving ? KMGestureAnswer::Claim : KMGestureAnswer::Continue;
    }
    case UITouchPhase::Moved:
    case UITouchPhase::Stationary: {
      if (!m_tracking) return KMGestureAnswer::Continue;
      m_samples.push_back({now, location});
      const CGFloat dx = canScrollHorizontally() ? location.x - m_touchStart.x : 0;
      const CGFloat dy = canScrollVertically() ? location.y - m_touchStart.y : 0;
      if (!m_dragging) {
        if (std::hypot(dx, dy) < kDragSlop) return KMGestureAnswer::Continue;
        beginDragging();
      }
      setContentOffset(rubberBandedOffset({m_offsetAtTouchStart.x - dx, m_offsetAtTouchStart.y - dy}));
      return KMGestureAnswer::Claim;
    }
    case UITouchPhase::Ended: {
      if (!m_tracking) return KMGestureAnswer::Continue;
      m_samples.push_back({now, location});
      m_tracking = false;
      if (m_dragging) {
        endDragging(recentVelocity());
        return KMGestureAnswer::Claim;
      }
      // Touched while resting past an edge (an inset changed by code): settle,
      // but after the tap has reached the row under the finger; a table
      // ignores taps while its content moves.
      if (clampedOffset(contentOffset()) != contentOffset()) settleAfterTouch();
      return KMGestureAnswer::Continue;
    }
    case UITouchPhase::Cancelled:
      m_tracking = false;
      if (m_dragging) endDragging({0, 0});
      return KMGestureAnswer::Continue;
  }
  return KMGestureAnswer::Continue;
}

void UIScrollView::settleAfterTouch() {
  std::weak_ptr<UIResponder> weak = weak_from_this();
  RunLoop::main().post([weak] {
    auto strong = weak.lock();
    if (!strong) return;
    auto* self = static_cast<UIScrollView*>(strong.get());
    // An inset on its way moves the edge; whoever moves it places the content.
    if (self->m_tracking || self->isMoving() || KMAnimator::shared().hasTrack(*self, "contentInset")) return;
    if (self->clampedOffset(self->contentOffset()) != self->contentOffset()) self->startDeceleration({0, 0});
  });
}

CGPoint UIScrollView::recentVelocity() const {
  if (m_samples.size() < 2) return {0, 0};
  const Sample& last = m_samples.back();
  const Sample* first = &m_samples.front();
  for (const auto& sample : m_samples)
    if (last.time - sample.time <= kVelocityWindow) {
      first = &sample;
      break;
    }
  const double dt = last.time - first->time;
  if (dt <= 0) return {0, 0};
  // Content moves against the finger.
  return {canScrollHorizontally() ? -(last.location.x - first->location.x) / dt : 0,
          canScrollVertically() ? -(last.location.y - first->location.y) / dt : 0};
}

void UIScrollView::beginDragging() {
  m_dragging = true;
  if (auto delegate = m_delegate.lock()) delegate->scrollViewWillBeginDragging(*this);
}

void UIScrollView::endDragging(CGPoint velocity) {
  auto delegate = m_delegate.lock();
  CGPoint target = contentOffset();
  if (delegate) delegate->scrollViewWillEndDraggingWithVelocityTargetContentOffset(*this, velocity, target);
  m_dragging = false;
  const bool outside = clampedOffset(contentOffset()) != contentOffset();
  const bool fast = std::hypot(velocity.x, velocity.y) >= kMinimumFlickSpeed;
  const bool decelerate = m_pagingEnabled || outside || fast;
  if (delegate) delegate->scrollViewDidEndDraggingWillDecelerate(*this, decelerate);
  if (!decelerate) return;
  // The delegate may have let go of this view.
  if (delegate) delegate->scrollViewWillBeginDecelerating(*this);
  if (m_pagingEnabled)
    startPaging(velocity);
  else
    startDeceleration(fast ? velocity : CGPoint{0, 0});
}

void UIScrollView::startPaging(CGPoint velocity) {
  m_decelerating = true;
  const CGSize page = bounds().size;
  auto pageFor = [&](CGFloat offset, CGFloat speed, CGFloat length) {
    if (length <= 0) return offset;
    CGFloat index = std::round(offset / length);
    if (speed > kMinimumFlickSpeed) index = std::ceil(offset / length);
    if (speed < -kMinimumFlickSpeed) index = std::floor(offset / length);
    return index * length;
  };
  const CGPoint from = contentOffset();
  const CGPoint target = clampedOffset({pageFor(from.x, velocity.x, page.width),
                                        pageFor(from.y, velocity.y, page.height)});
  std::weak_ptr<UIResponder> weak = weak_from_this();
  KMAnimator::shared().addTimedTrack(
      *this, "contentOffset", kPagingDuration, KMAnimationCurve::EaseOut,
      [this, from, target](double t) {
        setContentOffset({from.x + (target.x - from.x) * t, from.y + (target.y - from.y) * t});
      },
      nullptr,
      [weak](bool) {
        auto strong = weak.lock();
        if (!strong) return;
        auto* self = static_cast<UIScrollView*>(strong.get());
        if (!self->m_decelerating) return;
        self->m_decelerating = false;
        if (auto delegate = self->m_delegate.lock()) delegate->scrollViewDidEndDecelerating(*self);
      });
}

void UIScrollView::startDeceleration(CGPoint velocity) {
  m_velocity = velocity;
  m_decelerating = true;
  m_lastStepTime = RunLoop::main().now();
  if (m_decelerationTimer) RunLoop::main().cancel(m_decelerationTimer);
  std::weak_ptr<UIResponder> weak = weak_from_this();
  m_decelerationTimer = RunLoop::main().scheduleRepeating(KMAnimator::kFrameInterval, [weak] {
    if (auto strong = weak.lock()) static_cast<UIScrollView*>(strong.get())->decelerationStep();
  });
}

void UIScrollView::decelerationStep() {
  const double now = RunLoop::main().now();
  const double dt = std::min(now - m_lastStepTime, 0.05);
  m_lastStepTime = now;
  if (dt <= 0) return;
  const CGPoint minimum = minimumContentOffset(), maximum = maximumContentOffset();
  CGPoint offset = contentOffset();
  bool settled = true;
  auto stepAxis = [&](CGFloat& x, double& v, CGFloat low, CGFloat high, bool scrollable) {
    if (!scrollable) {
      v = 0;
      x = std::clamp(x, low, high);
      return;
    }
    if (x >= low && x <= high) {
      x += v * dt;
      v *= std::pow(m_decelerationRate, dt * 1000);
      if (x < low || x > high) {
        if (!m_bounces) {
          x = std::clamp(x, low, high);
          v = 0;
        }
      }
      if (std::abs(v) >= kSettledSpeed) settled = false;
      return;
    }
    // Past an edge: a critically damped spring pulls back to it.
    const CGFloat edge = x < low ? low : high;
    const double displacement = x - edge;
    v += (-kSpringStiffness * displacement - kSpringDamping * v) * dt;
    x += v * dt;
    if (std::abs(x - edge) < 0.5 && std::abs(v) < kSettledSpeed) {
      x = edge;
      v = 0;
    } else {
      settled = false;
    }
  };
  double vx = m_velocity.x, vy = m_velocity.y;
  stepAxis(offset.x, vx, minimum.x, maximum.x, canScrollHorizontally());
  stepAxis(offset.y, vy, minimum.y, maximum.y, canScrollVertically());
  m_velocity = {vx, vy};
  setContentOffset(offset);
  if (settled) {
    setContentOffset(clampedOffset(contentOffset()));
    stopDeceleration(true);
  }
}

void UIScrollView::stopDeceleration(bool notify) {
  if (m_decelerationTimer) {
    RunLoop::main().cancel(m_decelerationTimer);
    m_decelerationTimer = 0;
  }
  if (KMAnimator::shared().hasTrack(*this, "contentOffset") && m_decelerating && !notify) {
    // A paging animation interrupted by a new touch.
    KMAnimator::shared().removeTrack(*this, "contentOffset");
  }
  if (!m_decelerating) return;
  m_decelerating = false;
  m_velocity = {0, 0};
  if (notify)
    if (auto delegate = m_delegate.lock()) delegate->scrollViewDidEndDecelerating(*this);
}

}  // namespace kdisk
