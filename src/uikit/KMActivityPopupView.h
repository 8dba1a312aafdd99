#pragma once
// The text popup with a large white activity indicator above the text,
// running from creation; always 150 × 110 points. Main thread.
#include <memory>

#include "uikit/KMTextPopupView.h"
#include "uikit/UIActivityIndicatorView.h"

namespace kdisk {

class KMActivityPopupView : public KMTextPopupView {
 public:
  explicit KMActivityPopupView(CGRect frame);

  UIActivityIndicatorView& activityIndicator() { return *m_indicator; }
  CGSize sizeThatFits(CGSize size) const override;
  void layoutSubviews() override;

  static constexpr CGFloat kIndicatorTop = 25;

 private:
  std::shared_ptr<UIActivityIndicatorView> m_indicator;
};

}  // namespace kdisk
