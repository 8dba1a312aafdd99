#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "graphics/CGAffineTransform.h"
#include "graphics/CGGeometry.h"
#include "graphics/UIEdgeInsets.h"

namespace kdisk {
namespace {

TEST(CGGeometry, InsetShrinksFromEveryEdgeAndTooMuchGivesNull) {
  EXPECT_EQ(CGRectInset(CGRectMake(10, 20, 100, 50), 5, 10), CGRectMake(15, 30, 90, 30));
  EXPECT_TRUE(CGRectIsNull(CGRectInset(CGRectMake(0, 0, 10, 10), 6, 0)));
}

TEST(CGGeometry, NegativeSizesAreStandardisedFirst) {
  const CGRect flipped = CGRectMake(10, 10, -4, -6);
  EXPECT_EQ(CGRectGetMinX(flipped), 6);
  EXPECT_EQ(CGRectGetMaxY(flipped), 10);
  EXPECT_EQ(CGRectOffset(flipped, 1, 1), CGRectMake(7, 5, 4, 6));
}

TEST(CGGeometry, UnionWithNullIsTheOtherRectangle) {
  const CGRect rect = CGRectMake(1, 2, 3, 4);
  EXPECT_EQ(CGRectUnion(CGRectNull(), rect), rect);
  EXPECT_EQ(CGRectUnion(rect, CGRectMake(10, -5, 1, 1)), CGRectMake(1, -5, 10, 11));
}

TEST(CGGeometry, DisjointRectanglesIntersectInNullTouchingOnesInAnEmptyRectangle) {
  EXPECT_TRUE(CGRectIsNull(CGRectIntersection(CGRectMake(0, 0, 10, 10), CGRectMake(20, 0, 5, 5))));
  const CGRect touching = CGRectIntersection(CGRectMake(0, 0, 10, 10), CGRectMake(10, 0, 5, 5));
  EXPECT_FALSE(CGRectIsNull(touching));
  EXPECT_TRUE(CGRectIsEmpty(touching));
  EXPECT_FALSE(CGRectIntersectsRect(CGRectMake(0, 0, 10, 10), CGRectMake(10, 0, 5, 5)));
  EXPECT_EQ(CGRectIntersection(CGRectMake(0, 0, 10, 10), CGRectMake(5, 5, 10, 10)),
            CGRectMake(5, 5, 5, 5));
}

TEST(CGGeometry, ContainsPointExcludesTheMaximumEdges) {
  const CGRect rect = CGRectMake(0, 0, 10, 10);
  EXPECT_TRUE(CGRectContainsPoint(rect, {0, 0}));
  EXPECT_TRUE(CGRectContainsPoint(rect, {9.99, 9.99}));
  EXPECT_FALSE(CGRectContainsPoint(rect, {10, 5}));
  EXPECT_TRUE(CGRectContainsRect(rect, CGRectMake(0, 0, 10, 10)));
  EXPECT_FALSE(CGRectContainsRect(rect, CGRectMake(5, 5, 6, 1)));
}

TEST(CGGeometry, IntegralHoldsTheWholeRectangle) {
  EXPECT_EQ(CGRectIntegral(CGRectMake(0.5, 1.2, 10.1, 3.3)), CGRectMake(0, 1, 11, 4));
  EXPECT_EQ(CGRectIntegral(CGRectMake(-0.5, -0.5, 1, 1)), CGRectMake(-1, -1, 2, 2));
}

TEST(CGGeometry, CentringPutsTheMiddlesTogether) {
  EXPECT_EQ(KMRectCenteredInRect({10, 4}, CGRectMake(0, 0, 20, 20)), CGRectMake(5, 8, 10, 4));
  EXPECT_EQ(CGRectGetCenter(CGRectMake(2, 2, 4, 6)), CGPointMake(4, 5));
}

TEST(CGGeometry, EdgeInsetsShrinkARectangle) {
  EXPECT_EQ(UIEdgeInsetsInsetRect(CGRectMake(0, 0, 100, 50), UIEdgeInsetsMake(1, 2, 3, 4)),
            CGRectMake(2, 1, 94, 46));
}

TEST(CGGeometry, DescriptionsUseBraces) {
  EXPECT_EQ(NSStringFromCGRect(CGRectMake(1, 2.5, 3, 4)), "{{1, 2.5}, {3, 4}}");
}

TEST(CGAffineTransform, ConcatAppliesTheFirstTransformFirst) {
  const auto scale = CGAffineTransformMakeScale(2, 2);
  const auto move = CGAffineTransformMakeTranslation(10, 0);
  EXPECT_EQ(CGPointApplyAffineTransform({1, 1}, CGAffineTransformConcat(scale, move)),
            CGPointMake(12, 2));
  EXPECT_EQ(CGPointApplyAffineTransform({1, 1}, CGAffineTransformConcat(move, scale)),
            CGPointMake(22, 2));
  // Translate prepends: the point moves first, then the original scale applies.
  EXPECT_EQ(CGPointApplyAffineTransform({1, 1}, CGAffineTransformTranslate(scale, 10, 0)),
            CGPointMake(22, 2));
}

TEST(CGAffineTransform, InvertUndoesAndSingularStaysPut) {
  const auto transform =
      CGAffineTransformRotate(CGAffineTransformMakeTranslation(5, -3), std::numbers::pi / 3);
  const CGPoint back = CGPointApplyAffineTransform(CGPointApplyAffineTransform({7, 11}, transform),
                                                   CGAffineTransformInvert(transform));
  EXPECT_NEAR(back.x, 7, 1e-9);
  EXPECT_NEAR(back.y, 11, 1e-9);
  const auto singular = CGAffineTransformMakeScale(0, 1);
  EXPECT_EQ(CGAffineTransformInvert(singular), singular);
}

TEST(CGAffineTransform, RotatedRectangleGivesItsBoundingBox) {
  const CGRect rotated = CGRectApplyAffineTransform(
      CGRectMake(0, 0, 10, 20), CGAffineTransformMakeRotation(-std::numbers::pi / 2));
  EXPECT_NEAR(rotated.origin.x, 0, 1e-9);
  EXPECT_NEAR(rotated.origin.y, -10, 1e-9);
  EXPECT_NEAR(rotated.size.width, 20, 1e-9);
  EXPECT_NEAR(rotated.size.height, 10, 1e-9);
}

} // namespace
} // namespace kdisk
