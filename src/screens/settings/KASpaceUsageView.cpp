#include "screens/settings/KASpaceUsageView.h"

#include <algorithm>

#include "uikit/CGContext.h"

namespace kdisk {

KASpaceUsageView::KASpaceUsageView(CGRect frame) : UIView(frame) {
  setBackgroundColor(UIColor::clearColor());
}

void KASpaceUsageView::setUsedOfTotal(std::uint64_t used, std::uint64_t total) {
  if (used == m_used && total == m_total) return;
  m_used = used;
  m_total = total;
  setNeedsDisplay();
}

double KASpaceUsageView::usedFraction() const {
  if (m_total == 0) return 0;
  return std::clamp(double(m_used) / double(m_total), 0.0, 1.0);
}

void KASpaceUsageView::drawRect(cairo_t* context, CGRect) {
  const CGRect track = CGRectInset(bounds(), 0.5, 0.5);
  const CGFloat radius = track.size.height / 2;
  CGContextFillRoundedRect(context, track, radius, UIColor::colorWithRGB255(214, 220, 224));
  const double fraction = usedFraction();
  if (fraction > 0) {
    CGRect used = track;
    used.size.width = std::max<CGFloat>(track.size.height, track.size.width * fraction);
    CGContextFillRoundedRect(context, used, radius, UIColor::colorWithRGB255(35, 104, 149));
  }
  CGContextStrokeRoundedRect(context, track, radius, 1, UIColor::colorWithRGB255(160, 172, 180));
}

}  // namespace kdisk
