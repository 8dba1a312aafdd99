// Wheel and touchpad input of UIScrollView: both go through the drag and
// deceleration of finger scrolling, so delegates see the same sequence.
#include <cmath>

#include "uikit/KMAnimator.h"
#include "uikit/UIScrollView.h"

namespace kdisk {

CGPoint UIScrollView::wheelDeltaAlongAxes(CGPoint delta) const {
  const bool vertical = canScrollVertically(), horizontal = canScrollHorizontally();
  if (!vertical && horizontal && delta.x == 0) return {delta.y, 0};
  return {horizontal ? delta.x : 0, vertical ? delta.y : 0};
}

bool UIScrollView::canScrollAlongWheelDelta(CGPoint delta, bool allowCrossAxis) const {
  if (!m_scrollEnabled) return false;
  if ((delta.y != 0 && canScrollVertically()) || (delta.x != 0 && canScrollHorizontally())) return true;
  return allowCrossAxis && wheelDeltaAlongAxes(delta) != CGPoint{0, 0};
}

CGFloat UIScrollView::wheelNotchLength(CGFloat visibleLength) const {
  return std::pow(std::max<CGFloat>(visibleLength, 1), 2.0 / 3.0);
}

void UIScrollView::beginWheelGesture() {
  if (!m_scrollEnabled || m_tracking) return;
  if (m_wheelStepping) endWheelSteps();
  stopDeceleration(false);
  KMAnimator::shared().removeTrack(*this, "contentOffset");
  m_wheelGesture = true;
  m_wheelRawOffset = contentOffset();
}

void UIScrollView::wheelGestureMoved(CGPoint delta) {
  if (!m_wheelGesture) return;
  const CGPoint along = wheelDeltaAlongAxes(delta);
  if (along == CGPoint{0, 0}) return;
  if (!m_dragging) beginDragging();
  m_wheelRawOffset = {m_wheelRawOffset.x + along.x, m_wheelRawOffset.y + along.y};
  setContentOffset(rubberBandedOffset(m_wheelRawOffset));
}

void UIScrollView::endWheelGesture(CGPoint velocity) {
  if (!m_wheelGesture) return;
  m_wheelGesture = false;
  if (m_dragging) endDragging(wheelDeltaAlongAxes(velocity));
}

void UIScrollView::scrollWheelNotches(CGPoint notches) {
  const CGSize size = bounds().size;
  CGPoint along = wheelDeltaAlongAxes(notches);
  if (m_pagingEnabled) {
    // One page a whole notch; touchpads under X11 send notches in small
    // fractions, which add up first. Notches during the turn are dropped, as
    // a page is already on its way.
    if (m_tracking || m_wheelGesture || KMAnimator::shared().hasTrack(*this, "contentOffset")) {
      m_wheelPageNotches = {0, 0};
      return;
    }
    m_wheelPageNotches = {m_wheelPageNotches.x + along.x, m_wheelPageNotches.y + along.y};
    if (std::abs(m_wheelPageNotches.x) < 1 && std::abs(m_wheelPageNotches.y) < 1) return;
    along = m_wheelPageNotches;
    m_wheelPageNotches = {0, 0};
    auto page = [](CGFloat offset, CGFloat step, CGFloat length) {
      if (step == 0 || length <= 0) return offset;
      return (std::round(offset / length) + (step > 0 ? 1 : -1)) * length;
    };
    const CGPoint offset = contentOffset();
    setContentOffsetAnimated(clampedOffset({page(offset.x, along.x, size.width), page(offset.y, along.y, size.height)}),
                             KMAnimated::Yes);
    return;
  }
  scrollWheelPoints({notches.x * wheelNotchLength(size.width), notches.y * wheelNotchLength(size.height)});
}

void UIScrollView::scrollWheelPoints(CGPoint delta) {
  if (!m_scrollEnabled || m_tracking || m_wheelGesture) return;
  const CGPoint along = wheelDeltaAlongAxes(delta);
  if (along == CGPoint{0, 0}) return;
  if (!m_wheelStepping) {
    stopDeceleration(false);
    KMAnimator::shared().removeTrack(*this, "contentOffset");
    m_wheelStepping = true;
    beginDragging();
  }
  const CGPoint offset = contentOffset();
  setContentOffset(clampedOffset({offset.x + along.x, offset.y + along.y}));
  if (m_wheelQuietTimer) RunLoop::main().cancel(m_wheelQuietTimer);
  std::weak_ptr<UIResponder> weak = weak_from_this();
  m_wheelQuietTimer = RunLoop::main().postDelayed(kWheelQuietInterval, [weak] {
    if (auto strong = weak.lock()) {
      auto* self = static_cast<UIScrollView*>(strong.get());
      self->m_wheelQuietTimer = 0;
      self->endWheelSteps();
    }
  });
}

void UIScrollView::endWheelSteps() {
  if (m_wheelQuietTimer) RunLoop::main().cancel(m_wheelQuietTimer);
  m_wheelQuietTimer = 0;
  if (!m_wheelStepping) return;
  m_wheelStepping = false;
  if (m_dragging) endDragging({0, 0});
}

}  // namespace kdisk
