#pragma once
// The scrolling area of the document preview that one kind of content
// (picture, PDF pages, text) fills: content laid out at the view's width
// times the zoom, a spinner while the content is being decoded, and a
// message in place of content that cannot be shown. A double tap toggles
// the zoom between 1× and 2× around the tapped point for kinds that zoom.
// Main thread; decoding happens on background queues and comes back here
// through weak pointers, so a view that has gone drops late results.
#include <memory>
#include <string>

#include "uikit/UIScrollView.h"

namespace kdisk {

class UIActivityIndicatorView;
class UILabel;

class KMPreviewContentView : public UIScrollView {
 public:
  explicit KMPreviewContentView(CGRect frame);
  ~KMPreviewContentView() override;

  // Starts decoding; called once the view has its size.
  virtual void load() = 0;
  // Whether the first content (picture, first page, text) is on screen.
  virtual bool isShowingContent() const = 0;
  virtual bool zooms() const { return false; }

  CGFloat zoomScale() const { return m_zoomScale; }
  // Zooms keeping the content point under `point` (in this view's
  // coordinates) where it is.
  void setZoomScaleAroundPoint(CGFloat scale, CGPoint point);
  // The message shown instead of content, or empty.
  std::string message() const;

  void layoutSubviews() override;
  void touchesEnded(const UITouchSet& touches) override;

  static constexpr CGFloat kDoubleTapZoom = 2;

 protected:
  // Lays the content out `width` points wide and sets the content size.
  virtual void layoutContentForWidth(CGFloat width) = 0;
  void showSpinner(bool show);
  void showMessage(const std::string& text);
  template <typename T>
  std::weak_ptr<T> weakSelf() {
    return std::static_pointer_cast<T>(shared_from_this());
  }

 private:
  CGFloat m_zoomScale = 1;
  CGFloat m_laidOutWidth = -1;
  std::shared_ptr<UIActivityIndicatorView> m_spinner;
  std::shared_ptr<UILabel> m_messageLabel;
};

}  // namespace kdisk
