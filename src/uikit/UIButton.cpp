#include "uikit/UIButton.h"

#include <cmath>

#include "uikit/CGContext.h"

namespace kdisk {

std::shared_ptr<UIButton> UIButton::buttonWithType(UIButtonType type) {
  return std::make_shared<UIButton>(type);
}

UIButton::UIButton(UIButtonType type, CGRect frame) : UIControl(frame), m_type(type) {
  setOpaque(false);
  m_titleLabel = std::make_shared<UILabel>();
  m_titleLabel->setTextAlignment(NSTextAlignment::Center);
  m_titleLabel->setLineBreakMode(NSLineBreakMode::TruncatingMiddle);
  m_imageView = std::make_shared<UIImageView>();
  if (type == UIButtonType::RoundedRect) {
    m_titleLabel->setFont(UIFont::boldSystemFontOfSize(15));
    m_titleColors[UIControlStateNormal] = UIColor::colorWithRGB255(50, 79, 133);
    m_titleColors[UIControlStateHighlighted] = UIColor::whiteColor();
  } else {
    m_titleLabel->setFont(UIFont::boldSystemFontOfSize(15));
    m_titleColors[UIControlStateNormal] = UIColor::whiteColor();
  }
  addSubview(m_imageView);
  addSubview(m_titleLabel);
}

template <typename T>
std::optional<T> UIButton::lookup(const std::map<unsigned, T>& values, unsigned state) {
  if (auto found = values.find(state); found != values.end()) return found->second;
  // Mixed states fall back through their single parts, then normal.
  for (unsigned part : {UIControlStateDisabled, UIControlStateHighlighted, UIControlStateSelected}) {
    if (!(state & part)) continue;
    if (auto found = values.find(part); found != values.end()) return found->second;
  }
  if (auto found = values.find(UIControlStateNormal); found != values.end()) return found->second;
  return std::nullopt;
}

void UIButton::setTitleForState(std::optional<std::string> title, unsigned state) {
  if (title)
    m_titles[state] = std::move(*title);
  else
    m_titles.erase(state);
  refreshContent();
}
std::optional<std::string> UIButton::titleForState(unsigned state) const { return lookup(m_titles, state); }

void UIButton::setTitleColorForState(std::optional<UIColor> color, unsigned state) {
  if (color)
    m_titleColors[state] = *color;
  else
    m_titleColors.erase(state);
  refreshContent();
}
std::optional<UIColor> UIButton::titleColorForState(unsigned state) const {
  return lookup(m_titleColors, state);
}

void UIButton::setTitleShadowColorForState(std::optional<UIColor> color, unsigned state) {
  if (color)
    m_titleShadowColors[state] = *color;
  else
    m_titleShadowColors.erase(state);
  refreshContent();
}
std::optional<UIColor> UIButton::titleShadowColorForState(unsigned state) const {
  return lookup(m_titleShadowColors, state);
}

void UIButton::setImageForState(std::shared_ptr<UIImage> image, unsigned state) {
  if (image)
    m_images[state] = std::move(image);
  else
    m_images.erase(state);
  refreshContent();
}
std::shared_ptr<UIImage> UIButton::imageForState(unsigned state) const {
  return lookup(m_images, state).value_or(nullptr);
}

void UIButton::setBackgroundImageForState(std::shared_ptr<UIImage> image, unsigned state) {
  if (image)
    m_backgroundImages[state] = std::move(image);
  else
    m_backgroundImages.erase(state);
  refreshContent();
}
std::shared_ptr<UIImage> UIButton::backgroundImageForState(unsigned state) const {
  return lookup(m_backgroundImages, state).value_or(nullptr);
}

void UIButton::setContentEdgeInsets(UIEdgeInsets insets) {
  m_contentEdgeInsets = insets;
  setNeedsLayout();
}
void UIButton::setTitleEdgeInsets(UIEdgeInsets insets) {
  m_titleEdgeInsets = insets;
  setNeedsLayout();
}
void UIButton::setImageEdgeInsets(UIEdgeInsets insets) {
  m_imageEdgeInsets = insets;
  setNeedsLayout();
}

void UIButton::refreshContent() {
  setNeedsLayout();
  setNeedsDisplay();
}

CGSize UIButton::sizeThatFits(CGSize size) const {
  (void)size;
  CGSize content = CGSizeZero;
  if (auto image = currentImage()) content = image->size();
  if (auto title = currentTitle(); title && !title->empty()) {
    UILabel measure;
    measure.setFont(m_titleLabel->font());
    measure.setText(*title);
    const CGSize text = measure.sizeThatFits(CGSizeZero);
    content.width += text.width;
    content.height = std::max(content.height, text.height);
  }
  if (auto background = currentBackgroundImage()) {
    content.width = std::max(content.width, background->size().width);
    content.height = std::max(content.height, background->size().height);
  }
  content.width += m_contentEdgeInsets.left + m_contentEdgeInsets.right;
  content.height += m_contentEdgeInsets.top + m_contentEdgeInsets.bottom;
  if (m_type == UIButtonType::RoundedRect) {
    content.width += 20;
    content.height = std::max<CGFloat>(content.height + 8, 37);
  }
  return content;
}

void UIButton::layoutSubviews() {
  const unsigned current = state();
  const auto title = titleForState(current);
  m_titleLabel->setText(title.value_or(""));
  m_titleLabel->setTextColor(titleColorForState(current).value_or(UIColor::whiteColor()));
  m_titleLabel->setShadowColor(titleShadowColorForState(current));
  auto image = imageForState(current);
  m_imageView->setImage(image);

  const CGRect content = UIEdgeInsetsInsetRect(bounds(), m_contentEdgeInsets);
  const CGSize imageSize = image ? image->size() : CGSizeZero;
  CGSize titleSize = title && !title->empty() ? m_titleLabel->sizeThatFits(CGSizeZero) : CGSizeZero;
  titleSize.width = std::min(titleSize.width, std::max<CGFloat>(0, content.size.width - imageSize.width));
  const CGFloat total = imageSize.width + titleSize.width;
  CGFloat x = content.origin.x;
  switch (contentHorizontalAlignment()) {
    case UIControlContentHorizontalAlignment::Center:
    case UIControlContentHorizontalAlignment::Fill:
      x = content.origin.x + std::round((content.size.width - total) / 2);
      break;
    case UIControlContentHorizontalAlignment::Left: break;
    case UIControlContentHorizontalAlignment::Right: x = CGRectGetMaxX(content) - total; break;
  }
  auto verticalOrigin = [&](CGFloat height) {
    switch (contentVerticalAlignment()) {
      case UIControlContentVerticalAlignment::Top: return content.origin.y;
      case UIControlContentVerticalAlignment::Bottom: return CGRectGetMaxY(content) - height;
      default: return content.origin.y + std::round((content.size.height - height) / 2);
    }
  };
  m_imageView->setFrame(UIEdgeInsetsInsetRect(
      CGRectMake(x, verticalOrigin(imageSize.height), imageSize.width, imageSize.height),
      m_imageEdgeInsets));
  m_titleLabel->setFrame(UIEdgeInsetsInsetRect(
      CGRectMake(x + imageSize.width, verticalOrigin(titleSize.height), titleSize.width,
                 titleSize.height),
      m_titleEdgeInsets));
}

void UIButton::drawRect(cairo_t* context, CGRect rect) {
  if (auto background = currentBackgroundImage()) {
    background->drawInRect(context, rect, isEnabled() ? 1.0 : 0.5);
  } else if (m_type == UIButtonType::RoundedRect) {
    const CGRect body = CGRectInset(rect, 0.5, 0.5);
    CGContextFillRoundedRect(context, body, 9,
                             isHighlighted() ? UIColor::colorWithRGB255(0x1a, 0x6c, 0xe5)
                                             : UIColor::whiteColor());
    CGContextStrokeRoundedRect(context, body, 9, 1, UIColor::colorWithRGB255(0x8a, 0x8f, 0x99));
  }
}

std::optional<std::string> UIButton::accessibilityLabel() const {
  auto title = currentTitle();
  if (!title || title->empty()) return std::nullopt;
  return title;
}

}  // namespace kdisk
