#include "graphics/UIImageRepresentation.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "graphics/UIImage.h"
#include "platform/GLibOwners.h"
#include "platform/Log.h"

namespace kdisk {
namespace {

auto log() {
  return logger("UIImage", LogLevel::Warning);
}

enum class AlphaHandling { Keep, FlattenOnWhite };

glib::Object<GdkPixbuf> pixbufFromImage(const UIImage& image, AlphaHandling alpha) {
  const bool keepAlpha = alpha == AlphaHandling::Keep;
  glib::Object<GdkPixbuf> pixbuf(
      gdk_pixbuf_new(GDK_COLORSPACE_RGB, keepAlpha, 8, image.pixelWidth(), image.pixelHeight()));
  if (!pixbuf)
    return nullptr;
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf.get());
  const int stride = gdk_pixbuf_get_rowstride(pixbuf.get());
  const int channels = gdk_pixbuf_get_n_channels(pixbuf.get());
  for (int y = 0; y < image.pixelHeight(); ++y) {
    guchar* out = pixels + std::ptrdiff_t(y) * stride;
    for (int x = 0; x < image.pixelWidth(); ++x, out += channels) {
      const KMPixel pixel = image.pixelAt(x, y);
      if (keepAlpha) {
        out[0] = pixel.red, out[1] = pixel.green, out[2] = pixel.blue, out[3] = pixel.alpha;
        continue;
      }
      const auto over = [&](std::uint8_t component) {
        return guchar((component * pixel.alpha + 255 * (255 - pixel.alpha) + 127) / 255);
      };
      out[0] = over(pixel.red), out[1] = over(pixel.green), out[2] = over(pixel.blue);
    }
  }
  return pixbuf;
}

std::optional<Bytes> save(glib::Object<GdkPixbuf> pixbuf, const char* type, const char* key, const char* value,
                          const UIImage& image) {
  gchar* buffer = nullptr;
  gsize length = 0;
  GError* error = nullptr;
  const bool saved =
      gdk_pixbuf_save_to_buffer(pixbuf.get(), &buffer, &length, type, &error, key, value, nullptr);
  glib::Text owned(buffer);
  glib::Error failure(error);
  if (!saved) {
    log()->warn("UIImage: cannot encode '{}' as {}: {}", image.name(), type,
                failure ? failure->message : "unknown error");
    return std::nullopt;
  }
  return Bytes(reinterpret_cast<const std::uint8_t*>(buffer),
               reinterpret_cast<const std::uint8_t*>(buffer) + length);
}

} // namespace

std::optional<Bytes> UIImageJPEGRepresentation(const UIImage* image, double compressionQuality) {
  if (!image)
    return std::nullopt;
  auto pixbuf = pixbufFromImage(*image, AlphaHandling::FlattenOnWhite);
  if (!pixbuf)
    return std::nullopt;
  const double quality = std::isfinite(compressionQuality) ? compressionQuality : 1.0;
  const std::string percent = std::to_string(std::clamp(int(std::lround(quality * 100)), 1, 100));
  return save(std::move(pixbuf), "jpeg", "quality", percent.c_str(), *image);
}

std::optional<Bytes> UIImagePNGRepresentation(const UIImage* image) {
  if (!image)
    return std::nullopt;
  auto pixbuf = pixbufFromImage(*image, AlphaHandling::Keep);
  if (!pixbuf)
    return std::nullopt;
  return save(std::move(pixbuf), "png", nullptr, nullptr, *image);
}

} // namespace kdisk
