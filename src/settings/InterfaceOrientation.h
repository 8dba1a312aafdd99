#pragma once
// Orientations of the interface, numbered as the touch toolkit numbers them.

namespace kdisk {

enum class InterfaceOrientation {
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeRight = 3,
  LandscapeLeft = 4,
};

}  // namespace kdisk
