#include "uikit/UITextField.h"

#include <cmath>

#include "graphics/NSStringDrawing.h"
#include "platform/NotificationCenter.h"
#include "uikit/CGContext.h"
#include "uikit/UIScreen.h"

namespace kdisk {

namespace {
bool g_keyboardVisible = false;
constexpr CGFloat kKeyboardHeight = 216;
constexpr double kKeyboardDuration = 0.25;

// Length in bytes of the last UTF-8 character of `text`.
std::size_t lastCharacterLength(const std::string& text) {
  if (text.empty()) return 0;
  std::size_t start = text.size() - 1;
  while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
  return text.size() - start;
}

std::size_t characterCount(const std::string& text) {
  std::size_t count = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++count;
  return count;
}
}  // namespace

CGRect UITextField::keyboardFrame() {
  const CGRect screen = UIScreen::mainScreen().bounds();
  return CGRectMake(0, screen.size.height - kKeyboardHeight, screen.size.width, kKeyboardHeight);
}
bool UITextField::isKeyboardVisible() { return g_keyboardVisible; }

UITextField::UITextField(CGRect frame) : UIControl(frame) {
  setOpaque(false);
  setContentVerticalAlignment(UIControlContentVerticalAlignment::Center);
}

UITextField::~UITextField() {
  // A field destroyed while editing takes its keyboard with it.
  if (m_editing) g_keyboardVisible = false;
}

void UITextField::setText(std::string text) {
  m_text = std::move(text);
  setNeedsDisplay();
}
void UITextField::setPlaceholder(std::string placeholder) {
  m_placeholder = std::move(placeholder);
  setNeedsDisplay();
}
void UITextField::setFont(UIFont font) {
  m_font = std::move(font);
  setNeedsDisplay();
}
void UITextField::setTextColor(UIColor color) {
  m_textColor = std::move(color);
  setNeedsDisplay();
}
void UITextField::setTextAlignment(NSTextAlignment alignment) {
  m_alignment = alignment;
  setNeedsDisplay();
}
void UITextField::setBorderStyle(UITextBorderStyle style) {
  m_borderStyle = style;
  setNeedsDisplay();
}
void UITextField::setBackground(std::shared_ptr<UIImage> image) {
  m_background = std::move(image);
  setNeedsDisplay();
}
void UITextField::setDisabledBackground(std::shared_ptr<UIImage> image) {
  m_disabledBackground = std::move(image);
  setNeedsDisplay();
}
void UITextField::setTextInsets(UIEdgeInsets insets) {
  m_textInsets = insets;
  setNeedsDisplay();
}
void UITextField::setLeftView(std::shared_ptr<UIView> view) {
  if (m_leftView) m_leftView->removeFromSuperview();
  m_leftView = std::move(view);
  setNeedsLayout();
}
void UITextField::setLeftViewMode(UITextFieldViewMode mode) {
  m_leftViewMode = mode;
  setNeedsLayout();
}
void UITextField::setRightView(std::shared_ptr<UIView> view) {
  if (m_rightView) m_rightView->removeFromSuperview();
  m_rightView = std::move(view);
  setNeedsLayout();
}
void UITextField::setRightViewMode(UITextFieldViewMode mode) {
  m_rightViewMode = mode;
  setNeedsLayout();
}
void UITextField::setSecureTextEntry(bool secure) {
  m_secure = secure;
  setNeedsDisplay();
}

bool UITextField::showsView(UITextFieldViewMode mode) const {
  switch (mode) {
    case UITextFieldViewMode::Never: return false;
    case UITextFieldViewMode::Always: return true;
    case UITextFieldViewMode::WhileEditing: return m_editing;
    case UITextFieldViewMode::UnlessEditing: return !m_editing;
  }
  return false;
}

CGRect UITextField::textRectForBounds(CGRect bounds) const {
  CGFloat left = m_borderStyle == UITextBorderStyle::None ? 0 : 7;
  CGFloat right = left;
  if (m_leftView && showsView(m_leftViewMode)) left = m_leftView->frame().size.width;
  if (m_rightView && showsView(m_rightViewMode)) right = m_rightView->frame().size.width;
  return UIEdgeInsetsInsetRect(bounds, UIEdgeInsetsMake(m_textInsets.top, left + m_textInsets.left,
                                                        m_textInsets.bottom, right + m_textInsets.right));
}

void UITextField::layoutSubviews() {
  const CGRect b = bounds();
  if (m_leftView) {
    if (showsView(m_leftViewMode)) {
      const CGSize size = m_leftView->frame().size;
      m_leftView->setFrame(CGRectMake(0, std::round((b.size.height - size.height) / 2), size.width, size.height));
      if (m_leftView->superview() != this) addSubview(m_leftView);
    } else {
      m_leftView->removeFromSuperview();
    }
  }
  if (m_rightView) {
    if (showsView(m_rightViewMode)) {
      const CGSize size = m_rightView->frame().size;
      m_rightView->setFrame(CGRectMake(b.size.width - size.width, std::round((b.size.height - size.height) / 2),
                                       size.width, size.height));
      if (m_rightView->superview() != this) addSubview(m_rightView);
    } else {
      m_rightView->removeFromSuperview();
    }
  }
}

void UITextField::postKeyboard(const char* will, const char* did) {
  const CGRect frame = keyboardFrame();
  Dictionary info{{UIKeyboardFrameEndUserInfoKey,
                   Dictionary{{"x", frame.origin.x}, {"y", frame.origin.y},
                              {"width", frame.size.width}, {"height", frame.size.height}}},
                  {UIKeyboardAnimationDurationUserInfoKey, kKeyboardDuration}};
  NotificationCenter::defaultCenter().post(will, nullptr, info);
  NotificationCenter::defaultCenter().post(did, nullptr, info);
}

bool UITextField::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (!canBecomeFirstResponder()) return false;
  auto keepAlive = shared_from_this();
  if (auto delegate = m_delegate.lock(); delegate && !delegate->textFieldShouldBeginEditing(*this)) return false;
  if (!UIControl::becomeFirstResponder()) return false;
  m_editing = true;
  if (m_clearsOnBeginEditing) m_text.clear();
  setNeedsLayout();
  setNeedsDisplay();
  if (!g_keyboardVisible) {
    g_keyboardVisible = true;
    postKeyboard(UIKeyboardWillShowNotification, UIKeyboardDidShowNotification);
  }
  if (auto delegate = m_delegate.lock()) delegate->textFieldDidBeginEditing(*this);
  sendActionsForControlEvents(UIControlEventEditingDidBegin);
  NotificationCenter::defaultCenter().post(UITextFieldTextDidBeginEditingNotification, this);
  return true;
}

bool UITextField::canResignFirstResponder() const {
  auto delegate = m_delegate.lock();
  return !delegate || delegate->textFieldShouldEndEditing(const_cast<UITextField&>(*this));
}

bool UITextField::resignFirstResponder() {
  if (!isFirstResponder()) return true;
  auto keepAlive = shared_from_this();
  if (!UIControl::resignFirstResponder()) return false;
  m_editing = false;
  setNeedsLayout();
  setNeedsDisplay();
  if (auto delegate = m_delegate.lock()) delegate->textFieldDidEndEditing(*this);
  sendActionsForControlEvents(UIControlEventEditingDidEnd);
  NotificationCenter::defaultCenter().post(UITextFieldTextDidEndEditingNotification, this);
  // The keyboard stays for a text input taking over.
  auto* next = UIResponder::responderTakingOver();
  if (g_keyboardVisible && !(next && next->requiresKeyboard())) {
    g_keyboardVisible = false;
    postKeyboard(UIKeyboardWillHideNotification, UIKeyboardDidHideNotification);
  }
  return true;
}

bool UITextField::replaceRangeWithText(NSRange range, const std::string& replacement) {
  if (range.location > m_text.size()) return false;
  range.length = std::min(range.length, m_text.size() - range.location);
  auto keepAlive = shared_from_this();
  if (auto delegate = m_delegate.lock();
      delegate && !delegate->textFieldShouldChangeCharactersInRangeReplacementString(*this, range, replacement))
    return false;
  m_text.replace(range.location, range.length, replacement);
  setNeedsDisplay();
  sendActionsForControlEvents(UIControlEventEditingChanged);
  NotificationCenter::defaultCenter().post(UITextFieldTextDidChangeNotification, this);
  return true;
}

// A field disabled while editing keeps the focus (and so the keyboard) but
// takes no input until enabled again.
void UITextField::insertText(std::string_view text) {
  if (!m_editing || !isEnabled()) return;
  replaceRangeWithText({m_text.size(), 0}, std::string(text));
}

void UITextField::deleteBackward() {
  if (!m_editing || !isEnabled() || m_text.empty()) return;
  const std::size_t length = lastCharacterLength(m_text);
  replaceRangeWithText({m_text.size() - length, length}, "");
}

void UITextField::returnKeyPressed() {
  if (!m_editing || !isEnabled()) return;
  auto keepAlive = shared_from_this();
  auto delegate = m_delegate.lock();
  if (delegate && !delegate->textFieldShouldReturn(*this)) return;
  sendActionsForControlEvents(UIControlEventEditingDidEndOnExit);
}

void UITextField::touchesEnded(const UITouchSet& touches) {
  const bool inside = isTracking() && isTouchInside(*touches.front());
  UIControl::touchesEnded(touches);
  if (inside && isEnabled()) becomeFirstResponder();
}

void UITextField::drawRect(cairo_t* context, CGRect rect) {
  const auto& background = !isEnabled() && m_disabledBackground ? m_disabledBackground : m_background;
  if (background) {
    background->drawInRect(context, rect);
  } else {
    switch (m_borderStyle) {
      case UITextBorderStyle::None: break;
      case UITextBorderStyle::Line:
        CGContextStrokeRect(context, rect, 1, UIColor::blackColor());
        break;
      case UITextBorderStyle::Bezel:
        CGContextFillRect(context, rect, UIColor::whiteColor());
        CGContextStrokeRect(context, rect, 1, UIColor::grayColor());
        break;
      case UITextBorderStyle::RoundedRect:
        CGContextFillRoundedRect(context, rect, 6, UIColor::whiteColor());
        CGContextStrokeRoundedRect(context, rect, 6, 1, UIColor::colorWithWhiteAlpha(0.6, 1));
        break;
    }
  }
  const CGRect textRect = textRectForBounds(rect);
  const bool showPlaceholder = m_text.empty();
  std::string drawn = showPlaceholder ? m_placeholder : m_text;
  if (m_secure && !showPlaceholder) {
    drawn.clear();
    for (std::size_t i = 0; i < characterCount(m_text); ++i) drawn += "\u2022";
  }
  const CGFloat lineHeight = m_font.lineHeight();
  const CGRect line = CGRectMake(textRect.origin.x, textRect.origin.y + std::round((textRect.size.height - lineHeight) / 2),
                                 textRect.size.width, lineHeight + 1);
  (showPlaceholder ? UIColor::colorWithWhiteAlpha(0.7, 1) : m_textColor).setFill(context);
  if (!drawn.empty())
    drawInRectWithFontLineBreakModeAlignment(context, drawn, line, m_font, NSLineBreakMode::Clip, m_alignment);
  if (m_editing) {
    const CGFloat width = showPlaceholder ? 0 : sizeWithFont(drawn, m_font).width;
    const CGFloat x = std::min(line.origin.x + width + 1, CGRectGetMaxX(textRect) - 1);
    CGContextFillRect(context, CGRectMake(x, line.origin.y, 2, lineHeight), UIColor::colorWithRGB255(66, 107, 242));
  }
}

std::optional<std::string> UITextField::accessibilityLabel() const {
  if (!m_text.empty()) return m_secure ? std::nullopt : std::optional(m_text);
  if (!m_placeholder.empty()) return m_placeholder;
  return std::nullopt;
}

}  // namespace kdisk
