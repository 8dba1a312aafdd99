#include "uikit/KMBarButton.h"

#include <cmath>

#include "uikit/CGContext.h"

namespace kdisk {

KMBarButton::KMBarButton(std::shared_ptr<UIBarButtonItem> item, KMBarButtonKind kind,
                         UIBarMetrics metrics, std::optional<UIColor> barTint)
    : UIButton(UIButtonType::Custom), m_item(std::move(item)), m_kind(kind), m_metrics(metrics),
      m_barTint(std::move(barTint)) {
  titleLabel().setFont(UIFont::boldSystemFontOfSize(12));
  setTitleForState(m_item->title(), UIControlStateNormal);
  if (m_item->image()) setImageForState(m_item->image(), UIControlStateNormal);
  setTitleShadowColorForState(UIColor::colorWithWhiteAlpha(0, 0.5), UIControlStateNormal);
  for (unsigned state : {unsigned(UIControlStateNormal), unsigned(UIControlStateHighlighted),
                         unsigned(UIControlStateDisabled)}) {
    auto image = kind == KMBarButtonKind::Back
                     ? m_item->backButtonBackgroundImageForStateBarMetrics(state, metrics)
                     : m_item->backgroundImageForStateBarMetrics(state, metrics);
    if (image && UIBarButtonItem::acceptsBackgroundImages()) {
      setBackgroundImageForState(image, state);
      m_hasBackgroundImage = true;
    }
    if (auto attributes = m_item->titleTextAttributesForState(state)) {
      if (attributes->textColor) setTitleColorForState(attributes->textColor, state);
      if (attributes->textShadowColor) setTitleShadowColorForState(attributes->textShadowColor, state);
      if (attributes->font && state == UIControlStateNormal) titleLabel().setFont(*attributes->font);
      if (attributes->textShadowOffset && state == UIControlStateNormal)
        titleLabel().setShadowOffset(*attributes->textShadowOffset);
    }
  }
  setEnabled(m_item->isEnabled());
  const CGFloat adjustment = m_item->backgroundVerticalPositionAdjustmentForBarMetrics(metrics);
  // Back buttons point left: their text sits right of the arrow.
  setContentEdgeInsets(kind == KMBarButtonKind::Back ? UIEdgeInsetsMake(adjustment, 15, -adjustment, 8)
                                                     : UIEdgeInsetsMake(adjustment, 9, -adjustment, 9));
  std::weak_ptr<UIBarButtonItem> weakItem = m_item;
  addActionForControlEvents(
      [weakItem](UIControl&) {
        if (auto item = weakItem.lock()) item->performAction();
      },
      UIControlEventTouchUpInside);
}

CGSize KMBarButton::sizeThatFits(CGSize size) const {
  CGSize fitted = UIButton::sizeThatFits(size);
  if (m_item->width() > 0) fitted.width = m_item->width();
  fitted.width = std::max<CGFloat>(fitted.width, m_kind == KMBarButtonKind::Back ? 50 : 30);
  fitted.height = kHeight;
  return fitted;
}

void KMBarButton::drawRect(cairo_t* context, CGRect rect) {
  const CGFloat adjustment = m_item->backgroundVerticalPositionAdjustmentForBarMetrics(m_metrics);
  if (m_hasBackgroundImage) {
    if (auto background = currentBackgroundImage())
      background->drawInRect(context, CGRectOffset(rect, 0, adjustment), isEnabled() ? 1.0 : 0.5);
    return;
  }
  if (m_item->style() == UIBarButtonItemStyle::Plain && m_kind != KMBarButtonKind::Back) return;
  UIColor tint = m_item->tintColor().value_or(
      m_barTint.value_or(UIColor::colorWithRGB255(110, 133, 162)));
  if (m_item->style() == UIBarButtonItemStyle::Done) tint = UIColor::colorWithRGB255(40, 100, 215);
  // A shade darker than the bar, darker still while pressed.
  const double shade = isHighlighted() ? 0.65 : 0.85;
  tint = UIColor::colorWithRedGreenBlueAlpha(tint.red() * shade, tint.green() * shade, tint.blue() * shade, 1);
  const CGRect body = CGRectInset(rect, 0.5, 0.5);
  if (m_kind == KMBarButtonKind::Back) {
    const CGFloat arrow = 12, r = 5;
    const CGFloat x = body.origin.x, y = body.origin.y, w = body.size.width, h = body.size.height;
    CGContextBeginPath(context);
    CGContextMoveToPoint(context, x, y + h / 2);
    CGContextAddLineToPoint(context, x + arrow, y);
    CGContextAddArc(context, x + w - r, y + r, r, -M_PI / 2, 0, KMArcDirection::Clockwise);
    CGContextAddArc(context, x + w - r, y + h - r, r, 0, M_PI / 2, KMArcDirection::Clockwise);
    CGContextAddLineToPoint(context, x + arrow, y + h);
    CGContextClosePath(context);
    CGContextFillPath(context, tint);
    CGContextBeginPath(context);
    CGContextMoveToPoint(context, x, y + h / 2);
    CGContextAddLineToPoint(context, x + arrow, y);
    CGContextAddArc(context, x + w - r, y + r, r, -M_PI / 2, 0, KMArcDirection::Clockwise);
    CGContextAddArc(context, x + w - r, y + h - r, r, 0, M_PI / 2, KMArcDirection::Clockwise);
    CGContextAddLineToPoint(context, x + arrow, y + h);
    CGContextClosePath(context);
    CGContextStrokePath(context, 1, UIColor::colorWithWhiteAlpha(0, 0.35));
    return;
  }
  CGContextFillRoundedRect(context, body, 5, tint);
  CGContextStrokeRoundedRect(context, body, 5, 1, UIColor::colorWithWhiteAlpha(0, 0.35));
}

}  // namespace kdisk
