#pragma once
// A section header: a stretched background, a bold white title and an
// optional arrow near the left edge that turns to show whether the section
// is open. A control, so a screen may react to taps. Main thread.
#include <memory>
#include <string>

#include "graphics/UIImage.h"
#include "uikit/UIControl.h"
#include "uikit/UIImageView.h"

namespace kdisk {

class KMTableViewGroupHeader : public UIControl {
 public:
  static constexpr CGFloat kArrowX = 10;
  static constexpr CGFloat kTitleX = 10;
  static constexpr double kRotationDuration = 0.2;
  static constexpr const char* kRotateAnimationKey = "rotateAnimation";

  explicit KMTableViewGroupHeader(CGRect frame);

  const std::string& titleText() const { return m_titleText; }
  void setTitleText(std::string text);
  int section() const { return m_section; }
  void setSection(int section) { m_section = section; }
  bool exposed() const { return m_exposed; }
  void setExposedAnimated(bool exposed, KMAnimated animated);
  bool arrowHidden() const { return m_arrowHidden; }
  void setArrowHidden(bool hidden);
  UIImageView& arrowView() { return *m_arrow; }
  // Where the title starts: further right while the arrow shows.
  CGFloat titleX() const;
  int redrawCountForTesting() const { return m_redrawCount; }

  void layoutSubviews() override;
  void drawRect(cairo_t* context, CGRect rect) override;
  std::optional<std::string> accessibilityLabel() const override { return m_titleText; }

 private:
  std::string m_titleText;
  int m_section = 0;
  bool m_exposed = true;
  bool m_arrowHidden = false;
  std::shared_ptr<UIImage> m_background;
  std::shared_ptr<UIImageView> m_arrow;
  int m_redrawCount = 0;
};

}  // namespace kdisk
