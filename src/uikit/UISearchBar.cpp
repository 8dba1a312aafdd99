#include "uikit/UISearchBar.h"

#include "uikit/CALayer.h"
#include "uikit/CGContext.h"
#include "uikit/UISearchDisplayController.h"

namespace kdisk {

namespace {
constexpr CGFloat kCancelWidth = 60;
constexpr CGFloat kMargin = 8;
}  // namespace

UISearchBar::UISearchBar(CGRect frame) : UIView(frame) {
  setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  m_field = std::make_shared<UITextField>();
  m_field->setBorderStyle(UITextBorderStyle::RoundedRect);
  m_field->setFont(UIFont::systemFontOfSize(14));
  m_field->setReturnKeyType(UIReturnKeyType::Search);
  m_icon = std::make_shared<UIImageView>(CGRectMake(0, 0, 24, 20));
  m_icon->setContentMode(UIViewContentMode::Center);
  addSubview(m_field);
  m_cancelButton = UIButton::buttonWithType(UIButtonType::Custom);
  m_cancelButton->setTitleForState("Cancel", UIControlStateNormal);
  m_cancelButton->titleLabel().setFont(UIFont::boldSystemFontOfSize(12));
  m_cancelButton->layer().setCornerRadius(5);
  m_cancelButton->setBackgroundColor(UIColor::colorWithWhiteAlpha(0, 0.25));
  // Actions reach the bar through its own address: the field and button die with it.
  m_field->addActionForControlEvents([this](UIControl&) {
    if (m_displayController) m_displayController->searchBarTextDidBeginEditing();
    if (auto delegate = m_delegate.lock()) delegate->searchBarTextDidBeginEditing(*this);
  }, UIControlEventEditingDidBegin);
  m_field->addActionForControlEvents([this](UIControl&) {
    const std::string current = m_field->text();
    if (m_displayController) m_displayController->searchBarTextDidChange(current);
    if (auto delegate = m_delegate.lock()) delegate->searchBarTextDidChange(*this, current);
  }, UIControlEventEditingChanged);
  m_field->addActionForControlEvents([this](UIControl&) {
    if (auto delegate = m_delegate.lock()) delegate->searchBarTextDidEndEditing(*this);
  }, UIControlEventEditingDidEnd);
  m_field->addActionForControlEvents([this](UIControl&) {
    if (auto delegate = m_delegate.lock()) delegate->searchBarSearchButtonClicked(*this);
  }, UIControlEventEditingDidEndOnExit);
  m_cancelButton->addActionForControlEvents([this](UIControl&) {
    auto keepAlive = shared_from_this();
    if (auto delegate = m_delegate.lock()) delegate->searchBarCancelButtonClicked(*this);
    if (m_displayController) m_displayController->searchBarCancelButtonClicked();
  }, UIControlEventTouchUpInside);
}

void UISearchBar::setText(std::string text) {
  m_field->setText(std::move(text));
}

void UISearchBar::setBarStyle(UIBarStyle style) {
  m_barStyle = style;
  setNeedsDisplay();
}
void UISearchBar::setTintColor(std::optional<UIColor> color) {
  m_tintColor = std::move(color);
  setNeedsDisplay();
}
void UISearchBar::setBackgroundImage(std::shared_ptr<UIImage> image) {
  m_backgroundImage = std::move(image);
  setNeedsDisplay();
}

void UISearchBar::setSearchFieldBackgroundImageForState(std::shared_ptr<UIImage> image, unsigned state) {
  m_fieldBackgrounds[state] = std::move(image);
  refreshFieldLooks();
}
std::shared_ptr<UIImage> UISearchBar::searchFieldBackgroundImageForState(unsigned state) const {
  auto found = m_fieldBackgrounds.find(state);
  return found == m_fieldBackgrounds.end() ? nullptr : found->second;
}
void UISearchBar::setImageForSearchBarIconState(std::shared_ptr<UIImage> image, UISearchBarIcon icon, unsigned state) {
  m_icons[{icon, state}] = std::move(image);
  refreshFieldLooks();
}
std::shared_ptr<UIImage> UISearchBar::imageForSearchBarIconState(UISearchBarIcon icon, unsigned state) const {
  auto found = m_icons.find({icon, state});
  return found == m_icons.end() ? nullptr : found->second;
}

void UISearchBar::refreshFieldLooks() {
  if (auto normal = searchFieldBackgroundImageForState(UIControlStateNormal)) {
    m_field->setBorderStyle(UITextBorderStyle::None);
    m_field->setBackground(normal);
    m_field->setDisabledBackground(searchFieldBackgroundImageForState(UIControlStateDisabled));
  }
  if (auto icon = imageForSearchBarIconState(UISearchBarIcon::Search, UIControlStateNormal)) {
    m_icon->setImage(icon);
    m_field->setLeftView(m_icon);
    m_field->setLeftViewMode(UITextFieldViewMode::Always);
  }
}

void UISearchBar::setShowsCancelButtonAnimated(bool shows, KMAnimated animated) {
  if (m_showsCancelButton == shows) return;
  m_showsCancelButton = shows;
  if (shows) addSubview(m_cancelButton);
  UIView::animateWithDurationAnimationsCompletion(
      isAnimated(animated) ? 0.2 : 0,
      [this] {
        setNeedsLayout();
        layoutIfNeeded();
      },
      [weak = weak_from_this()](bool) {
        auto strong = weak.lock();
        auto* bar = static_cast<UISearchBar*>(strong.get());
        if (bar && !bar->m_showsCancelButton) bar->m_cancelButton->removeFromSuperview();
      });
  if (!shows && !isAnimated(animated)) m_cancelButton->removeFromSuperview();
}

void UISearchBar::layoutSubviews() {
  const CGRect b = bounds();
  const CGFloat cancel = m_showsCancelButton ? kCancelWidth + kMargin : 0;
  m_field->setFrame(CGRectMake(kMargin, 7, b.size.width - 2 * kMargin - cancel, 30));
  m_cancelButton->setFrame(CGRectMake(b.size.width - kMargin - kCancelWidth, 7, kCancelWidth, 30));
}

void UISearchBar::drawRect(cairo_t* context, CGRect rect) {
  if (m_backgroundImage) {
    m_backgroundImage->drawInRect(context, rect);
    return;
  }
  const UIColor tint = m_barStyle != UIBarStyle::Default ? UIColor::colorWithWhiteAlpha(0.15, 1)
                                                         : m_tintColor.value_or(UIColor::colorWithRGB255(180, 190, 200));
  CGContextFillRect(context, rect, tint);
  CGContextFillRect(context, CGRectMake(0, CGRectGetMaxY(rect) - 1, rect.size.width, 1),
                    UIColor::colorWithWhiteAlpha(0, 0.3));
}

}  // namespace kdisk
