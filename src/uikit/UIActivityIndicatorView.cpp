#include "uikit/UIActivityIndicatorView.h"

#include <cmath>

#include "uikit/CGContext.h"

namespace kdisk {

CGFloat UIActivityIndicatorView::sideForStyle(UIActivityIndicatorViewStyle style) {
  return style == UIActivityIndicatorViewStyle::WhiteLarge ? 37 : 20;
}

UIActivityIndicatorView::UIActivityIndicatorView(UIActivityIndicatorViewStyle style)
    : UIView(CGRectMake(0, 0, sideForStyle(style), sideForStyle(style))), m_style(style) {
  setUserInteractionEnabled(false);
  setOpaque(false);
  setHidden(true);
}

UIActivityIndicatorView::~UIActivityIndicatorView() {
  if (m_timer) RunLoop::main().cancel(m_timer);
}

void UIActivityIndicatorView::setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style) {
  m_style = style;
  CGRect frame = this->frame();
  const CGFloat side = sideForStyle(style);
  setFrame(KMRectCenteredInRect({side, side}, frame));
  setNeedsDisplay();
}

void UIActivityIndicatorView::startAnimating() {
  if (m_animating) return;
  m_animating = true;
  setHidden(false);
  std::weak_ptr<UIResponder> weak = weak_from_this();
  m_timer = RunLoop::main().scheduleRepeating(kStepInterval, [weak] {
    if (auto strong = weak.lock()) {
      auto* self = static_cast<UIActivityIndicatorView*>(strong.get());
      self->m_phase = (self->m_phase + 1) % 12;
      self->setNeedsDisplay();
    }
  });
}

void UIActivityIndicatorView::stopAnimating() {
  if (!m_animating) return;
  m_animating = false;
  RunLoop::main().cancel(m_timer);
  m_timer = 0;
  if (m_hidesWhenStopped) setHidden(true);
  setNeedsDisplay();
}

void UIActivityIndicatorView::setHidesWhenStopped(bool hides) {
  m_hidesWhenStopped = hides;
  if (!m_animating) setHidden(hides);
}

void UIActivityIndicatorView::setColor(std::optional<UIColor> color) {
  m_color = std::move(color);
  setNeedsDisplay();
}

CGSize UIActivityIndicatorView::sizeThatFits(CGSize size) const {
  (void)size;
  const CGFloat side = sideForStyle(m_style);
  return {side, side};
}

void UIActivityIndicatorView::drawRect(cairo_t* context, CGRect rect) {
  const UIColor base = m_color ? *m_color
                       : m_style == UIActivityIndicatorViewStyle::Gray ? UIColor::grayColor()
                                                                       : UIColor::whiteColor();
  const CGFloat side = std::min(rect.size.width, rect.size.height);
  const CGFloat outer = side / 2, inner = side / 4.5;
  const CGFloat width = std::max<CGFloat>(2, side / 9);
  const CGPoint c = CGRectGetCenter(rect);
  for (int spoke = 0; spoke < 12; ++spoke) {
    // The spoke at the phase is brightest; the ones behind it fade.
    const int age = (m_phase - spoke + 12) % 12;
    const double alpha = base.alpha() * (1.0 - age / 14.0);
    const double angle = spoke * M_PI / 6 - M_PI / 2;
    CGContextStrokeLine(context, {c.x + std::cos(angle) * inner, c.y + std::sin(angle) * inner},
                        {c.x + std::cos(angle) * (outer - width / 2),
                         c.y + std::sin(angle) * (outer - width / 2)},
                        width, base.colorWithAlphaComponent(alpha));
  }
}

}  // namespace kdisk
