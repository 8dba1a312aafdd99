#pragma once
// One or more lines of text in a font and colour, with an optional shadow,
// alignment, truncation and shrinking to fit one line. Not interactive.
// Main thread.
#include <memory>
#include <optional>
#include <string>

#include "graphics/TextLayout.h"
#include "graphics/UIFont.h"
#include "uikit/UIView.h"

namespace kdisk {

class UILabel : public UIView {
 public:
  explicit UILabel(CGRect frame = CGRectZero);
  ~UILabel() override;

  const std::string& text() const { return m_text; }
  void setText(std::string text);
  const UIFont& font() const { return m_font; }
  void setFont(UIFont font);
  const UIColor& textColor() const { return m_textColor; }
  void setTextColor(UIColor color);
  const std::optional<UIColor>& highlightedTextColor() const { return m_highlightedTextColor; }
  void setHighlightedTextColor(std::optional<UIColor> color);
  bool isHighlighted() const { return m_highlighted; }
  void setHighlighted(bool highlighted);
  bool isEnabled() const { return m_enabled; }
  void setEnabled(bool enabled);
  const std::optional<UIColor>& shadowColor() const { return m_shadowColor; }
  void setShadowColor(std::optional<UIColor> color);
  CGSize shadowOffset() const { return m_shadowOffset; }
  void setShadowOffset(CGSize offset);
  NSTextAlignment textAlignment() const { return m_alignment; }
  void setTextAlignment(NSTextAlignment alignment);
  // 0: as many as needed.
  int numberOfLines() const { return m_numberOfLines; }
  void setNumberOfLines(int lines);
  NSLineBreakMode lineBreakMode() const { return m_lineBreakMode; }
  void setLineBreakMode(NSLineBreakMode mode);
  bool adjustsFontSizeToFitWidth() const { return m_adjustsFontSizeToFitWidth; }
  void setAdjustsFontSizeToFitWidth(bool adjusts);
  CGFloat minimumFontSize() const { return m_minimumFontSize; }
  void setMinimumFontSize(CGFloat size);

  // The font drawing uses now (smaller when shrinking to fit).
  UIFont effectiveFont() const;
  CGSize sizeThatFits(CGSize size) const override;
  // Where the text sits inside the bounds: vertically centred.
  CGRect textRectForBounds(CGRect bounds) const;
  void drawRect(cairo_t* context, CGRect rect) override;
  std::optional<std::string> accessibilityLabel() const override;

 private:
  const TextLayout& layout(const UIFont& font, CGFloat width) const;
  void invalidate();
  std::string m_text;
  UIFont m_font = UIFont::systemFontOfSize(17);
  UIColor m_textColor = UIColor::blackColor();
  std::optional<UIColor> m_highlightedTextColor;
  bool m_highlighted = false;
  bool m_enabled = true;
  std::optional<UIColor> m_shadowColor;
  CGSize m_shadowOffset = {0, -1};
  NSTextAlignment m_alignment = NSTextAlignment::Left;
  int m_numberOfLines = 1;
  NSLineBreakMode m_lineBreakMode = NSLineBreakMode::TruncatingTail;
  bool m_adjustsFontSizeToFitWidth = false;
  CGFloat m_minimumFontSize = 0;
  // Laid-out text kept between frames; rebuilt when text, font or width change.
  mutable std::unique_ptr<TextLayout> m_layout;
  mutable UIFont m_layoutFont = UIFont::systemFontOfSize(17);
  mutable CGFloat m_layoutWidth = -1;
};

}  // namespace kdisk
