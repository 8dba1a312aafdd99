#pragma once
// Scale-to-fill with a centred crop, in whole pixels.

#include <memory>

#include "graphics/CGGeometry.h"

namespace kdisk {

class UIImage;

struct KMAspectFillGeometry {
  int scaledWidth = 0; // the source scaled so both sides reach the target
  int scaledHeight = 0;
  int cropX = 0; // where the target's window starts in the scaled image
  int cropY = 0;
  bool operator==(const KMAspectFillGeometry&) const = default;
};

// For a source of `sourceWidth`×`sourceHeight` pixels and a target window:
// one factor for both axes, the larger of the two ratios; scaled sides
// rounded but never below the target; offsets (scaled − target) / 2 rounded.
KMAspectFillGeometry KMAspectFillGeometryForSizes(int sourceWidth, int sourceHeight,
                                                  int targetWidth, int targetHeight);

// The image scaled to fill `targetWidth`×`targetHeight` pixels, keeping its
// aspect ratio with a high-quality filter, then cropped around its centre;
// the result has `resultScale`. nullptr without an image or with a zero target.
std::shared_ptr<UIImage> KMImageByScalingToFillAndCropping(const UIImage* image, int targetWidth,
                                                           int targetHeight, double resultScale);

} // namespace kdisk
