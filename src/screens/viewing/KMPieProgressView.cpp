#include "screens/viewing/KMPieProgressView.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "uikit/CGContext.h"

namespace kdisk {

KMPieProgressView::KMPieProgressView(CGRect frame) : UIView(frame) {
  setBackgroundColor(UIColor::clearColor());
  setOpaque(false);
  setUserInteractionEnabled(false);
}

UIColor KMPieProgressView::fillColor() { return UIColor::colorWithRGB255(96, 160, 200); }

void KMPieProgressView::setProgress(float progress) {
  const float clamped = std::isnan(progress) ? 0.f : std::clamp(progress, 0.f, 1.f);
  if (clamped == m_progress) return;
  m_progress = clamped;
  setNeedsDisplay();
}

// One path for every progress: the wedge's two radii, then the arc. Even-odd
// filling cancels the chord's triangle, so the same path is right past half
// and becomes the whole disc at 1.
void KMPieProgressView::drawRect(cairo_t* context, CGRect) {
  if (m_progress <= 0) return;
  const CGRect b = bounds();
  const CGPoint c{CGRectGetMidX(b), CGRectGetMidY(b)};
  const CGFloat r = b.size.height / 2;
  const CGFloat start = -std::numbers::pi / 2;
  const CGFloat end = m_progress * 2 * std::numbers::pi - std::numbers::pi / 2;
  CGContextBeginPath(context);
  CGContextMoveToPoint(context, c.x, c.y - r);
  CGContextAddLineToPoint(context, c.x, c.y);
  CGContextAddLineToPoint(context, c.x + r * std::cos(end), c.y + r * std::sin(end));
  CGContextAddArc(context, c.x, c.y, r, start, end, KMArcDirection::Clockwise);
  CGContextFillPath(context, fillColor(), KMFillRule::EvenOdd);
}

}  // namespace kdisk
