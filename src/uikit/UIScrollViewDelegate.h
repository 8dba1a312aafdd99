#pragma once
// What a scroll view tells the object watching it; every hook defaults to
// doing nothing (or to the platform's answer).
#include "graphics/CGGeometry.h"

namespace kdisk {

class UIScrollView;

class UIScrollViewDelegate {
 public:
  virtual ~UIScrollViewDelegate() = default;
  virtual void scrollViewDidScroll(UIScrollView& scrollView) { (void)scrollView; }
  virtual void scrollViewWillBeginDragging(UIScrollView& scrollView) { (void)scrollView; }
  // `targetContentOffset` may be changed to end the scroll elsewhere.
  virtual void scrollViewWillEndDraggingWithVelocityTargetContentOffset(UIScrollView& scrollView,
                                                                        CGPoint velocity,
                                                                        CGPoint& targetContentOffset) {
    (void)scrollView, (void)velocity, (void)targetContentOffset;
  }
  virtual void scrollViewDidEndDraggingWillDecelerate(UIScrollView& scrollView, bool decelerate) {
    (void)scrollView, (void)decelerate;
  }
  virtual void scrollViewWillBeginDecelerating(UIScrollView& scrollView) { (void)scrollView; }
  virtual void scrollViewDidEndDecelerating(UIScrollView& scrollView) { (void)scrollView; }
  virtual void scrollViewDidEndScrollingAnimation(UIScrollView& scrollView) { (void)scrollView; }
  virtual bool scrollViewShouldScrollToTop(UIScrollView& scrollView) {
    (void)scrollView;
    return true;
  }
  virtual void scrollViewDidScrollToTop(UIScrollView& scrollView) { (void)scrollView; }
};

}  // namespace kdisk
