#pragma once
// A bar of the used space against the whole: a rounded track with the used
// part filled. Main thread.
#include <cstdint>

#include "uikit/UIView.h"

namespace kdisk {

class KASpaceUsageView : public UIView {
 public:
  explicit KASpaceUsageView(CGRect frame);
  // Nothing is filled while the total is unknown (0).
  void setUsedOfTotal(std::uint64_t used, std::uint64_t total);
  // 0…1.
  double usedFraction() const;
  void drawRect(cairo_t* context, CGRect rect) override;

 private:
  std::uint64_t m_used = 0;
  std::uint64_t m_total = 0;
};

}  // namespace kdisk
