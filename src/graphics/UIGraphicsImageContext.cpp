#include "graphics/UIGraphicsImageContext.h"

#include <algorithm>
#include <cmath>

#include "graphics/CairoOwners.h"
#include "graphics/Screen.h"
#include "graphics/UIImage.h"

namespace kdisk {
namespace {
int pixelsFor(CGFloat points, double scale) {
  if (!(points > 0) || !std::isfinite(points))
    return 0;
  return int(std::min<double>(std::ceil(points * scale - 1e-9), UIImage::kMaximumPixelDimension));
}
} // namespace

UIGraphicsImageContext::UIGraphicsImageContext(CGSize size, KMImageContextOpacity opacity,
                                               double scale)
    : m_scale(scale > 0 ? scale : mainScreenScale()) {
  const int width = pixelsFor(size.width, m_scale);
  const int height = pixelsFor(size.height, m_scale);
  m_empty = width == 0 || height == 0;
  // A 1×1 stand-in keeps context() drawable even for a zero size.
  m_surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(width, 1), std::max(height, 1));
  m_context = cairo_create(m_surface);
  if (opacity == KMImageContextOpacity::Opaque) {
    cairo_set_source_rgb(m_context, 1, 1, 1);
    cairo_paint(m_context);
  }
  cairo_scale(m_context, m_scale, m_scale);
}

UIGraphicsImageContext::~UIGraphicsImageContext() {
  cairo_destroy(m_context);
  cairo_surface_destroy(m_surface);
}

std::shared_ptr<UIImage> UIGraphicsImageContext::image() const {
  if (m_empty)
    return nullptr;
  cairo_surface_flush(m_surface);
  const int width = cairo_image_surface_get_width(m_surface);
  const int height = cairo_image_surface_get_height(m_surface);
  cairo::Surface copy(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  {
    const cairo::Context context(cairo_create(copy.get()));
    cairo_set_operator(context.get(), CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(context.get(), m_surface, 0, 0);
    cairo_paint(context.get());
  }
  return UIImage::imageWithSurface(copy.release(), m_scale);
}

} // namespace kdisk
