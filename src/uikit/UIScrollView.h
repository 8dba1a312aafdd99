#pragma once
// A view whose bounds origin is the content offset: dragging moves it, with
// a rubber band past the edges (the content follows the finger at half speed
// there), deceleration after a flick, bouncing back to the edges, paging,
// animated offsets and scroll-to-top. The content inset widens the range the
// offset may rest in (a pull-to-refresh header lives in the top inset).
// Main thread.
//
// Scroll states:
//   Idle --slop passed--> Dragging --lift, no speed, inside--> Idle
//   Dragging --lift with speed, or past an edge, or paging--> Decelerating
//   Decelerating --settled--> Idle;  any state --finger down--> Tracking
#include <memory>

#include "graphics/UIEdgeInsets.h"
#include "platform/RunLoop.h"
#include "uikit/UIScrollViewDelegate.h"
#include "uikit/UIView.h"

namespace kdisk {

class UIScrollView : public UIView {
 public:
  explicit UIScrollView(CGRect frame = CGRectZero);
  ~UIScrollView() override;

  CGSize contentSize() const { return m_contentSize; }
  virtual void setContentSize(CGSize size);
  CGPoint contentOffset() const { return bounds().origin; }
  void setContentOffset(CGPoint offset);
  void setContentOffsetAnimated(CGPoint offset, KMAnimated animated);
  UIEdgeInsets contentInset() const { return m_contentInset; }
  // Inside an animation block the inset moves over the block's duration.
  void setContentInset(UIEdgeInsets insets);
  UIEdgeInsets scrollIndicatorInsets() const { return m_scrollIndicatorInsets; }
  void setScrollIndicatorInsets(UIEdgeInsets insets);

  std::shared_ptr<UIScrollViewDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<UIScrollViewDelegate> delegate) { m_delegate = std::move(delegate); }

  bool isScrollEnabled() const { return m_scrollEnabled; }
  void setScrollEnabled(bool enabled) { m_scrollEnabled = enabled; }
  bool bounces() const { return m_bounces; }
  void setBounces(bool bounces) { m_bounces = bounces; }
  bool alwaysBounceVertical() const { return m_alwaysBounceVertical; }
  void setAlwaysBounceVertical(bool bounce) { m_alwaysBounceVertical = bounce; }
  bool alwaysBounceHorizontal() const { return m_alwaysBounceHorizontal; }
  void setAlwaysBounceHorizontal(bool bounce) { m_alwaysBounceHorizontal = bounce; }
  bool isPagingEnabled() const { return m_pagingEnabled; }
  void setPagingEnabled(bool enabled) { m_pagingEnabled = enabled; }
  bool scrollsToTop() const { return m_scrollsToTop; }
  void setScrollsToTop(bool scrolls) { m_scrollsToTop = scrolls; }
  bool showsVerticalScrollIndicator() const { return m_showsVerticalIndicator; }
  void setShowsVerticalScrollIndicator(bool shows) { m_showsVerticalIndicator = shows; }
  bool showsHorizontalScrollIndicator() const { return m_showsHorizontalIndicator; }
  void setShowsHorizontalScrollIndicator(bool shows) { m_showsHorizontalIndicator = shows; }
  // Speed kept per millisecond while decelerating (0.998 normal, 0.99 fast).
  double decelerationRate() const { return m_decelerationRate; }
  void setDecelerationRate(double rate) { m_decelerationRate = rate; }

  bool isTracking() const { return m_tracking; }
  bool isDragging() const { return m_dragging; }
  bool isDecelerating() const { return m_decelerating; }
  // Decelerating, settling or animating to an offset: a finger landing now
  // only stops the content.
  bool isMoving() const;

  // The offsets the content rests between.
  CGPoint minimumContentOffset() const;
  CGPoint maximumContentOffset() const;
  void scrollRectToVisibleAnimated(CGRect rect, KMAnimated animated);
  // As a status-bar tap does, when the delegate agrees.
  void scrollToTop();

  // ---- Wheel and touchpad (hosts, through the window), in content points,
  // positive towards the end of the content. A list that only scrolls
  // sideways takes an up/down wheel sideways.
  // Whether a delta along these axes would move this view.
  bool canScrollAlongWheelDelta(CGPoint delta, bool allowCrossAxis) const;
  // A touchpad gesture moves the content as a finger does (rubber band past
  // the edges); on lifting it decelerates from the host's velocity or
  // springs back.
  void beginWheelGesture();
  void wheelGestureMoved(CGPoint delta);
  void endWheelGesture(CGPoint velocity);
  bool isInWheelGesture() const { return m_wheelGesture; }
  // Mouse wheel notches (or precise deltas without a gesture) stay inside the
  // edges; the scroll counts as a drag that ends kWheelQuietInterval after
  // the last one. A paging view turns one page per notch.
  void scrollWheelNotches(CGPoint notches);
  void scrollWheelPoints(CGPoint delta);
  // A notch moves the visible length raised to 2/3: a short list moves a
  // little, a tall one more, never a whole page.
  CGFloat wheelNotchLength(CGFloat visibleLength) const;
  static constexpr double kWheelQuietInterval = 0.2;

  bool tracksTouchesAsGesture() const override { return m_scrollEnabled; }
  KMGestureAnswer gestureTouch(const UITouch& touch) override;

  static constexpr CGFloat kDragSlop = 10;
  static constexpr CGFloat kRubberBandFactor = 0.5;
  // Points per second; a slower release just stops (or springs back).
  static constexpr double kMinimumFlickSpeed = 200;
  static constexpr double kPagingDuration = 0.3;
  static constexpr double kAnimatedScrollDuration = 0.3;

 protected:
  // Table views lay out their rows on every offset change.
  void boundsDidChange(CGRect oldBounds) override;
  bool canScrollVertically() const;
  bool canScrollHorizontally() const;

 private:
  CGPoint rubberBandedOffset(CGPoint raw) const;
  CGPoint clampedOffset(CGPoint offset) const;
  void beginDragging();
  void endDragging(CGPoint velocity);
  void startDeceleration(CGPoint velocity);
  void settleAfterTouch();
  void startPaging(CGPoint velocity);
  void decelerationStep();
  void stopDeceleration(bool notify);
  CGPoint recentVelocity() const;
  CGPoint wheelDeltaAlongAxes(CGPoint delta) const;
  void endWheelSteps();

  CGSize m_contentSize;
  UIEdgeInsets m_contentInset;
  UIEdgeInsets m_scrollIndicatorInsets;
  std::weak_ptr<UIScrollViewDelegate> m_delegate;
  bool m_scrollEnabled = true;
  bool m_bounces = true;
  bool m_alwaysBounceVertical = false;
  bool m_alwaysBounceHorizontal = false;
  bool m_pagingEnabled = false;
  bool m_scrollsToTop = true;
  bool m_showsVerticalIndicator = true;
  bool m_showsHorizontalIndicator = true;
  double m_decelerationRate = 0.998;

  bool m_tracking = false;
  bool m_dragging = false;
  bool m_decelerating = false;
  CGPoint m_touchStart;
  CGPoint m_offsetAtTouchStart;
  struct Sample {
    double time;
    CGPoint location;
  };
  std::vector<Sample> m_samples;
  CGPoint m_velocity;
  TimerId m_decelerationTimer = 0;
  double m_lastStepTime = 0;
  bool m_wheelGesture = false;
  bool m_wheelStepping = false;
  CGPoint m_wheelRawOffset;
  CGPoint m_wheelPageNotches;
  TimerId m_wheelQuietTimer = 0;
};

}  // namespace kdisk
