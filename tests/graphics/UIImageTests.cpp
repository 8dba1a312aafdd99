#include <cairo.h>
#include <gtest/gtest.h>

#include <spdlog/sinks/ostream_sink.h>

#include <sstream>
#include <string>

#include "GraphicsTestSupport.h"
#include "graphics/Screen.h"
#include "graphics/UIImage.h"
#include "graphics/UIImageRepresentation.h"
#include "platform/Log.h"

namespace kdisk {
namespace {

using testing::kBlue;
using testing::kGreen;
using testing::kRed;

class UIImageNamed : public ::testing::Test {
protected:
  void SetUp() override { UIImage::clearNamedImageCache(); }
  void TearDown() override {
    UIImage::clearNamedImageCache();
    setMainScreenScale(1);
  }
  void write(const std::string& name, int width, int height, KMPixel colour) {
    testing::writePNG(*testing::makeSolidImage(width, height, 1, colour), m_folder.file(name));
  }
  testing::TemporaryDirectory m_folder;
};

TEST_F(UIImageNamed, DoubleScaleScreenPicksTheAt2xFile) {
  write("button.png", 10, 6, kRed);
  write("button@2x.png", 20, 12, kBlue);
  const auto image = UIImage::imageNamedInDirectory("button", m_folder.path(), 2);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->scale(), 2);
  EXPECT_EQ(image->size(), CGSizeMake(10, 6));
  EXPECT_EQ(image->pixelAt(0, 0), kBlue);
}

TEST_F(UIImageNamed, SingleScaleScreenPicksThePlainFile) {
  write("button.png", 10, 6, kRed);
  write("button@2x.png", 20, 12, kBlue);
  const auto image = UIImage::imageNamedInDirectory("button.png", m_folder.path(), 1);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->scale(), 1);
  EXPECT_EQ(image->pixelAt(0, 0), kRed);
}

TEST_F(UIImageNamed, MissingAt2xFallsBackToThePlainFileAtScaleOne) {
  write("bg.png", 8, 8, kGreen);
  const auto image = UIImage::imageNamedInDirectory("bg", m_folder.path(), 2);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->scale(), 1);
  EXPECT_EQ(image->size(), CGSizeMake(8, 8));
}

TEST_F(UIImageNamed, OnlyAt2xOnASingleScaleScreenKeepsItsPointSize) {
  write("icon@2x.png", 40, 40, kBlue);
  const auto image = UIImage::imageNamedInDirectory("icon", m_folder.path(), 1);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->scale(), 2);
  EXPECT_EQ(image->size(), CGSizeMake(20, 20));
}

TEST_F(UIImageNamed, NameWithItsExtensionFindsTheAt2xFileToo) {
  write("Directory@2x.png", 4, 4, kBlue);
  write("Directory.png", 2, 2, kRed);
  const auto image = UIImage::imageNamedInDirectory("Directory.png", m_folder.path(), 2);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 4);
}

TEST_F(UIImageNamed, MissingOrEmptyNameGivesNothing) {
  EXPECT_EQ(UIImage::imageNamedInDirectory("absent", m_folder.path(), 2), nullptr);
  EXPECT_EQ(UIImage::imageNamedInDirectory("", m_folder.path(), 1), nullptr);
}

TEST_F(UIImageNamed, RepeatedLookupsShareOneImageUntilTheCacheIsCleared) {
  write("tile.png", 2, 2, kRed);
  const auto first = UIImage::imageNamedInDirectory("tile", m_folder.path(), 1);
  EXPECT_EQ(UIImage::imageNamedInDirectory("tile", m_folder.path(), 1), first);
  UIImage::clearNamedImageCache();
  EXPECT_NE(UIImage::imageNamedInDirectory("tile", m_folder.path(), 1), first);
}

TEST_F(UIImageNamed, UndecodableFileBehindANameGivesNothing) {
  testing::writeBytes(m_folder.file("broken.png"), Bytes{'n', 'o', 't', ' ', 'p', 'n', 'g'});
  EXPECT_EQ(UIImage::imageNamedInDirectory("broken", m_folder.path(), 1), nullptr);
}

TEST(UIImageFile, At2xInTheFileNameMeansScaleTwo) {
  testing::TemporaryDirectory folder;
  testing::writePNG(*testing::makeSolidImage(6, 4, 1, kRed), folder.file("photo@2x.png"));
  const auto image = UIImage::imageWithContentsOfFile(folder.file("photo@2x.png"));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->scale(), 2);
  EXPECT_EQ(image->size(), CGSizeMake(3, 2));
}

TEST(UIImageFile, UndecodableFileLogsAWarningNamingIt) {
  testing::TemporaryDirectory folder;
  const std::string path = folder.file("preview.jpg");
  testing::writeBytes(path, Bytes(64, 0x17));
  std::ostringstream captured;
  auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(captured);
  auto log = logger("UIImage", LogLevel::Warning);
  log->sinks().push_back(sink);
  EXPECT_EQ(UIImage::imageWithContentsOfFile(path), nullptr);
  log->sinks().pop_back();
  EXPECT_NE(captured.str().find(path), std::string::npos) << captured.str();
}

TEST(UIImageFile, MissingFileGivesNothing) {
  EXPECT_EQ(UIImage::imageWithContentsOfFile("/nonexistent/kdisk/image.png"), nullptr);
}

// The first bytes of a PNG announcing `width`×`height` and nothing else.
Bytes pngHeader(std::uint32_t width, std::uint32_t height) {
  const auto crc32 = [](const Bytes& data, std::size_t from) {
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t index = from; index < data.size(); ++index) {
      crc ^= data[index];
      for (int bit = 0; bit < 8; ++bit)
        crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
  };
  const auto appendWord = [](Bytes& data, std::uint32_t word) {
    for (int shift = 24; shift >= 0; shift -= 8)
      data.push_back(std::uint8_t(word >> shift));
  };
  Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  appendWord(png, 13);
  const std::size_t chunkStart = png.size();
  for (char c : std::string("IHDR"))
    png.push_back(std::uint8_t(c));
  appendWord(png, width);
  appendWord(png, height);
  for (std::uint8_t b : {8, 6, 0, 0, 0})
    png.push_back(b); // 8-bit RGBA
  appendWord(png, crc32(png, chunkStart));
  return png;
}

TEST(UIImageDecoding, GarbageEmptyAndTruncatedDataGiveNothing) {
  EXPECT_EQ(UIImage::imageWithData(Bytes{}), nullptr);
  EXPECT_EQ(UIImage::imageWithData(Bytes(100, 0x42)), nullptr);
  const auto png = UIImagePNGRepresentation(testing::makeSolidImage(20, 20, 1, kRed).get());
  ASSERT_TRUE(png.has_value());
  EXPECT_EQ(UIImage::imageWithData(Bytes(png->begin(), png->begin() + 40)), nullptr);
}

TEST(UIImageDecoding, ZeroSizedImageGivesNothing) {
  EXPECT_EQ(UIImage::imageWithData(pngHeader(0, 10)), nullptr);
}

TEST(UIImageDecoding, EnormousClaimedSizeIsRefusedWithoutDecoding) {
  EXPECT_EQ(UIImage::imageWithData(pngHeader(200000, 200000)), nullptr);
}

TEST(UIImageDecoding, LargeImageIsScaledDownToTheBound) {
  cairo_surface_t* wide = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 5000, 4);
  cairo_t* context = cairo_create(wide);
  cairo_set_source_rgb(context, 0, 0, 1);
  cairo_paint(context);
  cairo_destroy(context);
  testing::TemporaryDirectory folder;
  ASSERT_EQ(cairo_surface_write_to_png(wide, folder.file("wide.png").c_str()),
            CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(wide);
  const auto image = UIImage::imageWithContentsOfFile(folder.file("wide.png"));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), UIImage::kMaximumPixelDimension);
  EXPECT_EQ(image->pixelHeight(), 3);
}

TEST(UIImageDecoding, GIFGivesItsFirstFrame) {
  // 1×1, global colour table red and black, one pixel of index 0.
  const Bytes gif{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xff, 0, 0, 0,  0,
                  0,   ',', 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 'D',  1, 0, ';'};
  const auto image = UIImage::imageWithData(gif);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelAt(0, 0), kRed);
}

TEST(UIImageEncoding, PNGKeepsPixelsAndAlpha) {
  const auto source = testing::makeImage(3, 2, 1, [](int x, int y) {
    return x == 0 ? KMPixel{10, 20, 30, 128} : y == 0 ? kGreen : testing::kClear;
  });
  const auto png = UIImagePNGRepresentation(source.get());
  ASSERT_TRUE(png.has_value());
  const auto decoded = UIImage::imageWithData(*png);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixelAt(1, 0), kGreen);
  EXPECT_EQ(decoded->pixelAt(2, 1).alpha, 0);
  EXPECT_EQ(decoded->pixelAt(0, 0).alpha, 128);
  EXPECT_NEAR(decoded->pixelAt(0, 0).blue, 30, 2);
}

TEST(UIImageEncoding, JPEGDecodesBackCloseAndLowerQualityIsSmaller) {
  const auto source = testing::makeImage(64, 64, 1, [](int x, int y) {
    return KMPixel{std::uint8_t(x * 4), std::uint8_t(y * 4), std::uint8_t((x * y) % 256), 255};
  });
  const auto good = UIImageJPEGRepresentation(source.get(), 0.8);
  const auto poor = UIImageJPEGRepresentation(source.get(), 0.1);
  ASSERT_TRUE(good.has_value());
  ASSERT_TRUE(poor.has_value());
  EXPECT_EQ((*good)[0], 0xff);
  EXPECT_EQ((*good)[1], 0xd8);
  EXPECT_LT(poor->size(), good->size());
  const auto decoded = UIImage::imageWithData(*good);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixelWidth(), 64);
  EXPECT_NEAR(decoded->pixelAt(40, 10).red, 160, 12);
}

TEST(UIImageEncoding, JPEGOfTransparentPixelsIsWhite) {
  const auto clear = testing::makeSolidImage(8, 8, 1, testing::kClear);
  const auto jpeg = UIImageJPEGRepresentation(clear.get(), 0.8);
  ASSERT_TRUE(jpeg.has_value());
  const auto decoded = UIImage::imageWithData(*jpeg);
  ASSERT_TRUE(decoded);
  EXPECT_GE(decoded->pixelAt(4, 4).red, 250);
}

TEST(UIImageEncoding, NoImageEncodesToNothing) {
  EXPECT_FALSE(UIImagePNGRepresentation(nullptr).has_value());
  EXPECT_FALSE(UIImageJPEGRepresentation(nullptr, 0.8).has_value());
}

} // namespace
} // namespace kdisk
