#include "graphics/NSStringDrawing.h"

#include <cmath>

namespace kdisk {
namespace {

// The whole lines of `layout` that fit `height`, at least one.
int linesFitting(const UIFont& font, CGFloat height) {
  const CGFloat lineHeight = font.lineHeight();
  if (lineHeight <= 0 || !std::isfinite(height))
    return 0;
  return std::max(1, int(std::floor(height / lineHeight + 1e-6)));
}

} // namespace

CGSize sizeWithFont(std::string_view text, const UIFont& font) {
  return TextLayout(text, font).size();
}

CGSize sizeWithFontConstrainedToSizeLineBreakMode(std::string_view text, const UIFont& font,
                                                  CGSize constraint, NSLineBreakMode mode) {
  TextLayout layout(text, font);
  layout.setLineBreakMode(mode);
  layout.setWidth(constraint.width);
  CGSize size = layout.size();
  if (size.height > constraint.height) {
    layout.setNumberOfLines(linesFitting(font, constraint.height));
    size = layout.size();
  }
  size.width = std::min(size.width, constraint.width);
  return size;
}

CGSize drawAtPointWithFont(cairo_t* context, std::string_view text, CGPoint point,
                           const UIFont& font) {
  TextLayout layout(text, font);
  layout.drawAtPoint(context, point);
  return layout.size();
}

CGSize drawInRectWithFontLineBreakModeAlignment(cairo_t* context, std::string_view text,
                                                CGRect rect, const UIFont& font,
                                                NSLineBreakMode mode, NSTextAlignment alignment) {
  TextLayout layout(text, font);
  layout.setLineBreakMode(mode);
  layout.setTextAlignment(alignment);
  layout.setWidth(rect.size.width);
  if (layout.size().height > rect.size.height) {
    layout.setNumberOfLines(linesFitting(font, rect.size.height));
  }
  layout.drawAtPoint(context, rect.origin);
  return layout.size();
}

} // namespace kdisk
