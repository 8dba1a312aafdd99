#pragma once
// The "shrink the font until the text fits" searches of the labels: one
// point at a time from the font's own size down to a floor.

#include <string_view>

#include "graphics/CGGeometry.h"
#include "graphics/UIFont.h"

namespace kdisk {

// Wrapped at `box.width`: the first size, going down from `font`'s, whose
// wrapped height is at most `box.height`; `smallestSize` when none fits.
UIFont KMFontFittingWrappedText(std::string_view text, const UIFont& font, CGSize box,
                                CGFloat smallestSize);

// On one line: the first size whose width is at most `width`, not below
// `minimumSize` (the text is then truncated by whoever draws it).
UIFont KMFontFittingSingleLine(std::string_view text, const UIFont& font, CGFloat width,
                               CGFloat minimumSize);

} // namespace kdisk
