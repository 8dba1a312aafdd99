#pragma once
// A one-line editable text: placeholder, font, colours, border style or
// background image, left and right views, text insets, return-key type, and
// a delegate that may veto beginning, each change, ending and return. Keyboard
// input arrives through the responder chain while it is first responder; the
// keyboard notifications go out when the first text input takes focus and
// when the last one lets go. The caret stays at the end of the text.
// Main thread.
#include <memory>
#include <optional>
#include <string>

#include "graphics/TextLayout.h"
#include "graphics/UIFont.h"
#include "graphics/UIImage.h"
#include "uikit/UIControl.h"

namespace kdisk {

class UITextField;

inline constexpr const char* UIKeyboardWillShowNotification = "UIKeyboardWillShowNotification";
inline constexpr const char* UIKeyboardDidShowNotification = "UIKeyboardDidShowNotification";
inline constexpr const char* UIKeyboardWillHideNotification = "UIKeyboardWillHideNotification";
inline constexpr const char* UIKeyboardDidHideNotification = "UIKeyboardDidHideNotification";
// User info: the keyboard's final frame as {"x","y","width","height"}, and the duration.
inline constexpr const char* UIKeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";
inline constexpr const char* UIKeyboardAnimationDurationUserInfoKey = "UIKeyboardAnimationDurationUserInfoKey";
inline constexpr const char* UITextFieldTextDidBeginEditingNotification = "UITextFieldTextDidBeginEditingNotification";
inline constexpr const char* UITextFieldTextDidChangeNotification = "UITextFieldTextDidChangeNotification";
inline constexpr const char* UITextFieldTextDidEndEditingNotification = "UITextFieldTextDidEndEditingNotification";

enum class UITextBorderStyle { None, Line, Bezel, RoundedRect };
enum class UIReturnKeyType { Default, Go, Google, Join, Next, Route, Search, Send, Done, EmergencyCall };
enum class UIKeyboardType { Default, ASCIICapable, NumbersAndPunctuation, URL, NumberPad, EmailAddress };
enum class UITextFieldViewMode { Never, WhileEditing, UnlessEditing, Always };
enum class UITextAutocorrectionType { Default, No, Yes };
enum class UITextAutocapitalizationType { None, Words, Sentences, AllCharacters };

// A range of the text in bytes of its UTF-8 form.
struct NSRange {
  std::size_t location = 0;
  std::size_t length = 0;
  bool operator==(const NSRange&) const = default;
};

class UITextFieldDelegate {
 public:
  virtual ~UITextFieldDelegate() = default;
  virtual bool textFieldShouldBeginEditing(UITextField& field) { (void)field; return true; }
  virtual void textFieldDidBeginEditing(UITextField& field) { (void)field; }
  virtual bool textFieldShouldEndEditing(UITextField& field) { (void)field; return true; }
  virtual void textFieldDidEndEditing(UITextField& field) { (void)field; }
  virtual bool textFieldShouldChangeCharactersInRangeReplacementString(UITextField& field, NSRange range,
                                                                       const std::string& replacement) {
    (void)field, (void)range, (void)replacement;
    return true;
  }
  virtual bool textFieldShouldClear(UITextField& field) { (void)field; return true; }
  virtual bool textFieldShouldReturn(UITextField& field) { (void)field; return true; }
};

class UITextField : public UIControl {
 public:
  explicit UITextField(CGRect frame = CGRectZero);
  ~UITextField() override;

  const std::string& text() const { return m_text; }
  // Set by code: no delegate question, no change events.
  void setText(std::string text);
  const std::string& placeholder() const { return m_placeholder; }
  void setPlaceholder(std::string placeholder);
  const UIFont& font() const { return m_font; }
  void setFont(UIFont font);
  const UIColor& textColor() const { return m_textColor; }
  void setTextColor(UIColor color);
  NSTextAlignment textAlignment() const { return m_alignment; }
  void setTextAlignment(NSTextAlignment alignment);
  UITextBorderStyle borderStyle() const { return m_borderStyle; }
  void setBorderStyle(UITextBorderStyle style);
  const std::shared_ptr<UIImage>& background() const { return m_background; }
  void setBackground(std::shared_ptr<UIImage> image);
  const std::shared_ptr<UIImage>& disabledBackground() const { return m_disabledBackground; }
  void setDisabledBackground(std::shared_ptr<UIImage> image);
  // Extra room between the edges (or side views) and the text.
  UIEdgeInsets textInsets() const { return m_textInsets; }
  void setTextInsets(UIEdgeInsets insets);
  const std::shared_ptr<UIView>& leftView() const { return m_leftView; }
  void setLeftView(std::shared_ptr<UIView> view);
  UITextFieldViewMode leftViewMode() const { return m_leftViewMode; }
  void setLeftViewMode(UITextFieldViewMode mode);
  const std::shared_ptr<UIView>& rightView() const { return m_rightView; }
  void setRightView(std::shared_ptr<UIView> view);
  UITextFieldViewMode rightViewMode() const { return m_rightViewMode; }
  void setRightViewMode(UITextFieldViewMode mode);
  UITextFieldViewMode clearButtonMode() const { return m_clearButtonMode; }
  void setClearButtonMode(UITextFieldViewMode mode) { m_clearButtonMode = mode; }
  UIReturnKeyType returnKeyType() const { return m_returnKeyType; }
  void setReturnKeyType(UIReturnKeyType type) { m_returnKeyType = type; }
  UIKeyboardType keyboardType() const { return m_keyboardType; }
  void setKeyboardType(UIKeyboardType type) { m_keyboardType = type; }
  bool isSecureTextEntry() const { return m_secure; }
  void setSecureTextEntry(bool secure);
  UITextAutocorrectionType autocorrectionType() const { return m_autocorrection; }
  void setAutocorrectionType(UITextAutocorrectionType type) { m_autocorrection = type; }
  UITextAutocapitalizationType autocapitalizationType() const { return m_autocapitalization; }
  void setAutocapitalizationType(UITextAutocapitalizationType type) { m_autocapitalization = type; }
  bool clearsOnBeginEditing() const { return m_clearsOnBeginEditing; }
  void setClearsOnBeginEditing(bool clears) { m_clearsOnBeginEditing = clears; }

  std::shared_ptr<UITextFieldDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<UITextFieldDelegate> delegate) { m_delegate = std::move(delegate); }
  bool isEditing() const { return m_editing; }

  // The rectangles the text and placeholder are drawn in.
  virtual CGRect textRectForBounds(CGRect bounds) const;
  virtual CGRect placeholderRectForBounds(CGRect bounds) const { return textRectForBounds(bounds); }

  bool canBecomeFirstResponder() const override { return isEnabled(); }
  bool becomeFirstResponder() override;
  bool canResignFirstResponder() const override;
  bool resignFirstResponder() override;
  bool requiresKeyboard() const override { return true; }
  void insertText(std::string_view text) override;
  void deleteBackward() override;
  void returnKeyPressed() override;
  // Replaces a range as typing would: asks the delegate, then changes and reports.
  bool replaceRangeWithText(NSRange range, const std::string& replacement);

  void touchesEnded(const UITouchSet& touches) override;
  void layoutSubviews() override;
  void drawRect(cairo_t* context, CGRect rect) override;
  std::optional<std::string> accessibilityLabel() const override;

  static CGRect keyboardFrame();
  static bool isKeyboardVisible();

 private:
  bool showsView(UITextFieldViewMode mode) const;
  void postKeyboard(const char* will, const char* did);
  std::string m_text;
  std::string m_placeholder;
  UIFont m_font = UIFont::systemFontOfSize(17);
  UIColor m_textColor = UIColor::blackColor();
  NSTextAlignment m_alignment = NSTextAlignment::Left;
  UITextBorderStyle m_borderStyle = UITextBorderStyle::None;
  std::shared_ptr<UIImage> m_background;
  std::shared_ptr<UIImage> m_disabledBackground;
  UIEdgeInsets m_textInsets;
  std::shared_ptr<UIView> m_leftView;
  std::shared_ptr<UIView> m_rightView;
  UITextFieldViewMode m_leftViewMode = UITextFieldViewMode::Never;
  UITextFieldViewMode m_rightViewMode = UITextFieldViewMode::Never;
  UITextFieldViewMode m_clearButtonMode = UITextFieldViewMode::Never;
  UIReturnKeyType m_returnKeyType = UIReturnKeyType::Default;
  UIKeyboardType m_keyboardType = UIKeyboardType::Default;
  bool m_secure = false;
  UITextAutocorrectionType m_autocorrection = UITextAutocorrectionType::Default;
  UITextAutocapitalizationType m_autocapitalization = UITextAutocapitalizationType::Sentences;
  bool m_clearsOnBeginEditing = false;
  bool m_editing = false;
  std::weak_ptr<UITextFieldDelegate> m_delegate;
};

}  // namespace kdisk
