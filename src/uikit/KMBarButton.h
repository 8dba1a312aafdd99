#pragma once
// The button a bar shows for one bar button item (or for the back item):
// the item's backgrounds for the bar's metrics, or a drawn bordered body in
// the bar's tint when there are none. Tapping it performs the item's action.
// Main thread.
#include <memory>

#include "uikit/UIBarButtonItem.h"
#include "uikit/UIButton.h"

namespace kdisk {

enum class KMBarButtonKind { Item, Back };

class KMBarButton : public UIButton {
 public:
  KMBarButton(std::shared_ptr<UIBarButtonItem> item, KMBarButtonKind kind, UIBarMetrics metrics,
              std::optional<UIColor> barTint);

  const std::shared_ptr<UIBarButtonItem>& item() const { return m_item; }
  KMBarButtonKind kind() const { return m_kind; }
  // Width the bar gives it: its content plus padding, at least 30 points.
  CGSize sizeThatFits(CGSize size) const override;
  void drawRect(cairo_t* context, CGRect rect) override;

  static constexpr CGFloat kHeight = 30;

 private:
  std::shared_ptr<UIBarButtonItem> m_item;
  KMBarButtonKind m_kind;
  UIBarMetrics m_metrics;
  std::optional<UIColor> m_barTint;
  bool m_hasBackgroundImage = false;
};

}  // namespace kdisk
