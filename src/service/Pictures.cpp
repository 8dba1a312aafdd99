#include "service/Pictures.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <utility>

#include "platform/GLibOwners.h"

namespace kdisk::service {

namespace {
using Pixbuf = glib::Object<GdkPixbuf>;

// Decoding is bounded: a tiny file can still claim a huge canvas.
constexpr int kLargestSide = 16384;
constexpr std::uintmax_t kLargestPictureFile = 64ULL << 20;
} // namespace

PreviewOutcome makeJpegPreview(const std::filesystem::path& picture, int edge, std::string& jpeg) {
  static const std::set<std::string> stillFormats = {"jpeg", "png", "gif", "bmp", "tiff", "ico"};
  std::error_code ec;
  if (std::filesystem::file_size(picture, ec) > kLargestPictureFile || ec)
    return PreviewOutcome::NotPicture;
  int width = 0, height = 0;
  GdkPixbufFormat* format = gdk_pixbuf_get_file_info(picture.c_str(), &width, &height);
  if (!format) return PreviewOutcome::NotPicture;
  const glib::Text name(gdk_pixbuf_format_get_name(format));
  bool still = name && stillFormats.count(name.get());
  if (!still || width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide)
    return PreviewOutcome::NotPicture;

  // Fit into edge x edge; never enlarge.
  double scale = std::min(1.0, std::min(double(edge) / width, double(edge) / height));
  int targetWidth = std::max(1, int(std::lround(width * scale)));
  int targetHeight = std::max(1, int(std::lround(height * scale)));
  GError* error = nullptr;
  Pixbuf scaled(gdk_pixbuf_new_from_file_at_scale(picture.c_str(), targetWidth, targetHeight, TRUE,
                                                  &error));
  const glib::Error scaleFailure(std::exchange(error, nullptr));
  if (!scaled) return PreviewOutcome::NotPicture;
  Pixbuf flat;
  GdkPixbuf* source = scaled.get();
  if (gdk_pixbuf_get_has_alpha(source)) {
    // JPEG has no alpha: lay the picture over white.
    flat.reset(gdk_pixbuf_composite_color_simple(source, gdk_pixbuf_get_width(source),
                                                 gdk_pixbuf_get_height(source),
                                                 GDK_INTERP_BILINEAR, 255, 8, 0xffffff, 0xffffff));
    source = flat.get();
  }
  gchar* buffer = nullptr;
  gsize size = 0;
  const bool saved = source && gdk_pixbuf_save_to_buffer(source, &buffer, &size, "jpeg", &error,
                                                         "quality", "85", nullptr);
  const glib::Text owned(buffer);
  const glib::Error failure(error);
  if (!saved)
    return PreviewOutcome::NotPicture;
  jpeg.assign(owned.get(), size);
  return PreviewOutcome::Made;
}

bool writeDemoPicture(const std::filesystem::path& path, int width, int height, unsigned seed,
                      const char* format) {
  Pixbuf pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height));
  if (!pixbuf) return false;
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf.get());
  int stride = gdk_pixbuf_get_rowstride(pixbuf.get());
  double hue = (seed % 360) / 360.0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double u = double(x) / width, v = double(y) / height;
      double ring = std::sin((u - 0.5) * (u - 0.5) * 40 + (v - 0.4) * (v - 0.4) * 40 + seed);
      guchar* pixel = pixels + y * stride + x * 3;
      pixel[0] = guchar(255 * std::clamp(0.5 + 0.5 * std::sin(6.28 * (hue + u)), 0.0, 1.0));
      pixel[1] = guchar(255 * std::clamp(0.3 + 0.6 * v + 0.1 * ring, 0.0, 1.0));
      pixel[2] = guchar(255 * std::clamp(0.5 + 0.5 * std::cos(6.28 * (hue + v)), 0.0, 1.0));
    }
  }
  GError* error = nullptr;
  bool saved = gdk_pixbuf_save(pixbuf.get(), path.c_str(), format, &error, nullptr);
  const glib::Error failure(error);
  return saved;
}

} // namespace kdisk::service
