#include "graphics/FontFitting.h"

#include <cmath>

#include "graphics/TextLayout.h"

namespace kdisk {
namespace {

template <typename Fits> UIFont firstFitting(const UIFont& font, CGFloat smallestSize, Fits fits) {
  const CGFloat floor = std::min(smallestSize, font.pointSize());
  for (CGFloat size = font.pointSize(); size > floor; size -= 1) {
    const UIFont candidate = font.fontWithSize(size);
    if (fits(candidate))
      return candidate;
  }
  return font.fontWithSize(floor);
}

} // namespace

UIFont KMFontFittingWrappedText(std::string_view text, const UIFont& font, CGSize box,
                                CGFloat smallestSize) {
  return firstFitting(font, smallestSize, [&](const UIFont& candidate) {
    TextLayout layout(text, candidate);
    layout.setWidth(box.width);
    return layout.size().height <= box.height;
  });
}

UIFont KMFontFittingSingleLine(std::string_view text, const UIFont& font, CGFloat width,
                               CGFloat minimumSize) {
  return firstFitting(font, minimumSize, [&](const UIFont& candidate) {
    return TextLayout(text, candidate).size().width <= width;
  });
}

} // namespace kdisk
