#include "screens/browsing/KMTableViewMessageFooter.h"

#include <algorithm>
#include <cmath>

namespace kdisk {

KMTableViewMessageFooter::KMTableViewMessageFooter(CGRect frame) : UIView(frame) {
  setBackgroundColor(UIColor::clearColor());
  setOpaque(false);
  m_label = std::make_shared<UILabel>(CGRectZero);
  m_label->setBackgroundColor(UIColor::clearColor());
  m_label->setOpaque(false);
  m_label->setTextAlignment(NSTextAlignment::Center);
  m_label->setNumberOfLines(1);
  m_label->setFont(UIFont::boldSystemFontOfSize(17));
  m_label->setAdjustsFontSizeToFitWidth(true);
  m_label->setMinimumFontSize(10);
  m_label->setTextColor(UIColor::colorWithRGB255(140, 145, 167));
  m_label->setShadowColor(UIColor::whiteColor());
  m_label->setShadowOffset(CGSizeMake(0, 1));
  m_label->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  m_activityIndicator = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyle::Gray);
  m_activityIndicator->setHidesWhenStopped(true);
  addSubview(m_label);
  addSubview(m_activityIndicator);
}

void KMTableViewMessageFooter::setText(const std::optional<std::string>& text) {
  m_label->setText(text.value_or(std::string()));
  setNeedsLayout();
}

void KMTableViewMessageFooter::layoutSubviews() {
  const CGRect b = bounds();
  m_label->setFrame(CGRectInset(b, kLabelInset, kLabelInset));
  // The text as drawn, shrunk to fit, no wider than the label.
  const CGSize fitted = m_label->sizeThatFits(m_label->bounds().size);
  const CGFloat textWidth = std::min(fitted.width, m_label->bounds().size.width);
  const CGSize indicator = m_activityIndicator->bounds().size;
  const CGFloat x = std::floor((b.size.width - textWidth) / 2 - indicator.width - kIndicatorSpacing);
  m_activityIndicator->setFrame(
      CGRectMake(x, std::round((b.size.height - indicator.height) / 2), indicator.width, indicator.height));
}

}  // namespace kdisk
