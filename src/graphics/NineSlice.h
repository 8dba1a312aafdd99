#pragma once
// Where each of the nine pieces of a resizable image goes. Pure geometry, in
// points, kept apart from drawing so it can be checked exactly.

#include <vector>

#include "graphics/CGGeometry.h"
#include "graphics/UIEdgeInsets.h"

namespace kdisk {

enum class KMNineSlicePart { Corner, Edge, Middle };

struct KMNineSlicePatch {
  CGRect source;      // in the image, points
  CGRect destination; // in the drawing, points
  KMNineSlicePart part = KMNineSlicePart::Corner;
  bool operator==(const KMNineSlicePatch&) const = default;
};

// Caps made non-negative and, when together they cover an axis, reduced in
// proportion so `minimumMiddle` points of that axis stay free.
UIEdgeInsets KMClampedCapInsets(CGSize imageSize, UIEdgeInsets capInsets, CGFloat minimumMiddle);

// The non-empty pieces, rows top to bottom, each row left to right. When the
// destination is narrower or lower than the caps, the caps shrink in
// proportion and the middle vanishes.
std::vector<KMNineSlicePatch> KMNineSlicePatches(CGSize imageSize, UIEdgeInsets capInsets,
                                                 CGRect destination);

} // namespace kdisk
