#pragma once
// One block of text laid out with Pango: measured and drawn at the same
// geometry whatever the screen scale (metrics are not hinted). Lives on the
// thread that made it; each thread measures with its own Pango context.

#include <memory>
#include <string_view>

#include "graphics/CGGeometry.h"
#include "graphics/UIFont.h"

typedef struct _cairo cairo_t;

namespace kdisk {

enum class NSLineBreakMode {
  WordWrap,
  CharacterWrap,
  Clip,
  TruncatingHead,
  TruncatingTail,
  TruncatingMiddle,
};

enum class NSTextAlignment { Left, Center, Right };

struct KMFontMetrics {
  CGFloat ascender = 0;  // above the baseline, positive
  CGFloat descender = 0; // below the baseline, positive
  CGFloat lineHeight = 0;
};

class TextLayout {
public:
  TextLayout(std::string_view text, const UIFont& font);
  ~TextLayout();
  TextLayout(const TextLayout&) = delete;
  TextLayout& operator=(const TextLayout&) = delete;

  // Without a width the text is one line per paragraph. Wrapping modes wrap at
  // the width; truncating modes keep one line and add an ellipsis.
  void setWidth(CGFloat width);
  void setLineBreakMode(NSLineBreakMode mode);
  void setTextAlignment(NSTextAlignment alignment);
  // 0 means as many as needed; otherwise the last line shown ends in an ellipsis.
  void setNumberOfLines(int lines);

  // The laid-out text's size in points, rounded up to whole points.
  CGSize size() const;
  int lineCount() const;
  // Distance from the top to the first baseline.
  CGFloat baseline() const;

  // Draws with the context's current source, the top left at `point`.
  void drawAtPoint(cairo_t* context, CGPoint point) const;

  static KMFontMetrics fontMetrics(const UIFont& font);

private:
  struct Implementation;
  std::unique_ptr<Implementation> m_implementation;
};

} // namespace kdisk
