#include "uikit/UIImageView.h"

#include <algorithm>

#include "uikit/CGContext.h"

namespace kdisk {

UIImageView::UIImageView(CGRect frame) : UIView(frame) {
  setUserInteractionEnabled(false);
  setOpaque(false);
}

UIImageView::UIImageView(std::shared_ptr<UIImage> image)
    : UIImageView(image ? CGRect{CGPointZero, image->size()} : CGRectZero) {
  m_image = std::move(image);
}

void UIImageView::setImage(std::shared_ptr<UIImage> image) {
  m_image = std::move(image);
  setNeedsDisplay();
}

void UIImageView::setHighlightedImage(std::shared_ptr<UIImage> image) {
  m_highlightedImage = std::move(image);
  setNeedsDisplay();
}

void UIImageView::setHighlighted(bool highlighted) {
  m_highlighted = highlighted;
  setNeedsDisplay();
}

CGSize UIImageView::sizeThatFits(CGSize size) const {
  (void)size;
  return m_image ? m_image->size() : CGSizeZero;
}

CGRect UIImageView::imageRectForBounds(CGRect bounds, CGSize imageSize) const {
  const CGFloat w = imageSize.width, h = imageSize.height;
  const CGFloat bw = bounds.size.width, bh = bounds.size.height;
  const CGFloat x0 = bounds.origin.x, y0 = bounds.origin.y;
  switch (contentMode()) {
    case UIViewContentMode::ScaleToFill:
    case UIViewContentMode::Redraw:
      return bounds;
    case UIViewContentMode::ScaleAspectFit:
    case UIViewContentMode::ScaleAspectFill: {
      if (w <= 0 || h <= 0) return bounds;
      const CGFloat factor = contentMode() == UIViewContentMode::ScaleAspectFit
                                 ? std::min(bw / w, bh / h)
                                 : std::max(bw / w, bh / h);
      return KMRectCenteredInRect({w * factor, h * factor}, bounds);
    }
    case UIViewContentMode::Center: return KMRectCenteredInRect(imageSize, bounds);
    case UIViewContentMode::Top: return CGRectMake(x0 + (bw - w) / 2, y0, w, h);
    case UIViewContentMode::Bottom: return CGRectMake(x0 + (bw - w) / 2, y0 + bh - h, w, h);
    case UIViewContentMode::Left: return CGRectMake(x0, y0 + (bh - h) / 2, w, h);
    case UIViewContentMode::Right: return CGRectMake(x0 + bw - w, y0 + (bh - h) / 2, w, h);
    case UIViewContentMode::TopLeft: return CGRectMake(x0, y0, w, h);
    case UIViewContentMode::TopRight: return CGRectMake(x0 + bw - w, y0, w, h);
    case UIViewContentMode::BottomLeft: return CGRectMake(x0, y0 + bh - h, w, h);
    case UIViewContentMode::BottomRight: return CGRectMake(x0 + bw - w, y0 + bh - h, w, h);
  }
  return bounds;
}

void UIImageView::drawRect(cairo_t* context, CGRect rect) {
  const auto& image = m_highlighted && m_highlightedImage ? m_highlightedImage : m_image;
  if (!image) return;
  if (image->isResizable()) {
    image->drawInRect(context, rect);
    return;
  }
  const CGRect target = imageRectForBounds(rect, image->size());
  CGContextSaveGState(context);
  CGContextClipToRect(context, rect);
  image->drawInRect(context, target);
  CGContextRestoreGState(context);
}

}  // namespace kdisk
