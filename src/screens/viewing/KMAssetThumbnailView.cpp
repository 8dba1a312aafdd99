#include "screens/viewing/KMAssetThumbnailView.h"

#include <cmath>

#include "uikit/CGContext.h"

namespace kdisk {

KMAssetThumbnailView::KMAssetThumbnailView(CGRect frame) : UIControl(frame) { setClipsToBounds(true); }

void KMAssetThumbnailView::setThumbnail(std::shared_ptr<UIImage> thumbnail) {
  if (thumbnail == m_thumbnail) return;
  m_thumbnail = std::move(thumbnail);
  setNeedsDisplay();
}

void KMAssetThumbnailView::setVideo(bool video) {
  if (video == m_video) return;
  m_video = video;
  setNeedsDisplay();
}

void KMAssetThumbnailView::setChosen(bool chosen) {
  if (chosen == m_chosen) return;
  m_chosen = chosen;
  setNeedsDisplay();
}

void KMAssetThumbnailView::drawRect(cairo_t* context, CGRect) {
  const CGRect b = bounds();
  if (m_thumbnail) {
    m_thumbnail->drawInRect(context, b);
  } else if (m_video) {
    CGContextFillRect(context, b, UIColor::colorWithRGB255(58, 78, 93));
    // A play triangle stands for the film.
    const CGFloat s = std::round(b.size.width / 4);
    const CGPoint c{CGRectGetMidX(b), CGRectGetMidY(b)};
    CGContextBeginPath(context);
    CGContextMoveToPoint(context, c.x - s / 2, c.y - s / 2);
    CGContextAddLineToPoint(context, c.x + s / 2, c.y);
    CGContextAddLineToPoint(context, c.x - s / 2, c.y + s / 2);
    CGContextClosePath(context);
    CGContextFillPath(context, UIColor::whiteColor());
  } else {
    CGContextFillRect(context, b, UIColor::colorWithRGB255(225, 230, 233));
  }
  if (m_chosen) {
    CGContextFillRect(context, b, UIColor::colorWithWhiteAlpha(1, 0.35));
    if (auto check = UIImage::imageNamed("picker_check")) {
      const CGSize size = check->size();
      check->drawAtPoint(context, CGPointMake(b.size.width - size.width - 3, b.size.height - size.height - 3));
    }
  }
}

}  // namespace kdisk
