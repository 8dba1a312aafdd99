#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"
#include "graphics/KAThumbnail.h"
#include "graphics/Screen.h"

namespace kdisk {
namespace {

using testing::kBlack;
using testing::kBlue;
using testing::kRed;
using testing::kWhite;

class KAThumbnailTest : public ::testing::Test {
protected:
  void TearDown() override { setMainScreenScale(1); }
};

TEST_F(KAThumbnailTest, BlackPartOfTheMaskShowsTheImageWhitePartHidesIt) {
  const auto image = testing::makeSolidImage(4, 2, 1, kRed);
  const auto mask = testing::makeImage(4, 2, 1, [](int x, int) { return x < 2 ? kBlack : kWhite; });
  const auto masked = KAImageWithMask(image.get(), mask.get());
  ASSERT_TRUE(masked);
  EXPECT_EQ(masked->pixelAt(0, 0), kRed);
  EXPECT_EQ(masked->pixelAt(1, 1), kRed);
  EXPECT_EQ(masked->pixelAt(2, 0).alpha, 0);
  EXPECT_EQ(masked->pixelAt(3, 1).alpha, 0);
}

TEST_F(KAThumbnailTest, GreyMaskGivesPartialCoverAndTransparentMaskHides) {
  const auto image = testing::makeSolidImage(2, 1, 1, kBlue);
  const auto mask = testing::makeImage(2, 1, 1, [](int x, int) {
    return x == 0 ? KMPixel{128, 128, 128, 255} : testing::kClear;
  });
  const auto masked = KAImageWithMask(image.get(), mask.get());
  EXPECT_NEAR(masked->pixelAt(0, 0).alpha, 127, 2);
  EXPECT_EQ(masked->pixelAt(0, 0).blue, 255);
  EXPECT_EQ(masked->pixelAt(1, 0).alpha, 0);
}

TEST_F(KAThumbnailTest, MaskIsStretchedToTheImage) {
  const auto image = testing::makeSolidImage(8, 8, 1, kRed);
  const auto mask =
      testing::makeImage(2, 2, 1, [](int x, int) { return x == 0 ? kBlack : kWhite; });
  const auto masked = KAImageWithMask(image.get(), mask.get());
  EXPECT_EQ(masked->pixelWidth(), 8);
  EXPECT_EQ(masked->pixelAt(0, 4), kRed);
  EXPECT_EQ(masked->pixelAt(7, 4).alpha, 0);
}

TEST_F(KAThumbnailTest, MaskedImageTakesTheScreenScale) {
  setMainScreenScale(2);
  const auto image = testing::makeSolidImage(4, 4, 1, kRed);
  const auto mask = testing::makeSolidImage(4, 4, 1, kBlack);
  EXPECT_EQ(KAImageWithMask(image.get(), mask.get())->scale(), 2);
}

TEST_F(KAThumbnailTest, ThumbnailIsAsWideAsTheMaskInScreenPixels) {
  setMainScreenScale(2);
  const auto photo = testing::makeSolidImage(300, 200, 1, kRed);
  // A 40-point mask at scale 2: 80 pixels.
  const auto mask = testing::makeSolidImage(80, 80, 2, kBlack);
  const auto thumbnail = KAThumbnailForImage(photo.get(), mask.get(), nullptr);
  ASSERT_TRUE(thumbnail);
  EXPECT_EQ(thumbnail->pixelWidth(), 80);
  EXPECT_EQ(thumbnail->pixelHeight(), 80);
  EXPECT_EQ(thumbnail->size(), CGSizeMake(40, 40));

  setMainScreenScale(1);
  const auto single = KAThumbnailForImage(photo.get(), mask.get(), nullptr);
  EXPECT_EQ(single->pixelWidth(), 40);
}

TEST_F(KAThumbnailTest, BorderIsDrawnOverTheMaskedImage) {
  const auto photo = testing::makeSolidImage(50, 30, 1, kRed);
  // The mask hides the outer pixel ring; the border paints a blue frame one pixel wide.
  const auto mask = testing::makeImage(10, 10, 1, [](int x, int y) {
    return (x == 0 || y == 0 || x == 9 || y == 9) ? kWhite : kBlack;
  });
  const auto border = testing::makeImage(10, 10, 1, [](int x, int y) {
    return (x == 0 || y == 0 || x == 9 || y == 9) ? kBlue : testing::kClear;
  });
  const auto thumbnail = KAThumbnailForImage(photo.get(), mask.get(), border.get());
  ASSERT_TRUE(thumbnail);
  EXPECT_EQ(thumbnail->pixelAt(0, 0), kBlue);
  EXPECT_EQ(thumbnail->pixelAt(9, 5), kBlue);
  EXPECT_EQ(thumbnail->pixelAt(5, 5), kRed);
}

TEST_F(KAThumbnailTest, MissingPiecesDoNotCrash) {
  const auto photo = testing::makeSolidImage(5, 5, 1, kRed);
  EXPECT_EQ(KAThumbnailForImage(nullptr, photo.get(), nullptr), nullptr);
  EXPECT_EQ(KAThumbnailForImage(photo.get(), nullptr, nullptr), nullptr);
  EXPECT_EQ(KAImageWithMask(photo.get(), nullptr), nullptr);
  EXPECT_EQ(KAImageWithBorder(photo, nullptr), photo);
}

} // namespace
} // namespace kdisk
