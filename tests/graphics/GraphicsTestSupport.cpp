#include "GraphicsTestSupport.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "graphics/UIImageRepresentation.h"

namespace kdisk::testing {

std::shared_ptr<UIImage> makeImage(int width, int height, double scale,
                                   const PixelFunction& pixel) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
    for (int x = 0; x < width; ++x) {
      const KMPixel p = pixel(x, y);
      const auto pre = [&](std::uint8_t c) -> std::uint32_t { return (c * p.alpha + 127) / 255; };
      row[x] =
          (std::uint32_t{p.alpha} << 24) | (pre(p.red) << 16) | (pre(p.green) << 8) | pre(p.blue);
    }
  }
  cairo_surface_mark_dirty(surface);
  return UIImage::imageWithSurface(surface, scale, "test image");
}

std::shared_ptr<UIImage> makeSolidImage(int width, int height, double scale, KMPixel colour) {
  return makeImage(width, height, scale, [&](int, int) { return colour; });
}

void writeBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream stream(path, std::ios::binary);
  stream.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void writePNG(const UIImage& image, const std::string& path) {
  const auto bytes = UIImagePNGRepresentation(&image);
  ASSERT_TRUE(bytes.has_value());
  writeBytes(path, *bytes);
}

std::string builtImagesDirectory() {
  if (const char* resources = std::getenv("KDISK_RESOURCES_DIR")) {
    return std::string(resources) + "/images";
  }
  return std::string(KDISK_BINARY_DIR) + "/bin/resources/images";
}

} // namespace kdisk::testing
