#include "uikit/KMTextPopupView.h"

#include <algorithm>
#include <cmath>

#include "graphics/NSStringDrawing.h"
#include "uikit/CALayer.h"

namespace kdisk {

KMTextPopupView::KMTextPopupView(CGRect frame) : UIView(frame) {
  setUserInteractionEnabled(false);
  setBackgroundColor(UIColor::colorWithWhiteAlpha(0, 0.6));
  layer().setCornerRadius(8);
  setOpaque(false);
  setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  m_label = std::make_shared<UILabel>(CGRectInset(bounds(), kLabelInset, kLabelInset));
  m_label->setTextColor(UIColor::whiteColor());
  m_label->setFont(UIFont::boldSystemFontOfSize(14));
  m_label->setTextAlignment(NSTextAlignment::Center);
  m_label->setNumberOfLines(0);
  m_label->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  addSubview(m_label);
}

CGSize KMTextPopupView::sizeThatFits(CGSize size) const {
  (void)size;
  const auto& text = m_label->text();
  const UIFont& font = m_label->font();
  CGSize textSize = sizeWithFontConstrainedToSizeLineBreakMode(text, font, {kWrapWidth, 100000},
                                                               NSLineBreakMode::WordWrap);
  // A text that needs more than one line takes the whole wrapping width,
  // whatever the length of its longest line.
  if (sizeWithFont(text, font).width > kWrapWidth) textSize.width = kWrapWidth;
  return {std::ceil(textSize.width) + 2 * kLabelInset, std::ceil(textSize.height) + 2 * kLabelInset};
}

}  // namespace kdisk
