#pragma once
// Measuring and drawing a text in a font, the way labels and cells need it.
// Same thread rules as TextLayout.

#include <string_view>

#include "graphics/CGGeometry.h"
#include "graphics/TextLayout.h"
#include "graphics/UIFont.h"

namespace kdisk {

// One line per paragraph, no wrapping.
CGSize sizeWithFont(std::string_view text, const UIFont& font);
// Wrapped (or truncated) to the constraint's width; the height is at most the
// constraint's, in whole lines.
CGSize sizeWithFontConstrainedToSizeLineBreakMode(std::string_view text, const UIFont& font,
                                                  CGSize constraint, NSLineBreakMode mode);

// With the context's current source. Returns the size drawn.
CGSize drawAtPointWithFont(cairo_t* context, std::string_view text, CGPoint point,
                           const UIFont& font);
// Wrapped to the rectangle's width; lines below its bottom are left out.
CGSize drawInRectWithFontLineBreakModeAlignment(cairo_t* context, std::string_view text,
                                                CGRect rect, const UIFont& font,
                                                NSLineBreakMode mode, NSTextAlignment alignment);

} // namespace kdisk
