#pragma once
// The one screen: 320 × 480 points at the main screen's scale (1 or 2), with
// a 20-point status bar at the top. Main thread.
#include "graphics/CGGeometry.h"

namespace kdisk {

class UIScreen {
 public:
  static UIScreen& mainScreen();
  CGRect bounds() const { return CGRectMake(0, 0, m_size.width, m_size.height); }
  // A desktop window is the screen: its host resizes it to the window's
  // size in points.
  void setSize(CGSize size) { m_size = size; }
  // The bounds less the status bar while it shows.
  CGRect applicationFrame() const;
  double scale() const;
  static constexpr CGFloat kStatusBarHeight = 20;

 private:
  CGSize m_size{320, 480};
};

}  // namespace kdisk
