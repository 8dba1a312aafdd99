#include "graphics/ImageScaling.h"

#include <algorithm>
#include <cmath>

#include "graphics/CairoOwners.h"
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
  cairo::Surface surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, targetWidth, targetHeight));
  {
    cairo::Context context(cairo_create(surface.get()));
    cairo_translate(context.get(), -geometry.cropX, -geometry.cropY);
    cairo_scale(context.get(), double(geometry.scaledWidth) / image->pixelWidth(),
                double(geometry.scaledHeight) / image->pixelHeight());
    cairo::Pattern pattern(cairo_pattern_create_for_surface(image->cairoSurface()));
    cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_BEST);
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
    cairo_set_source(context.get(), pattern.get());
    cairo_rectangle(context.get(), 0, 0, image->pixelWidth(), image->pixelHeight());
    cairo_fill(context.get());
  }
  return UIImage::imageWithSurface(surface.release(), resultScale, image->name());
}

} // namespace kdisk
