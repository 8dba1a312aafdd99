#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"
#include "graphics/ImageScaling.h"

namespace kdisk {
namespace {

TEST(AspectFill, WideSourceFillsTheHeightAndCropsTheSidesEvenly) {
  EXPECT_EQ(KMAspectFillGeometryForSizes(300, 200, 80, 80), (KMAspectFillGeometry{120, 80, 20, 0}));
}

TEST(AspectFill, TallSourceFillsTheWidthAndCropsTopAndBottom) {
  EXPECT_EQ(KMAspectFillGeometryForSizes(5, 7, 10, 10), (KMAspectFillGeometry{10, 14, 0, 2}));
}

TEST(AspectFill, OddExcessRoundsTheOffsetHalfUp) {
  // 11×10 into 10×10: no scaling, one spare column, offset 0.5 → 1.
  EXPECT_EQ(KMAspectFillGeometryForSizes(11, 10, 10, 10), (KMAspectFillGeometry{11, 10, 1, 0}));
  // 7×5 into 9×9: factor 1.8, width 12.6 → 13, offset 2.
  EXPECT_EQ(KMAspectFillGeometryForSizes(7, 5, 9, 9), (KMAspectFillGeometry{13, 9, 2, 0}));
  // 100×67 into 40×40: factor 40/67, width 59.7 → 60, offset 10.
  EXPECT_EQ(KMAspectFillGeometryForSizes(100, 67, 40, 40), (KMAspectFillGeometry{60, 40, 10, 0}));
}

TEST(AspectFill, ScaledSidesNeverFallShortOfTheTarget) {
  for (int width = 1; width < 60; width += 7) {
    for (int height = 1; height < 60; height += 5) {
      const auto geometry = KMAspectFillGeometryForSizes(width, height, 37, 23);
      EXPECT_GE(geometry.scaledWidth, 37);
      EXPECT_GE(geometry.scaledHeight, 23);
      EXPECT_LE(geometry.cropX + 37, geometry.scaledWidth);
      EXPECT_LE(geometry.cropY + 23, geometry.scaledHeight);
    }
  }
}

TEST(AspectFill, DegenerateSizesGiveNothing) {
  EXPECT_EQ(KMAspectFillGeometryForSizes(0, 10, 10, 10), KMAspectFillGeometry{});
  EXPECT_EQ(KMAspectFillGeometryForSizes(10, 10, 0, 10), KMAspectFillGeometry{});
}

TEST(ScaleToFillAndCrop, CropStartsAtTheRoundedOffset) {
  // Each column has its own red value, so the first kept column shows the offset.
  const auto source = testing::makeImage(11, 10, 1, [](int x, int) {
    return KMPixel{std::uint8_t(x * 20), 0, 0, 255};
  });
  const auto result = KMImageByScalingToFillAndCropping(source.get(), 10, 10, 2);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->pixelWidth(), 10);
  EXPECT_EQ(result->pixelHeight(), 10);
  EXPECT_EQ(result->scale(), 2);
  EXPECT_EQ(result->pixelAt(0, 5).red, 20);
  EXPECT_EQ(result->pixelAt(9, 5).red, 200);
}

TEST(ScaleToFillAndCrop, TallImageKeepsItsMiddle) {
  // Top third red, middle blue, bottom third green: a square crop is blue in the middle.
  const auto source = testing::makeImage(30, 90, 1, [](int, int y) {
    return y < 30 ? testing::kRed : y < 60 ? testing::kBlue : testing::kGreen;
  });
  const auto result = KMImageByScalingToFillAndCropping(source.get(), 15, 15, 1);
  ASSERT_TRUE(result);
  // The filter blends a little across the cut, but no red or green band may show.
  for (int y : {0, 7, 14}) {
    const KMPixel pixel = result->pixelAt(7, y);
    EXPECT_GT(pixel.blue, 200) << y;
    EXPECT_LT(pixel.red, 40) << y;
    EXPECT_LT(pixel.green, 40) << y;
  }
}

TEST(ScaleToFillAndCrop, NoImageOrZeroTargetGivesNothing) {
  EXPECT_EQ(KMImageByScalingToFillAndCropping(nullptr, 10, 10, 1), nullptr);
  const auto source = testing::makeSolidImage(4, 4, 1, testing::kRed);
  EXPECT_EQ(KMImageByScalingToFillAndCropping(source.get(), 0, 10, 1), nullptr);
}

} // namespace
} // namespace kdisk
