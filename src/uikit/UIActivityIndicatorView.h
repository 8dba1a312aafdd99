#pragma once
// The spinning wheel of twelve spokes, stepped by a run-clock timer while it
// animates. Hidden when stopped unless told otherwise. Main thread.
#include "platform/RunLoop.h"
#include "uikit/UIView.h"

namespace kdisk {

enum class UIActivityIndicatorViewStyle { WhiteLarge, White, Gray };

class UIActivityIndicatorView : public UIView {
 public:
  explicit UIActivityIndicatorView(UIActivityIndicatorViewStyle style = UIActivityIndicatorViewStyle::White);
  ~UIActivityIndicatorView() override;

  UIActivityIndicatorViewStyle activityIndicatorViewStyle() const { return m_style; }
  void setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style);
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const { return m_animating; }
  bool hidesWhenStopped() const { return m_hidesWhenStopped; }
  void setHidesWhenStopped(bool hides);
  const std::optional<UIColor>& color() const { return m_color; }
  void setColor(std::optional<UIColor> color);
  int phase() const { return m_phase; }

  CGSize sizeThatFits(CGSize size) const override;
  void drawRect(cairo_t* context, CGRect rect) override;

  static constexpr double kStepInterval = 1.0 / 12.0;

 private:
  static CGFloat sideForStyle(UIActivityIndicatorViewStyle style);
  UIActivityIndicatorViewStyle m_style;
  bool m_animating = false;
  bool m_hidesWhenStopped = true;
  std::optional<UIColor> m_color;
  int m_phase = 0;
  TimerId m_timer = 0;
};

}  // namespace kdisk
