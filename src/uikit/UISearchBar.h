#pragma once
// A bar with a search field and, on demand, its own cancel button; tells its
// delegate (and the search display controller attached to it) when editing
// begins and ends, the text changes, search or cancel is pressed. The field
// and the button are ordinary subviews, so screens may restyle them.
// Main thread.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "graphics/UIImage.h"
#include "uikit/UIButton.h"
#include "uikit/UITextField.h"

namespace kdisk {

class UISearchBar;
class UISearchDisplayController;

enum class UISearchBarIcon { Search, Clear };

class UISearchBarDelegate {
 public:
  virtual ~UISearchBarDelegate() = default;
  virtual void searchBarTextDidBeginEditing(UISearchBar& bar) { (void)bar; }
  virtual void searchBarTextDidEndEditing(UISearchBar& bar) { (void)bar; }
  virtual void searchBarTextDidChange(UISearchBar& bar, const std::string& text) { (void)bar, (void)text; }
  virtual void searchBarSearchButtonClicked(UISearchBar& bar) { (void)bar; }
  virtual void searchBarCancelButtonClicked(UISearchBar& bar) { (void)bar; }
};

class UISearchBar : public UIView {
 public:
  explicit UISearchBar(CGRect frame = CGRectMake(0, 0, 320, 44));

  std::string text() const { return m_field->text(); }
  void setText(std::string text);
  std::string placeholder() const { return m_field->placeholder(); }
  void setPlaceholder(std::string placeholder) { m_field->setPlaceholder(std::move(placeholder)); }
  UIBarStyle barStyle() const { return m_barStyle; }
  void setBarStyle(UIBarStyle style);
  const std::optional<UIColor>& tintColor() const { return m_tintColor; }
  void setTintColor(std::optional<UIColor> color);
  const std::shared_ptr<UIImage>& backgroundImage() const { return m_backgroundImage; }
  void setBackgroundImage(std::shared_ptr<UIImage> image);
  void setSearchFieldBackgroundImageForState(std::shared_ptr<UIImage> image, unsigned state);
  std::shared_ptr<UIImage> searchFieldBackgroundImageForState(unsigned state) const;
  void setImageForSearchBarIconState(std::shared_ptr<UIImage> image, UISearchBarIcon icon, unsigned state);
  std::shared_ptr<UIImage> imageForSearchBarIconState(UISearchBarIcon icon, unsigned state) const;
  bool showsCancelButton() const { return m_showsCancelButton; }
  void setShowsCancelButtonAnimated(bool shows, KMAnimated animated);

  std::shared_ptr<UISearchBarDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<UISearchBarDelegate> delegate) { m_delegate = std::move(delegate); }
  void setDisplayController(UISearchDisplayController* controller) { m_displayController = controller; }

  UITextField& searchField() { return *m_field; }
  UIButton& cancelButton() { return *m_cancelButton; }

  void layoutSubviews() override;
  void drawRect(cairo_t* context, CGRect rect) override;

 private:
  void refreshFieldLooks();
  std::shared_ptr<UITextField> m_field;
  std::shared_ptr<UIButton> m_cancelButton;
  std::shared_ptr<UIImageView> m_icon;
  UIBarStyle m_barStyle = UIBarStyle::Default;
  std::optional<UIColor> m_tintColor;
  std::shared_ptr<UIImage> m_backgroundImage;
  std::map<unsigned, std::shared_ptr<UIImage>> m_fieldBackgrounds;
  std::map<std::pair<UISearchBarIcon, unsigned>, std::shared_ptr<UIImage>> m_icons;
  bool m_showsCancelButton = false;
  std::weak_ptr<UISearchBarDelegate> m_delegate;
  UISearchDisplayController* m_displayController = nullptr;
};

}  // namespace kdisk
