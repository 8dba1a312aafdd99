#include "graphics/ImageScaling.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "graphics/UIImage.h"

namespace kdisk {

KMAspectFillGeometry KMAspectFillGeometryForSizes(int sourceWidth, int sourceHeight,
                                                  int targetWidth, int targetHeight) {
  KMAspectFillGeometry geometry;
  if (sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) {
    return geometry;
  }
  const double factor =
      std::max(double(targetWidth) / sourceWidth, double(targetHeight) / sourceHeight);
  geometry.scaledWidth = std::max(targetWidth, int(std::lround(sourceWidth * factor)));
  geometry.scaledHeight = std::max(targetHeight, int(std::lround(sourceHeight * factor)));
  geometry.cropX = int(std::lround((geometry.scaledWidth - targetWidth) / 2.0));
  geometry.cropY = int(std::lround((geometry.scaledHeight - targetHeight) / 2.0));
  return geometry;
}

std::shared_ptr<UIImage> KMImageByScalingToFillAndCropping(const UIImage* image, int targetWidth,
                                                           int targetHeight, double resultScale) {
  if (!image || targetWidth <= 0 || targetHeight <= 0)
    return nullptr;
  targetWidth = std::min(targetWidth, UIImage::kMaximumPixelDimension);
  targetHeight = std::min(targetHeight, UIImage::kMaximumPixelDimension);
  const KMAspectFillGeometry geometry = KMAspectFillGeometryForSizes(
      image->pixelWidth(), image->pixelHeight(), targetWidth, targetHeight);
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, targetWidth, targetHeight);
  cairo_t* context = cairo_create(surface);
  cairo_translate(context, -geometry.cropX, -geometry.cropY);
  cairo_scale(context, double(geometry.scaledWidth) / image->pixelWidth(),
              double(geometry.scaledHeight) / image->pixelHeight());
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(image->cairoSurface());
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_BEST);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_set_source(context, pattern);
  cairo_rectangle(context, 0, 0, image->pixelWidth(), image->pixelHeight());
  cairo_fill(context);
  cairo_pattern_destroy(pattern);
  cairo_destroy(context);
  return UIImage::imageWithSurface(surface, resultScale, image->name());
}

} // namespace kdisk
