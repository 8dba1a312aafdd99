#include "uikit/UILabel.h"

#include <algorithm>
#include <cmath>

#include "graphics/FontFitting.h"

namespace kdisk {

UILabel::UILabel(CGRect frame) : UIView(frame) {
  setUserInteractionEnabled(false);
  setOpaque(false);
}

UILabel::~UILabel() = default;

void UILabel::invalidate() {
  m_layout.reset();
  setNeedsDisplay();
}

void UILabel::setText(std::string text) {
  if (m_text == text) return;
  m_text = std::move(text);
  invalidate();
}
void UILabel::setFont(UIFont font) {
  m_font = std::move(font);
  invalidate();
}
void UILabel::setTextColor(UIColor color) {
  m_textColor = std::move(color);
  setNeedsDisplay();
}
void UILabel::setHighlightedTextColor(std::optional<UIColor> color) {
  m_highlightedTextColor = std::move(color);
  setNeedsDisplay();
}
void UILabel::setHighlighted(bool highlighted) {
  m_highlighted = highlighted;
  setNeedsDisplay();
}
void UILabel::setEnabled(bool enabled) {
  m_enabled = enabled;
  setNeedsDisplay();
}
void UILabel::setShadowColor(std::optional<UIColor> color) {
  m_shadowColor = std::move(color);
  setNeedsDisplay();
}
void UILabel::setShadowOffset(CGSize offset) {
  m_shadowOffset = offset;
  setNeedsDisplay();
}
void UILabel::setTextAlignment(NSTextAlignment alignment) {
  m_alignment = alignment;
  invalidate();
}
void UILabel::setNumberOfLines(int lines) {
  m_numberOfLines = std::max(0, lines);
  invalidate();
}
void UILabel::setLineBreakMode(NSLineBreakMode mode) {
  m_lineBreakMode = mode;
  invalidate();
}
void UILabel::setAdjustsFontSizeToFitWidth(bool adjusts) {
  m_adjustsFontSizeToFitWidth = adjusts;
  invalidate();
}
void UILabel::setMinimumFontSize(CGFloat size) {
  m_minimumFontSize = size;
  invalidate();
}

UIFont UILabel::effectiveFont() const {
  if (m_adjustsFontSizeToFitWidth && m_numberOfLines == 1 && !m_text.empty())
    return KMFontFittingSingleLine(m_text, m_font, bounds().size.width,
                                   m_minimumFontSize > 0 ? m_minimumFontSize : m_font.pointSize());
  return m_font;
}

const TextLayout& UILabel::layout(const UIFont& font, CGFloat width) const {
  if (!m_layout || !(m_layoutFont == font) || m_layoutWidth != width) {
    m_layout = std::make_unique<TextLayout>(m_text, font);
    if (width >= 0) m_layout->setWidth(width);
    const bool singleLine = m_numberOfLines == 1;
    NSLineBreakMode mode = m_lineBreakMode;
    // Several lines wrap at words and truncate only the last one shown.
    if (!singleLine && mode != NSLineBreakMode::CharacterWrap) mode = NSLineBreakMode::WordWrap;
    m_layout->setLineBreakMode(mode);
    m_layout->setNumberOfLines(m_numberOfLines);
    m_layout->setTextAlignment(m_alignment);
    m_layoutFont = font;
    m_layoutWidth = width;
  }
  return *m_layout;
}

CGSize UILabel::sizeThatFits(CGSize size) const {
  if (m_text.empty()) return CGSizeZero;
  TextLayout measure(m_text, m_font);
  if (m_numberOfLines != 1 && size.width > 0) {
    measure.setWidth(size.width);
    measure.setLineBreakMode(NSLineBreakMode::WordWrap);
  }
  measure.setNumberOfLines(m_numberOfLines);
  return measure.size();
}

CGRect UILabel::textRectForBounds(CGRect bounds) const {
  if (m_text.empty()) return CGRectMake(bounds.origin.x, CGRectGetMidY(bounds), 0, 0);
  const UIFont font = effectiveFont();
  const CGSize size = layout(font, bounds.size.width).size();
  // Centred vertically; text taller than the bounds starts at the top.
  const CGFloat y = size.height < bounds.size.height
                        ? bounds.origin.y + std::floor((bounds.size.height - size.height) / 2)
                        : bounds.origin.y;
  return CGRectMake(bounds.origin.x, y, bounds.size.width, size.height);
}

void UILabel::drawRect(cairo_t* context, CGRect rect) {
  if (m_text.empty()) return;
  const UIFont font = effectiveFont();
  const TextLayout& text = layout(font, rect.size.width);
  const CGRect textRect = textRectForBounds(rect);
  if (m_shadowColor && m_shadowColor->alpha() > 0) {
    m_shadowColor->setFill(context);
    text.drawAtPoint(context, {textRect.origin.x + m_shadowOffset.width,
                               textRect.origin.y + m_shadowOffset.height});
  }
  UIColor color = m_highlighted && m_highlightedTextColor ? *m_highlightedTextColor : m_textColor;
  if (!m_enabled) color = color.colorWithAlphaComponent(color.alpha() * 0.44);
  color.setFill(context);
  text.drawAtPoint(context, textRect.origin);
}

std::optional<std::string> UILabel::accessibilityLabel() const {
  if (m_text.empty()) return std::nullopt;
  return m_text;
}

}  // namespace kdisk
