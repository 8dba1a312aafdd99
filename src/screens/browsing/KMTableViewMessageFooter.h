#pragma once
// A table footer with one centred line of text and a grey activity indicator
// just left of the text (loading, no items, loading failed). Main thread.
#include <memory>
#include <optional>
#include <string>

#include "uikit/UIActivityIndicatorView.h"
#include "uikit/UILabel.h"

namespace kdisk {

class KMTableViewMessageFooter : public UIView {
 public:
  static constexpr CGFloat kLabelInset = 10;
  static constexpr CGFloat kIndicatorSpacing = 5;

  explicit KMTableViewMessageFooter(CGRect frame);

  UILabel& label() { return *m_label; }
  const UILabel& label() const { return *m_label; }
  UIActivityIndicatorView& activityIndicator() { return *m_activityIndicator; }
  // Nothing shows an empty line.
  void setText(const std::optional<std::string>& text);

  void layoutSubviews() override;

 private:
  std::shared_ptr<UILabel> m_label;
  std::shared_ptr<UIActivityIndicatorView> m_activityIndicator;
};

}  // namespace kdisk
