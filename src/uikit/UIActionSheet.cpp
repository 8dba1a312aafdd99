#include "uikit/UIActionSheet.h"

#include "uikit/CALayer.h"
#include "uikit/CGContext.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"

namespace kdisk {

namespace {
constexpr CGFloat kMargin = 20;
constexpr CGFloat kButtonHeight = 44;
constexpr CGFloat kGap = 8;
constexpr double kSlideDuration = 0.3;
}  // namespace

UIActionSheet::UIActionSheet(std::string title, std::weak_ptr<UIActionSheetDelegate> delegate,
                             std::optional<std::string> cancelButtonTitle,
                             std::optional<std::string> destructiveButtonTitle,
                             std::vector<std::string> otherButtonTitles)
    : KMAlertPanel(std::move(title)), m_delegate(std::move(delegate)) {
  if (destructiveButtonTitle) setDestructiveButtonIndex(addButtonWithTitle(*destructiveButtonTitle));
  for (auto& other : otherButtonTitles) addButtonWithTitle(std::move(other));
  if (cancelButtonTitle) setCancelButtonIndex(addButtonWithTitle(*cancelButtonTitle));
}

void UIActionSheet::buildContent(CGRect windowBounds) {
  const CGFloat width = windowBounds.size.width;
  CGFloat y = 14;
  if (!title().empty()) {
    auto label = std::make_shared<UILabel>();
    label->setText(title());
    label->setFont(UIFont::systemFontOfSize(14));
    label->setTextColor(UIColor::whiteColor());
    label->setTextAlignment(NSTextAlignment::Center);
    label->setNumberOfLines(0);
    const CGSize size = label->sizeThatFits({width - 2 * kMargin, 0});
    label->setFrame(CGRectMake(kMargin, y, width - 2 * kMargin, size.height));
    addSubview(label);
    y += size.height + 12;
  }
  for (int index = 0; index < numberOfButtons(); ++index) {
    // The cancel button stands apart from the others.
    if (index == cancelButtonIndex() && index > 0) y += 6;
    auto button = makeButton(index);
    button->titleLabel().setFont(UIFont::boldSystemFontOfSize(19));
    button->layer().setCornerRadius(8);
    button->setBackgroundColor(index == destructiveButtonIndex() ? UIColor::colorWithRGB255(200, 32, 32)
                               : index == cancelButtonIndex()    ? UIColor::colorWithRGB255(40, 40, 40)
                                                                 : UIColor::colorWithRGB255(230, 230, 230));
    if (index != destructiveButtonIndex() && index != cancelButtonIndex())
      button->setTitleColorForState(UIColor::blackColor(), UIControlStateNormal);
    button->setFrame(CGRectMake(kMargin, y, width - 2 * kMargin, kButtonHeight));
    addSubview(button);
    y += kButtonHeight + kGap;
  }
  y += kMargin - kGap;
  m_restingFrame = CGRectMake(0, windowBounds.size.height - y, width, y);
  setFrame(m_restingFrame);
}

void UIActionSheet::drawRect(cairo_t* context, CGRect rect) {
  CGContextFillRect(context, rect, UIColor::colorWithWhiteAlpha(0.05, 0.9));
  CGContextFillRect(context, CGRectMake(0, 0, rect.size.width, 1), UIColor::colorWithWhiteAlpha(1, 0.3));
}

void UIActionSheet::animateIn(KMAnimated animated) {
  if (!isAnimated(animated)) return;
  setFrame(CGRectOffset(m_restingFrame, 0, m_restingFrame.size.height));
  overlay()->setAlpha(1);
  UIView::animateWithDurationAnimations(kSlideDuration, [this] { setFrame(m_restingFrame); });
}

void UIActionSheet::animateOut(KMAnimated animated, std::function<void()> done) {
  if (!isAnimated(animated)) {
    done();
    return;
  }
  UIView::animateWithDurationAnimationsCompletion(
      kSlideDuration, [this] { setFrame(CGRectOffset(m_restingFrame, 0, m_restingFrame.size.height)); },
      [done](bool) { done(); });
}

void UIActionSheet::willPresent() {
  if (auto delegate = m_delegate.lock()) delegate->willPresentActionSheet(*this);
}
void UIActionSheet::didPresent() {
  if (auto delegate = m_delegate.lock()) delegate->didPresentActionSheet(*this);
}
void UIActionSheet::clickedButtonAtIndex(int index) {
  if (auto delegate = m_delegate.lock()) delegate->actionSheetClickedButtonAtIndex(*this, index);
}
void UIActionSheet::willDismissWithButtonIndex(int index) {
  if (auto delegate = m_delegate.lock()) delegate->actionSheetWillDismissWithButtonIndex(*this, index);
}
void UIActionSheet::didDismissWithButtonIndex(int index) {
  if (auto delegate = m_delegate.lock()) delegate->actionSheetDidDismissWithButtonIndex(*this, index);
}

}  // namespace kdisk
