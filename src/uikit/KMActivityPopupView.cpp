#include "uikit/KMActivityPopupView.h"

#include <cmath>

namespace kdisk {

KMActivityPopupView::KMActivityPopupView(CGRect frame) : KMTextPopupView(frame) {
  m_indicator = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyle::WhiteLarge);
  m_label->setAutoresizingMask(UIViewAutoresizingNone);
  addSubview(m_indicator);
  m_indicator->startAnimating();
  setNeedsLayout();
}

CGSize KMActivityPopupView::sizeThatFits(CGSize size) const {
  (void)size;
  return {150, 110};
}

void KMActivityPopupView::layoutSubviews() {
  const CGRect b = bounds();
  const CGSize indicator = m_indicator->frame().size;
  m_indicator->setFrame(CGRectMake(std::round((b.size.width - indicator.width) / 2), kIndicatorTop,
                                   indicator.width, indicator.height));
  const CGFloat top = kIndicatorTop + indicator.height;
  m_label->setFrame(CGRectMake(kLabelInset, top, b.size.width - 2 * kLabelInset, b.size.height - top));
}

}  // namespace kdisk
