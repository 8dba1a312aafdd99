#include "screens/settings/KAWizardPageViewController.h"

#include <algorithm>
#include <cmath>

#include "graphics/UIImage.h"

namespace kdisk {

namespace {
constexpr CGFloat kImageTop = 24;
constexpr CGFloat kGap = 14;
const UIColor kTitleColor = UIColor::colorWithRGB255(45, 62, 78);
const UIColor kTextColor = UIColor::colorWithRGB255(84, 98, 110);
}  // namespace

void KAWizardPageViewController::loadView() {
  auto root = std::make_shared<UIView>(CGRectMake(0, 0, 320, 416));
  root->setBackgroundColor(UIColor::clearColor());
  root->setOpaque(false);
  const CGFloat width = root->bounds().size.width;
  m_imageView = std::make_shared<UIImageView>(CGRectMake(0, kImageTop, width, 0));
  m_imageView->setContentMode(UIViewContentMode::Center);
  m_imageView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  root->addSubview(m_imageView);
  auto label = [&](UIFont font, UIColor color) {
    auto made = std::make_shared<UILabel>();
    made->setFont(font);
    made->setTextColor(color);
    made->setBackgroundColor(UIColor::clearColor());
    made->setTextAlignment(NSTextAlignment::Center);
    made->setNumberOfLines(0);
    made->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    root->addSubview(made);
    return made;
  };
  m_titleLabel = label(UIFont::boldSystemFontOfSize(kTitleFontSize), kTitleColor);
  m_textLabel = label(UIFont::systemFontOfSize(kTextFontSize), kTextColor);
  setView(root);
}

void KAWizardPageViewController::setImageName(const std::string& name) {
  view();
  auto image = name.empty() ? nullptr : UIImage::imageNamed(name);
  m_imageView->setImage(image);
  const CGFloat height = image ? image->size().height : 0;
  m_imageView->setFrame(CGRectMake(0, kImageTop, view()->bounds().size.width, height));
  updateLabelTextLayout();
}

void KAWizardPageViewController::setTitleText(const std::string& text) {
  view();
  m_titleText = text;
  m_titleLabel->setText(text);
  updateLabelTextLayout();
}

void KAWizardPageViewController::setText(const std::string& text) {
  view();
  m_text = text;
  m_textLabel->setText(text);
  updateLabelTextLayout();
}

void KAWizardPageViewController::updateLabelTextLayout() {
  const CGFloat width = view()->bounds().size.width - 2 * kSide;
  const CGRect image = m_imageView->frame();
  // Without a picture the texts sit a quarter down the page, not under an empty space.
  CGFloat y = image.size.height > 0 ? CGRectGetMaxY(image) + kGap * 2 : std::floor(view()->bounds().size.height / 4);
  const CGSize title = m_titleLabel->sizeThatFits({width, 0});
  m_titleLabel->setFrame(CGRectMake(kSide, y, width, title.height));
  y += title.height + kGap;
  const CGSize text = m_textLabel->sizeThatFits({width, 0});
  m_textLabel->setFrame(CGRectMake(kSide, y, width, text.height));
}

CGFloat KAWizardPageViewController::textBottom() const { return CGRectGetMaxY(m_textLabel->frame()); }

}  // namespace kdisk
