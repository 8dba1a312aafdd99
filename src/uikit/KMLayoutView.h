#pragma once
// A plain view whose layout is a function its owner gives, for containers
// (navigation controller, alerts) that lay out views they do not subclass.
#include <functional>

#include "uikit/UIView.h"

namespace kdisk {

class KMLayoutView : public UIView {
 public:
  explicit KMLayoutView(CGRect frame = CGRectZero) : UIView(frame) {}
  void setLayoutHandler(std::function<void(KMLayoutView&)> handler) {
    m_handler = std::move(handler);
    setNeedsLayout();
  }
  void layoutSubviews() override {
    if (m_handler) m_handler(*this);
  }

 private:
  std::function<void(KMLayoutView&)> m_handler;
};

}  // namespace kdisk
