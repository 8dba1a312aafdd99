#include "graphics/KAThumbnail.h"

#include "graphics/CGGeometry.h"
#include "graphics/CairoOwners.h"
#include "graphics/ImageScaling.h"
#include "graphics/PixelFormat.h"
#include "graphics/Screen.h"
#include "graphics/UIGraphicsImageContext.h"
#include "graphics/UIImage.h"
#include "platform/Log.h"

namespace kdisk {
namespace {

auto log() {
  return logger("KAThumbnail", LogLevel::Warning);
}

// Coverage 0…255 that a mask pixel lets through.
std::uint32_t coverage(KMPixel mask) {
  const std::uint32_t luminance = (299 * mask.red + 587 * mask.green + 114 * mask.blue) / 1000;
  return (255 - luminance) * mask.alpha / 255;
}

} // namespace

std::shared_ptr<UIImage> KAImageWithMask(const UIImage* image, const UIImage* mask) {
  if (!image || !mask)
    return nullptr;
  const int width = image->pixelWidth();
  const int height = image->pixelHeight();

  // The mask at the image's pixel size.
  const cairo::Surface scaledMask(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  {
    const cairo::Context context(cairo_create(scaledMask.get()));
    cairo_scale(context.get(), double(width) / mask->pixelWidth(),
                double(height) / mask->pixelHeight());
    cairo_set_source_surface(context.get(), mask->cairoSurface(), 0, 0);
    cairo_pattern_set_extend(cairo_get_source(context.get()), CAIRO_EXTEND_PAD);
    cairo_paint(context.get());
  }
  cairo_surface_flush(scaledMask.get());

  cairo::Surface result(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  cairo_surface_flush(result.get());
  const unsigned char* maskData = cairo_image_surface_get_data(scaledMask.get());
  const int maskStride = cairo_image_surface_get_stride(scaledMask.get());
  const unsigned char* imageData = cairo_image_surface_get_data(image->cairoSurface());
  const int imageStride = cairo_image_surface_get_stride(image->cairoSurface());
  unsigned char* resultData = cairo_image_surface_get_data(result.get());
  const int resultStride = cairo_image_surface_get_stride(result.get());
  for (int y = 0; y < height; ++y) {
    const auto* maskRow = reinterpret_cast<const std::uint32_t*>(maskData + y * maskStride);
    const auto* imageRow = reinterpret_cast<const std::uint32_t*>(imageData + y * imageStride);
    auto* resultRow = reinterpret_cast<std::uint32_t*>(resultData + y * resultStride);
    for (int x = 0; x < width; ++x) {
      const std::uint32_t cover = coverage(KMPixelFromPremultipliedWord(maskRow[x]));
      const std::uint32_t word = imageRow[x];
      std::uint32_t masked = 0;
      // Premultiplied, so every channel scales alike.
      for (int shift = 0; shift < 32; shift += 8) {
        masked |= ((((word >> shift) & 0xff) * cover + 127) / 255) << shift;
      }
      resultRow[x] = masked;
    }
  }
  cairo_surface_mark_dirty(result.get());
  return UIImage::imageWithSurface(result.release(), mainScreenScale(), image->name());
}

std::shared_ptr<UIImage> KAImageWithBorder(const std::shared_ptr<UIImage>& image,
                                           const UIImage* border) {
  if (!image || !border)
    return image;
  UIGraphicsImageContext canvas(image->size(), KMImageContextOpacity::Transparent);
  const CGRect bounds{CGPointZero, image->size()};
  image->drawInRect(canvas.context(), bounds);
  border->drawInRect(canvas.context(), bounds);
  return canvas.image();
}

std::shared_ptr<UIImage> KAThumbnailForImage(const UIImage* image, const UIImage* mask,
                                             const UIImage* border) {
  if (!image)
    return nullptr;
  if (!mask) {
    log()->warn("KAThumbnailForImage: no mask for '{}'", image->name());
    return nullptr;
  }
  const double scale = mainScreenScale();
  const int side = int(mask->size().width * scale);
  auto square = KMImageByScalingToFillAndCropping(image, side, side, scale);
  if (!square)
    return nullptr;
  return KAImageWithBorder(KAImageWithMask(square.get(), mask), border);
}

std::shared_ptr<UIImage> KADiskThumbnailForImage(const UIImage* image) {
  const auto mask = UIImage::imageNamed("preview_mask");
  const auto border = UIImage::imageNamed("preview_border");
  return KAThumbnailForImage(image, mask.get(), border.get());
}

} // namespace kdisk
