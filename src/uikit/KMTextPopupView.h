#pragma once
// The dark rounded panel with a white message shown over a screen while
// something runs. It lets touches through and keeps its distance to the
// edges of its superview when that resizes. Main thread.
#include <memory>

#include "uikit/UILabel.h"
#include "uikit/UIView.h"

namespace kdisk {

class KMTextPopupView : public UIView {
 public:
  explicit KMTextPopupView(CGRect frame);

  UILabel& label() { return *m_label; }
  const UILabel& label() const { return *m_label; }
  // The label's text wrapped to 130 points, plus 20 points in each direction.
  CGSize sizeThatFits(CGSize size) const override;

  static constexpr CGFloat kLabelInset = 10;
  static constexpr CGFloat kWrapWidth = 130;

 protected:
  std::shared_ptr<UILabel> m_label;
};

}  // namespace kdisk
