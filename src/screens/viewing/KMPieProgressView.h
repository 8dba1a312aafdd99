#pragma once
// A disc that fills clockwise from twelve o'clock as progress goes from 0
// to 1; nothing is drawn at 0. Transparent around the pie. Main thread.
#include "uikit/UIView.h"

namespace kdisk {

class KMPieProgressView : public UIView {
 public:
  explicit KMPieProgressView(CGRect frame = CGRectZero);

  float progress() const { return m_progress; }
  // Kept within 0…1 (anything else, NaN included, is clamped); redraws.
  void setProgress(float progress);

  static UIColor fillColor();
  void drawRect(cairo_t* context, CGRect rect) override;

 private:
  float m_progress = 0;
};

}  // namespace kdisk
