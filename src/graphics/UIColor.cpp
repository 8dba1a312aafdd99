#include "graphics/UIColor.h"

#include <algorithm>

#include "graphics/CairoOwners.h"
#include "graphics/UIImage.h"

namespace kdisk {
namespace {
double unit(double component) {
  return std::clamp(component, 0.0, 1.0);
}
} // namespace

UIColor UIColor::colorWithRedGreenBlueAlpha(double red, double green, double blue, double alpha) {
  UIColor color;
  color.m_red = unit(red);
  color.m_green = unit(green);
  color.m_blue = unit(blue);
  color.m_alpha = unit(alpha);
  return color;
}

UIColor UIColor::colorWithRGB255(int red, int green, int blue, double alpha) {
  return colorWithRedGreenBlueAlpha(red / 255.0, green / 255.0, blue / 255.0, alpha);
}

UIColor UIColor::colorWithWhiteAlpha(double white, double alpha) {
  return colorWithRedGreenBlueAlpha(white, white, white, alpha);
}

UIColor UIColor::colorWithPatternImage(std::shared_ptr<const UIImage> image) {
  UIColor color;
  if (!image)
    return clearColor();
  color.m_patternImage = std::move(image);
  return color;
}

UIColor UIColor::colorWithAlphaComponent(double alpha) const {
  UIColor color = *this;
  color.m_alpha = unit(alpha);
  return color;
}

void UIColor::setFill(cairo_t* context) const {
  if (!m_patternImage) {
    cairo_set_source_rgba(context, m_red, m_green, m_blue, m_alpha);
    return;
  }
  const cairo::Pattern pattern(cairo_pattern_create_for_surface(m_patternImage->cairoSurface()));
  cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
  cairo_matrix_t matrix;
  cairo_matrix_init_scale(&matrix, m_patternImage->scale(), m_patternImage->scale());
  cairo_pattern_set_matrix(pattern.get(), &matrix);
  cairo_set_source(context, pattern.get());
}

bool UIColor::operator==(const UIColor& other) const {
  return m_red == other.m_red && m_green == other.m_green && m_blue == other.m_blue &&
         m_alpha == other.m_alpha && m_patternImage == other.m_patternImage;
}

} // namespace kdisk
