#pragma once
// A bar of bar button items laid out left to right; flexible spaces share
// what is left over. Background per position and metrics, falling back to
// the shared appearance, then to a drawn gradient in the tint. Main thread.
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "graphics/UIImage.h"
#include "uikit/UIView.h"

namespace kdisk {

class UIBarButtonItem;

enum class UIToolbarPosition { Any, Bottom, Top };

struct KMToolbarAppearance {
  std::map<std::pair<UIToolbarPosition, UIBarMetrics>, std::shared_ptr<UIImage>> backgroundImages;
  std::optional<UIColor> tintColor;
};

class UIToolbar : public UIView {
 public:
  explicit UIToolbar(CGRect frame = CGRectMake(0, 0, 320, 44));

  static KMToolbarAppearance& appearance();
  static bool acceptsBackgroundImages();
  static void setAcceptsBackgroundImagesForTesting(bool accepts);

  const std::vector<std::shared_ptr<UIBarButtonItem>>& items() const { return m_items; }
  void setItemsAnimated(std::vector<std::shared_ptr<UIBarButtonItem>> items,
                        KMAnimated animated = KMAnimated::No);
  UIBarStyle barStyle() const { return m_barStyle; }
  void setBarStyle(UIBarStyle style);
  std::optional<UIColor> tintColor() const;
  void setTintColor(std::optional<UIColor> color);
  void setBackgroundImageForToolbarPositionBarMetrics(std::shared_ptr<UIImage> image,
                                                      UIToolbarPosition position, UIBarMetrics metrics);
  std::shared_ptr<UIImage> backgroundImageForToolbarPositionBarMetrics(UIToolbarPosition position,
                                                                       UIBarMetrics metrics) const;
  UIToolbarPosition position() const { return m_position; }
  void setPosition(UIToolbarPosition position) { m_position = position; }
  // The views made for the items, in order (spaces have none).
  const std::vector<std::shared_ptr<UIView>>& itemViews() const { return m_itemViews; }
  void reloadItems();

  void layoutSubviews() override;
  void drawRect(cairo_t* context, CGRect rect) override;

  static constexpr CGFloat kHeight = 44;

 private:
  std::vector<std::shared_ptr<UIBarButtonItem>> m_items;
  std::vector<std::shared_ptr<UIView>> m_itemViews;
  UIBarStyle m_barStyle = UIBarStyle::Default;
  std::optional<UIColor> m_tintColor;
  std::map<std::pair<UIToolbarPosition, UIBarMetrics>, std::shared_ptr<UIImage>> m_backgroundImages;
  UIToolbarPosition m_position = UIToolbarPosition::Bottom;
};

}  // namespace kdisk
