#pragma once
// The bar over a navigation stack: shows the top item's title (or title
// view), prompt, left and right buttons, and a back button made from the
// item below it. Background per bar metrics and title attributes, each
// falling back to the shared appearance, then to a drawn gradient in the
// tint colour. Main thread.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "graphics/UIImage.h"
#include "uikit/UITextAttributes.h"
#include "uikit/UIView.h"

namespace kdisk {

class UILabel;
class UINavigationItem;

struct KMNavigationBarAppearance {
  std::map<UIBarMetrics, std::shared_ptr<UIImage>> backgroundImages;
  std::optional<UITextAttributes> titleTextAttributes;
  std::optional<UIColor> tintColor;
};

class UINavigationBar : public UIView {
 public:
  explicit UINavigationBar(CGRect frame = CGRectMake(0, 0, 320, 44));
  ~UINavigationBar() override;

  static KMNavigationBarAppearance& appearance();
  static bool acceptsBackgroundImages();
  static void setAcceptsBackgroundImagesForTesting(bool accepts);

  // Items bottom to top; not owned (their controllers own them).
  void setItems(std::vector<UINavigationItem*> items, KMAnimated animated = KMAnimated::No);
  const std::vector<UINavigationItem*>& items() const { return m_items; }
  UINavigationItem* topItem() const { return m_items.empty() ? nullptr : m_items.back(); }
  UINavigationItem* backItem() const { return m_items.size() < 2 ? nullptr : m_items[m_items.size() - 2]; }

  UIBarStyle barStyle() const { return m_barStyle; }
  void setBarStyle(UIBarStyle style);
  std::optional<UIColor> tintColor() const;
  void setTintColor(std::optional<UIColor> color);
  bool isTranslucent() const { return m_translucent; }
  void setTranslucent(bool translucent) { m_translucent = translucent; }
  void setBackgroundImageForBarMetrics(std::shared_ptr<UIImage> image, UIBarMetrics metrics);
  std::shared_ptr<UIImage> backgroundImageForBarMetrics(UIBarMetrics metrics) const;
  void setTitleTextAttributes(std::optional<UITextAttributes> attributes);
  std::optional<UITextAttributes> titleTextAttributes() const;
  UIBarMetrics barMetrics() const { return m_metrics; }
  void setBarMetrics(UIBarMetrics metrics);

  // The back button's tap; the navigation controller pops.
  void setBackAction(std::function<void()> action) { m_backAction = std::move(action); }
  // The views made for the current items, for tests and finders.
  UIView* backButtonView() const { return m_backButton.get(); }
  UILabel* titleLabel() const { return m_titleLabel.get(); }
  // Rebuilds the item views (an item changed).
  void reloadItems();

  CGSize sizeThatFits(CGSize size) const override;
  void layoutSubviews() override;
  void drawRect(cairo_t* context, CGRect rect) override;

  static constexpr CGFloat kHeight = 44;
  static constexpr CGFloat kPromptHeight = 30;

 private:
  std::vector<UINavigationItem*> m_items;
  UIBarStyle m_barStyle = UIBarStyle::Default;
  std::optional<UIColor> m_tintColor;
  bool m_translucent = false;
  std::map<UIBarMetrics, std::shared_ptr<UIImage>> m_backgroundImages;
  std::optional<UITextAttributes> m_titleTextAttributes;
  UIBarMetrics m_metrics = UIBarMetrics::Default;
  std::function<void()> m_backAction;
  std::shared_ptr<UIView> m_backButton;
  std::vector<std::shared_ptr<UIView>> m_leftViews;
  std::vector<std::shared_ptr<UIView>> m_rightViews;
  std::shared_ptr<UIView> m_titleView;
  std::shared_ptr<UILabel> m_titleLabel;
  std::shared_ptr<UILabel> m_promptLabel;
};

}  // namespace kdisk
