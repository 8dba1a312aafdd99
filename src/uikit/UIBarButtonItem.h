#pragma once
// A button of a navigation bar or toolbar: a title, an image, a custom view,
// or one of the system items (Done, Cancel, flexible and fixed space…), with
// an action, backgrounds per state and bar metrics, back-button backgrounds,
// a vertical adjustment of those backgrounds, title attributes and a tint.
// Values not set on an item come from the shared appearance (what the
// application's appearance helper styles). Main thread; held by shared_ptr.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "graphics/UIImage.h"
#include "uikit/UIKitDefines.h"
#include "uikit/UITextAttributes.h"

namespace kdisk {

class UIView;

enum class UIBarButtonSystemItem {
  Done,
  Cancel,
  Edit,
  Save,
  Add,
  FlexibleSpace,
  FixedSpace,
  Compose,
  Reply,
  Action,
  Organize,
  Bookmarks,
  Search,
  Refresh,
  Stop,
  Camera,
  Trash,
  Play,
  Pause,
};

enum class UIBarButtonItemStyle { Plain, Bordered, Done };

// The shared look of every bar button item that does not set its own.
struct KMBarButtonItemAppearance {
  std::map<std::pair<unsigned, UIBarMetrics>, std::shared_ptr<UIImage>> backgroundImages;
  std::map<std::pair<unsigned, UIBarMetrics>, std::shared_ptr<UIImage>> backButtonBackgroundImages;
  std::map<UIBarMetrics, CGFloat> backgroundVerticalPositionAdjustments;
  std::map<unsigned, UITextAttributes> titleTextAttributes;
  std::optional<UIColor> tintColor;
};

class UIBarButtonItem : public std::enable_shared_from_this<UIBarButtonItem> {
 public:
  using Action = std::function<void(UIBarButtonItem& sender)>;

  static std::shared_ptr<UIBarButtonItem> itemWithTitleStyleAction(std::string title,
                                                                   UIBarButtonItemStyle style,
                                                                   Action action);
  static std::shared_ptr<UIBarButtonItem> itemWithImageStyleAction(std::shared_ptr<UIImage> image,
                                                                   UIBarButtonItemStyle style,
                                                                   Action action);
  static std::shared_ptr<UIBarButtonItem> itemWithBarButtonSystemItemAction(UIBarButtonSystemItem item,
                                                                            Action action);
  static std::shared_ptr<UIBarButtonItem> itemWithCustomView(std::shared_ptr<UIView> view);
  UIBarButtonItem() = default;

  static KMBarButtonItemAppearance& appearance();
  // Whether items take per-state background images; true on this toolkit.
  // Tests turn it off to check callers that must then change nothing.
  static bool acceptsBackgroundImages();
  static void setAcceptsBackgroundImagesForTesting(bool accepts);

  // Title: the given one, else the system item's own ("Done", "Cancel"…).
  std::string title() const;
  void setTitle(std::string title);
  const std::shared_ptr<UIImage>& image() const { return m_image; }
  void setImage(std::shared_ptr<UIImage> image);
  UIBarButtonItemStyle style() const { return m_style; }
  void setStyle(UIBarButtonItemStyle style);
  const std::shared_ptr<UIView>& customView() const { return m_customView; }
  void setCustomView(std::shared_ptr<UIView> view);
  std::optional<UIBarButtonSystemItem> systemItem() const { return m_systemItem; }
  bool isFlexibleSpace() const { return m_systemItem == UIBarButtonSystemItem::FlexibleSpace; }
  bool isSpace() const {
    return isFlexibleSpace() || m_systemItem == UIBarButtonSystemItem::FixedSpace;
  }
  CGFloat width() const { return m_width; }
  void setWidth(CGFloat width);
  bool isEnabled() const { return m_enabled; }
  void setEnabled(bool enabled);
  int tag() const { return m_tag; }
  void setTag(int tag) { m_tag = tag; }
  std::optional<UIColor> tintColor() const;
  void setTintColor(std::optional<UIColor> color);

  void setAction(Action action) { m_action = std::move(action); }
  bool hasAction() const { return static_cast<bool>(m_action); }
  // What a tap on the item's button does.
  void performAction();

  void setBackgroundImageForStateBarMetrics(std::shared_ptr<UIImage> image, unsigned state,
                                            UIBarMetrics metrics);
  std::shared_ptr<UIImage> backgroundImageForStateBarMetrics(unsigned state, UIBarMetrics metrics) const;
  void setBackButtonBackgroundImageForStateBarMetrics(std::shared_ptr<UIImage> image, unsigned state,
                                                      UIBarMetrics metrics);
  std::shared_ptr<UIImage> backButtonBackgroundImageForStateBarMetrics(unsigned state,
                                                                      UIBarMetrics metrics) const;
  void setBackgroundVerticalPositionAdjustmentForBarMetrics(CGFloat adjustment, UIBarMetrics metrics);
  CGFloat backgroundVerticalPositionAdjustmentForBarMetrics(UIBarMetrics metrics) const;
  void setTitleTextAttributesForState(std::optional<UITextAttributes> attributes, unsigned state);
  std::optional<UITextAttributes> titleTextAttributesForState(unsigned state) const;

  // The bar showing the item rebuilds its button when the item changes.
  void setChangeHandler(std::function<void()> handler) { m_changeHandler = std::move(handler); }

 private:
  void changed();
  std::optional<std::string> m_title;
  std::shared_ptr<UIImage> m_image;
  UIBarButtonItemStyle m_style = UIBarButtonItemStyle::Plain;
  std::shared_ptr<UIView> m_customView;
  std::optional<UIBarButtonSystemItem> m_systemItem;
  CGFloat m_width = 0;
  bool m_enabled = true;
  int m_tag = 0;
  std::optional<UIColor> m_tintColor;
  Action m_action;
  KMBarButtonItemAppearance m_own;
  std::function<void()> m_changeHandler;
};

}  // namespace kdisk
