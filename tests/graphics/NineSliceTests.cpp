#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "GraphicsTestSupport.h"
#include "graphics/NineSlice.h"
#include "graphics/UIGraphicsImageContext.h"
#include "graphics/UIImage.h"

namespace kdisk {
namespace {

using testing::kBlue;
using testing::kGreen;
using testing::kRed;
using testing::kWhite;

TEST(NineSlice, CornersKeepTheirSizeAndTheMiddleTakesTheRest) {
  const auto patches =
      KMNineSlicePatches({30, 30}, UIEdgeInsetsMake(4, 10, 6, 8), CGRectMake(5, 5, 100, 40));
  ASSERT_EQ(patches.size(), 9u);
  EXPECT_EQ(patches[0].source, CGRectMake(0, 0, 10, 4));
  EXPECT_EQ(patches[0].destination, CGRectMake(5, 5, 10, 4));
  EXPECT_EQ(patches[2].source, CGRectMake(22, 0, 8, 4));
  EXPECT_EQ(patches[2].destination, CGRectMake(97, 5, 8, 4));
  EXPECT_EQ(patches[4].source, CGRectMake(10, 4, 12, 20));
  EXPECT_EQ(patches[4].destination, CGRectMake(15, 9, 82, 30));
  EXPECT_EQ(patches[4].part, KMNineSlicePart::Middle);
  EXPECT_EQ(patches[8].destination, CGRectMake(97, 39, 8, 6));
  EXPECT_EQ(patches[1].part, KMNineSlicePart::Edge);
}

TEST(NineSlice, ZeroCapsGiveOnePieceThatCoversTheDestination) {
  const auto patches = KMNineSlicePatches({30, 20}, UIEdgeInsetsZero, CGRectMake(0, 0, 60, 10));
  ASSERT_EQ(patches.size(), 1u);
  EXPECT_EQ(patches[0].source, CGRectMake(0, 0, 30, 20));
  EXPECT_EQ(patches[0].destination, CGRectMake(0, 0, 60, 10));
}

TEST(NineSlice, CapsWiderThanTheImageAreReducedInProportion) {
  const UIEdgeInsets clamped = KMClampedCapInsets({20, 10}, UIEdgeInsetsMake(2, 30, 2, 10), 1);
  EXPECT_DOUBLE_EQ(clamped.left + clamped.right, 19);
  EXPECT_DOUBLE_EQ(clamped.left, 30 * 19.0 / 40);
  EXPECT_EQ(clamped.top, 2);
  const UIEdgeInsets negative = KMClampedCapInsets({20, 10}, UIEdgeInsetsMake(-1, 2, 3, 4), 1);
  EXPECT_EQ(negative, UIEdgeInsetsMake(0, 2, 3, 4));
}

TEST(NineSlice, DestinationSmallerThanTheCapsSquashesThemAndDropsTheMiddle) {
  const auto patches =
      KMNineSlicePatches({30, 30}, UIEdgeInsetsMake(0, 10, 0, 10), CGRectMake(0, 0, 10, 30));
  ASSERT_EQ(patches.size(), 2u);
  EXPECT_EQ(patches[0].destination, CGRectMake(0, 0, 5, 30));
  EXPECT_EQ(patches[1].destination, CGRectMake(5, 0, 5, 30));
  EXPECT_EQ(patches[1].source, CGRectMake(20, 0, 10, 30));
}

TEST(NineSlice, EmptyDestinationDrawsNothing) {
  EXPECT_TRUE(KMNineSlicePatches({30, 30}, UIEdgeInsetsMake(4, 4, 4, 4), CGRectZero).empty());
  EXPECT_TRUE(KMNineSlicePatches({0, 30}, UIEdgeInsetsZero, CGRectMake(0, 0, 5, 5)).empty());
}

// A 9×9-pixel image at `scale`: red corners, green edges, blue middle, each
// band 3 pixels.
std::shared_ptr<UIImage> bands(double scale) {
  return testing::makeImage(9, 9, scale, [](int x, int y) {
    const int edges = int(x < 3 || x >= 6) + int(y < 3 || y >= 6);
    return edges == 2 ? kRed : edges == 1 ? kGreen : kBlue;
  });
}

std::shared_ptr<UIImage> drawn(const UIImage& image, CGSize size, double scale) {
  UIGraphicsImageContext canvas(size, KMImageContextOpacity::Opaque, scale);
  image.drawInRect(canvas.context(), CGRect{CGPointZero, size});
  return canvas.image();
}

TEST(NineSliceDrawing, StretchedImageKeepsCornersAndFillsTheMiddle) {
  const auto image = bands(1)->resizableImageWithCapInsetsResizingMode(
      UIEdgeInsetsMake(3, 3, 3, 3), UIImageResizingMode::Stretch);
  const auto result = drawn(*image, {40, 20}, 1);
  ASSERT_TRUE(result);
  for (auto [x, y] : {std::pair{0, 0}, {2, 2}, {39, 0}, {37, 2}, {0, 19}, {39, 19}, {37, 17}}) {
    EXPECT_EQ(result->pixelAt(x, y), kRed) << x << "," << y;
  }
  for (auto [x, y] : {std::pair{3, 0}, {36, 2}, {0, 3}, {39, 16}, {20, 19}}) {
    EXPECT_EQ(result->pixelAt(x, y), kGreen) << x << "," << y;
  }
  for (auto [x, y] : {std::pair{3, 3}, {20, 10}, {36, 16}}) {
    EXPECT_EQ(result->pixelAt(x, y), kBlue) << x << "," << y;
  }
}

TEST(NineSliceDrawing, TiledImageRepeatsItsMiddle) {
  // The middle column alternates white and blue so repeats can be seen.
  const auto source = testing::makeImage(6, 3, 1, [](int x, int) {
    if (x < 2 || x >= 4)
      return kRed;
    return x == 2 ? kWhite : kBlue;
  });
  const auto image = source->resizableImageWithCapInsets(UIEdgeInsetsMake(0, 2, 0, 2));
  ASSERT_EQ(image->resizingMode(), UIImageResizingMode::Tile);
  const auto result = drawn(*image, {10, 3}, 1);
  const KMPixel expected[] = {kRed, kRed, kWhite, kBlue, kWhite, kBlue, kWhite, kBlue, kRed, kRed};
  for (int x = 0; x < 10; ++x)
    EXPECT_EQ(result->pixelAt(x, 1), expected[x]) << x;
}

TEST(NineSliceDrawing, DoubleScaleImageDrawsCapsInPointsOnADoubleScaleContext) {
  // 9 pixels at scale 2 are 4.5 points; caps of 1.5 points are 3 pixels.
  const auto image = bands(2)->resizableImageWithCapInsetsResizingMode(
      UIEdgeInsetsMake(1.5, 1.5, 1.5, 1.5), UIImageResizingMode::Stretch);
  const auto result = drawn(*image, {20, 10}, 2);
  ASSERT_EQ(result->pixelWidth(), 40);
  EXPECT_EQ(result->pixelAt(2, 2), kRed);
  EXPECT_EQ(result->pixelAt(3, 0), kGreen);
  EXPECT_EQ(result->pixelAt(36, 2), kGreen);
  EXPECT_EQ(result->pixelAt(36, 3), kBlue);
  EXPECT_EQ(result->pixelAt(37, 17), kRed);
  EXPECT_EQ(result->pixelAt(20, 10), kBlue);
}

TEST(NineSliceDrawing, OversizedCapsStillDrawAMiddleWithoutCrashing) {
  const auto image = bands(1)->resizableImageWithCapInsets(UIEdgeInsetsMake(50, 50, 50, 50));
  EXPECT_LT(image->capInsets().left + image->capInsets().right, 9);
  EXPECT_LT(image->capInsets().top + image->capInsets().bottom, 9);
  const auto result = drawn(*image, {30, 30}, 1);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->pixelAt(0, 0), kRed);
  EXPECT_EQ(result->pixelAt(15, 15).alpha, 255);
}

TEST(NineSliceDrawing, StretchableImageStretchesTheColumnAfterTheLeftCap) {
  const auto source = testing::makeImage(5, 1, 1, [](int x, int) {
    return x < 2 ? kRed : x == 2 ? kBlue : kGreen;
  });
  const auto image = source->stretchableImageWithLeftCapWidthTopCapHeight(2, 0);
  EXPECT_EQ(image->leftCapWidth(), 2);
  EXPECT_EQ(image->capInsets(), UIEdgeInsetsMake(0, 2, 0, 2));
  const auto result = drawn(*image, {12, 1}, 1);
  const KMPixel expected[] = {kRed,  kRed,  kBlue, kBlue, kBlue,  kBlue,
                              kBlue, kBlue, kBlue, kBlue, kGreen, kGreen};
  for (int x = 0; x < 12; ++x)
    EXPECT_EQ(result->pixelAt(x, 0), expected[x]) << x;
}

TEST(NineSliceDrawing, ImageWithoutCapsScalesAsAWhole) {
  const auto source = testing::makeImage(2, 1, 1, [](int x, int) { return x == 0 ? kRed : kBlue; });
  const auto result = drawn(*source, {8, 1}, 1);
  EXPECT_EQ(result->pixelAt(0, 0), kRed);
  EXPECT_EQ(result->pixelAt(7, 0), kBlue);
}

// Pieces of one colour, or one colour per line, are drawn by a cheaper route
// than the filtered stretch; the pixels must not differ from it.
TEST(NineSliceDrawing, PiecesOfOneColourOrOneColourPerLineDrawAsTheFilteredStretchWould) {
  const KMPixel translucent{40, 80, 120, 128};
  const std::pair<const char*, std::shared_ptr<UIImage>> images[] = {
      {"opaque", testing::makeSolidImage(2, 2, 2, kBlue)},
      {"translucent", testing::makeSolidImage(2, 2, 2, translucent)},
      {"rows", testing::makeImage(1, 6, 2,
                                  [](int, int y) {
                                    return KMPixel{std::uint8_t(40 * y), 30, 200, 255};
                                  })},
      {"columns", testing::makeImage(6, 1, 2,
                                     [](int x, int) {
                                       return KMPixel{200, std::uint8_t(40 * x), 30, 255};
                                     })},
  };
  // Stretched along one direction only, and along both.
  const CGRect destinations[] = {CGRectMake(1, 1, 30, 3), CGRectMake(1, 1, 3, 30),
                                 CGRectMake(1, 1, 30, 7), CGRectMake(1, 1, 0.5, 0.5)};
  const CGSize canvas{32, 32};
  auto paint = [&](const std::function<void(cairo_t*)>& draw) {
    UIGraphicsImageContext context(canvas, KMImageContextOpacity::Opaque, 2);
    cairo_set_source_rgb(context.context(), 0.5, 0.5, 0.5);
    cairo_paint(context.context());
    draw(context.context());
    return context.image();
  };
  for (const auto& [name, image] : images) {
    for (const CGRect& destination : destinations) {
      for (const double alpha : {1.0, 0.6}) {
        const auto drawn =
            paint([&](cairo_t* context) { image->drawInRect(context, destination, alpha); });
        const auto filtered = paint([&](cairo_t* context) {
          cairo_pattern_t* pattern = cairo_pattern_create_for_surface(image->cairoSurface());
          cairo_matrix_t matrix;
          cairo_matrix_init_scale(&matrix, image->pixelWidth() / destination.size.width,
                                  image->pixelHeight() / destination.size.height);
          cairo_matrix_translate(&matrix, -destination.origin.x, -destination.origin.y);
          cairo_pattern_set_matrix(pattern, &matrix);
          cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
          cairo_rectangle(context, destination.origin.x, destination.origin.y,
                          destination.size.width, destination.size.height);
          cairo_clip(context);
          cairo_set_source(context, pattern);
          cairo_paint_with_alpha(context, alpha);
          cairo_pattern_destroy(pattern);
        });
        ASSERT_TRUE(drawn && filtered);
        int differing = 0;
        for (int y = 0; y < drawn->pixelHeight(); ++y)
          for (int x = 0; x < drawn->pixelWidth(); ++x)
            differing += drawn->pixelAt(x, y) != filtered->pixelAt(x, y);
        EXPECT_EQ(differing, 0) << name << " into " << destination.size.width << "x"
                                << destination.size.height << " at alpha " << alpha;
      }
    }
  }
}

} // namespace
} // namespace kdisk
