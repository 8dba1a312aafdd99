#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"
#include "graphics/UIColor.h"
#include "graphics/UIGraphicsImageContext.h"

#include <cairo.h>

namespace kdisk {
namespace {

TEST(UIColor, ComponentsOutOf255AreScaledAndClamped) {
  const UIColor tint = UIColor::colorWithRGB255(35, 104, 149);
  EXPECT_DOUBLE_EQ(tint.red(), 35 / 255.0);
  EXPECT_DOUBLE_EQ(tint.blue(), 149 / 255.0);
  EXPECT_EQ(tint.alpha(), 1);
  EXPECT_EQ(UIColor::colorWithRedGreenBlueAlpha(2, -1, 0.5, 3).red(), 1);
  EXPECT_EQ(UIColor::colorWithRedGreenBlueAlpha(2, -1, 0.5, 3).green(), 0);
  EXPECT_EQ(tint.colorWithAlphaComponent(0.5).alpha(), 0.5);
}

TEST(UIColor, SolidColourFillsWithItsComponents) {
  UIGraphicsImageContext canvas({2, 2}, KMImageContextOpacity::Transparent, 1);
  UIColor::colorWithRGB255(228, 232, 234).setFill(canvas.context());
  cairo_paint(canvas.context());
  EXPECT_EQ(canvas.image()->pixelAt(1, 1), (KMPixel{228, 232, 234, 255}));
}

TEST(UIColor, PatternColourTilesItsImageInPoints) {
  // A 2×1-point pattern at scale 2: 4×2 pixels, left half red.
  const auto tile = testing::makeImage(
      4, 2, 2, [](int x, int) { return x < 2 ? testing::kRed : testing::kBlue; });
  const UIColor pattern = UIColor::colorWithPatternImage(tile);
  EXPECT_TRUE(pattern.isPattern());
  UIGraphicsImageContext canvas({8, 1}, KMImageContextOpacity::Transparent, 1);
  pattern.setFill(canvas.context());
  cairo_paint(canvas.context());
  const auto image = canvas.image();
  EXPECT_EQ(image->pixelAt(0, 0), testing::kRed);
  EXPECT_EQ(image->pixelAt(1, 0), testing::kBlue);
  EXPECT_EQ(image->pixelAt(6, 0), testing::kRed);
  EXPECT_EQ(image->pixelAt(7, 0), testing::kBlue);
}

TEST(UIColor, PatternWithoutImageIsClear) {
  EXPECT_EQ(UIColor::colorWithPatternImage(nullptr), UIColor::clearColor());
}

TEST(UIGraphicsImageContext, ZeroSizeGivesNoImageAndHugeSizeIsBounded) {
  UIGraphicsImageContext empty({0, 10}, KMImageContextOpacity::Transparent, 1);
  EXPECT_EQ(empty.image(), nullptr);
  UIGraphicsImageContext huge({1e7, 2}, KMImageContextOpacity::Transparent, 2);
  ASSERT_TRUE(huge.image());
  EXPECT_EQ(huge.image()->pixelWidth(), UIImage::kMaximumPixelDimension);
}

} // namespace
} // namespace kdisk
