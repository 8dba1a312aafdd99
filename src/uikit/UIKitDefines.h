#pragma once
// Small enums and values the whole toolkit shares.
#include <cstdint>

namespace kdisk {

// Whether a change is animated; used instead of a bare flag argument.
enum class KMAnimated : bool { No = false, Yes = true };

inline bool isAnimated(KMAnimated animated) { return animated == KMAnimated::Yes; }
inline KMAnimated animatedIf(bool condition) { return condition ? KMAnimated::Yes : KMAnimated::No; }

enum class UIInterfaceOrientation {
  Portrait,
  PortraitUpsideDown,
  LandscapeLeft,
  LandscapeRight,
};

inline bool UIInterfaceOrientationIsPortrait(UIInterfaceOrientation orientation) {
  return orientation == UIInterfaceOrientation::Portrait ||
         orientation == UIInterfaceOrientation::PortraitUpsideDown;
}

// Compact bars of the landscape phone use their own images.
enum class UIBarMetrics { Default, LandscapePhone };

enum class UIBarStyle { Default, Black, BlackTranslucent };

// Bit set of control states; Normal is the empty set.
enum UIControlState : unsigned {
  UIControlStateNormal = 0,
  UIControlStateHighlighted = 1u << 0,
  UIControlStateDisabled = 1u << 1,
  UIControlStateSelected = 1u << 2,
};

enum class UIViewContentMode {
  ScaleToFill,
  ScaleAspectFit,
  ScaleAspectFill,
  Redraw,
  Center,
  Top,
  Bottom,
  Left,
  Right,
  TopLeft,
  TopRight,
  BottomLeft,
  BottomRight,
};

}  // namespace kdisk
