#include "uikit/UIAlertView.h"

#include <cmath>

#include "uikit/CALayer.h"
#include "uikit/CGContext.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"

namespace kdisk {

namespace {
constexpr CGFloat kWidth = 284;
constexpr CGFloat kPadding = 11;
constexpr CGFloat kButtonHeight = 43;
}  // namespace

UIAlertView::UIAlertView(std::string title, std::string message, std::weak_ptr<UIAlertViewDelegate> delegate,
                         std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles)
    : KMAlertPanel(std::move(title)), m_message(std::move(message)), m_delegate(std::move(delegate)) {
  if (cancelButtonTitle) setCancelButtonIndex(addButtonWithTitle(*cancelButtonTitle));
  for (auto& other : otherButtonTitles) addButtonWithTitle(std::move(other));
  setOpaque(false);
}

void UIAlertView::buildContent(CGRect windowBounds) {
  const CGFloat textWidth = kWidth - 2 * kPadding;
  CGFloat y = 18;
  auto addLabel = [&](const std::string& text, UIFont font) {
    if (text.empty()) return;
    auto label = std::make_shared<UILabel>();
    label->setText(text);
    label->setFont(font);
    label->setTextColor(UIColor::whiteColor());
    label->setShadowColor(UIColor::colorWithWhiteAlpha(0, 0.5));
    label->setTextAlignment(NSTextAlignment::Center);
    label->setNumberOfLines(0);
    const CGSize size = label->sizeThatFits({textWidth, 0});
    label->setFrame(CGRectMake(kPadding, y, textWidth, size.height));
    addSubview(label);
    y += size.height + 8;
  };
  addLabel(title(), UIFont::boldSystemFontOfSize(18));
  addLabel(m_message, UIFont::systemFontOfSize(16));
  y += 6;
  const int count = numberOfButtons();
  auto style = [&](UIButton& button, int index) {
    button.titleLabel().setFont(UIFont::boldSystemFontOfSize(index == cancelButtonIndex() ? 18 : 17));
    button.layer().setCornerRadius(6);
    button.setBackgroundColor(index == cancelButtonIndex() ? UIColor::colorWithRGB255(70, 82, 118)
                                                           : UIColor::colorWithRGB255(98, 114, 155));
  };
  if (count == 2) {
    const CGFloat width = (textWidth - 10) / 2;
    for (int i = 0; i < 2; ++i) {
      auto button = makeButton(i);
      style(*button, i);
      button->setFrame(CGRectMake(kPadding + i * (width + 10), y, width, kButtonHeight));
      addSubview(button);
    }
    y += kButtonHeight + kPadding;
  } else {
    // Stacked; the cancel button goes last, as on the platform.
    std::vector<int> order;
    for (int i = 0; i < count; ++i)
      if (i != cancelButtonIndex()) order.push_back(i);
    if (cancelButtonIndex() >= 0) order.push_back(cancelButtonIndex());
    for (int index : order) {
      auto button = makeButton(index);
      style(*button, index);
      button->setFrame(CGRectMake(kPadding, y, textWidth, kButtonHeight));
      addSubview(button);
      y += kButtonHeight + 8;
    }
    y += kPadding - 8;
  }
  setFrame(CGRectMake(std::round((windowBounds.size.width - kWidth) / 2),
                      std::round((windowBounds.size.height - y) / 2), kWidth, y));
}

void UIAlertView::drawRect(cairo_t* context, CGRect rect) {
  const CGRect body = CGRectInset(rect, 1, 1);
  CGContextFillRoundedRect(context, body, 10, UIColor::colorWithRedGreenBlueAlpha(0.02, 0.07, 0.27, 0.88));
  CGContextStrokeRoundedRect(context, body, 10, 2, UIColor::colorWithWhiteAlpha(1, 0.85));
}

void UIAlertView::willPresent() {
  if (auto delegate = m_delegate.lock()) delegate->willPresentAlertView(*this);
}
void UIAlertView::didPresent() {
  if (auto delegate = m_delegate.lock()) delegate->didPresentAlertView(*this);
}
void UIAlertView::clickedButtonAtIndex(int index) {
  if (auto delegate = m_delegate.lock()) delegate->alertViewClickedButtonAtIndex(*this, index);
}
void UIAlertView::willDismissWithButtonIndex(int index) {
  if (auto delegate = m_delegate.lock()) delegate->alertViewWillDismissWithButtonIndex(*this, index);
}
void UIAlertView::didDismissWithButtonIndex(int index) {
  if (auto delegate = m_delegate.lock()) delegate->alertViewDidDismissWithButtonIndex(*this, index);
}

}  // namespace kdisk
