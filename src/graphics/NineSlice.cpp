#include "graphics/NineSlice.h"

#include <algorithm>
#include <array>

namespace kdisk {
namespace {

// Two caps along one axis of `length`, made to leave `minimumMiddle` free.
void clampPair(CGFloat& first, CGFloat& second, CGFloat length, CGFloat minimumMiddle) {
  first = std::max<CGFloat>(first, 0);
  second = std::max<CGFloat>(second, 0);
  const CGFloat available = std::max<CGFloat>(length - minimumMiddle, 0);
  const CGFloat total = first + second;
  if (total > available && total > 0) {
    first = first * available / total;
    second = available - first;
  }
}

struct Band {
  CGFloat sourceStart, sourceLength, destinationStart, destinationLength;
  bool middle;
};

std::array<Band, 3> bands(CGFloat imageLength, CGFloat startCap, CGFloat endCap,
                          CGFloat destinationStart, CGFloat destinationLength) {
  CGFloat destinationStartCap = startCap;
  CGFloat destinationEndCap = endCap;
  if (startCap + endCap > destinationLength) {
    const CGFloat factor = startCap + endCap > 0 ? destinationLength / (startCap + endCap) : 0;
    destinationStartCap = startCap * factor;
    destinationEndCap = destinationLength - destinationStartCap;
  }
  const CGFloat middleSource = imageLength - startCap - endCap;
  const CGFloat middleDestination = destinationLength - destinationStartCap - destinationEndCap;
  return {
      {{0, startCap, destinationStart, destinationStartCap, false},
       {startCap, middleSource, destinationStart + destinationStartCap, middleDestination, true},
       {imageLength - endCap, endCap, destinationStart + destinationLength - destinationEndCap,
        destinationEndCap, false}}};
}

} // namespace

UIEdgeInsets KMClampedCapInsets(CGSize imageSize, UIEdgeInsets capInsets, CGFloat minimumMiddle) {
  clampPair(capInsets.left, capInsets.right, imageSize.width, minimumMiddle);
  clampPair(capInsets.top, capInsets.bottom, imageSize.height, minimumMiddle);
  return capInsets;
}

std::vector<KMNineSlicePatch> KMNineSlicePatches(CGSize imageSize, UIEdgeInsets capInsets,
                                                 CGRect destination) {
  std::vector<KMNineSlicePatch> patches;
  destination = CGRectStandardize(destination);
  if (CGRectIsEmpty(destination) || imageSize.width <= 0 || imageSize.height <= 0)
    return patches;
  const UIEdgeInsets caps = KMClampedCapInsets(imageSize, capInsets, 0);
  const auto columns =
      bands(imageSize.width, caps.left, caps.right, destination.origin.x, destination.size.width);
  const auto rows =
      bands(imageSize.height, caps.top, caps.bottom, destination.origin.y, destination.size.height);
  for (const Band& row : rows) {
    for (const Band& column : columns) {
      if (row.sourceLength <= 0 || column.sourceLength <= 0)
        continue;
      if (row.destinationLength <= 0 || column.destinationLength <= 0)
        continue;
      KMNineSlicePatch patch;
      patch.source =
          CGRectMake(column.sourceStart, row.sourceStart, column.sourceLength, row.sourceLength);
      patch.destination = CGRectMake(column.destinationStart, row.destinationStart,
                                     column.destinationLength, row.destinationLength);
      const int middles = int(row.middle) + int(column.middle);
      patch.part = middles == 0   ? KMNineSlicePart::Corner
                   : middles == 1 ? KMNineSlicePart::Edge
                                  : KMNineSlicePart::Middle;
      patches.push_back(patch);
    }
  }
  return patches;
}

} // namespace kdisk
