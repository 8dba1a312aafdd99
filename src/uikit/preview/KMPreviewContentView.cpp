#include "uikit/preview/KMPreviewContentView.h"

#include <algorithm>

#include "uikit/UIActivityIndicatorView.h"
#include "uikit/UILabel.h"

namespace kdisk {

KMPreviewContentView::KMPreviewContentView(CGRect frame) : UIScrollView(frame) {
  setBackgroundColor(UIColor::colorWithWhiteAlpha(0.9, 1));
  setAlwaysBounceVertical(true);
}

KMPreviewContentView::~KMPreviewContentView() = default;

void KMPreviewContentView::setZoomScaleAroundPoint(CGFloat scale, CGPoint point) {
  if (!zooms() || scale == m_zoomScale) return;
  const CGPoint offset = contentOffset();
  const CGPoint inView = {point.x - offset.x, point.y - offset.y};
  const CGFloat factor = scale / m_zoomScale;
  m_zoomScale = scale;
  layoutContentForWidth(bounds().size.width * m_zoomScale);
  m_laidOutWidth = bounds().size.width;
  const CGPoint wanted = {point.x * factor - inView.x, point.y * factor - inView.y};
  const CGPoint low = minimumContentOffset(), high = maximumContentOffset();
  setContentOffset({std::clamp(wanted.x, low.x, std::max(low.x, high.x)),
                    std::clamp(wanted.y, low.y, std::max(low.y, high.y))});
}

std::string KMPreviewContentView::message() const {
  return m_messageLabel && !m_messageLabel->isHidden() ? m_messageLabel->text() : std::string();
}

void KMPreviewContentView::layoutSubviews() {
  UIScrollView::layoutSubviews();
  const CGRect area = bounds();
  if (area.size.width != m_laidOutWidth) {
    m_laidOutWidth = area.size.width;
    layoutContentForWidth(area.size.width * m_zoomScale);
  }
  // Spinner and message stay in the middle of what is on screen.
  const CGPoint middle = {area.origin.x + area.size.width / 2, area.origin.y + area.size.height / 2};
  if (m_spinner) m_spinner->setCenter(middle);
  if (m_messageLabel) {
    const CGFloat width = area.size.width - 40;
    const CGSize fits = m_messageLabel->sizeThatFits(CGSizeMake(width, 1000));
    m_messageLabel->setFrame(CGRectMake(area.origin.x + 20, middle.y - fits.height / 2, width, fits.height));
  }
}

void KMPreviewContentView::touchesEnded(const UITouchSet& touches) {
  if (touches.empty() || touches.front()->tapCount() != 2 || !zooms()) {
    UIScrollView::touchesEnded(touches);
    return;
  }
  const CGPoint point = touches.front()->locationInView(this);
  setZoomScaleAroundPoint(m_zoomScale == 1 ? kDoubleTapZoom : 1, point);
}

void KMPreviewContentView::showSpinner(bool show) {
  if (show && !m_spinner) {
    m_spinner = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyle::Gray);
    m_spinner->sizeToFit();
    addSubview(m_spinner);
    setNeedsLayout();
  }
  if (!m_spinner) return;
  if (show)
    m_spinner->startAnimating();
  else
    m_spinner->stopAnimating();
}

void KMPreviewContentView::showMessage(const std::string& text) {
  showSpinner(false);
  if (!m_messageLabel) {
    m_messageLabel = std::make_shared<UILabel>();
    m_messageLabel->setNumberOfLines(0);
    m_messageLabel->setTextAlignment(NSTextAlignment::Center);
    m_messageLabel->setFont(UIFont::systemFontOfSize(16));
    m_messageLabel->setTextColor(UIColor::darkGrayColor());
    m_messageLabel->setBackgroundColor(UIColor::clearColor());
    m_messageLabel->setLineBreakMode(NSLineBreakMode::WordWrap);
    addSubview(m_messageLabel);
  }
  m_messageLabel->setText(text);
  m_messageLabel->setHidden(false);
  setNeedsLayout();
}

}  // namespace kdisk
