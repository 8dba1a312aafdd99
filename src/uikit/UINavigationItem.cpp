#include "uikit/UINavigationItem.h"

#include "uikit/UIBarButtonItem.h"

namespace kdisk {

void UINavigationItem::setTitle(std::string title) {
  if (m_title == title) return;
  m_title = std::move(title);
  changed();
}
void UINavigationItem::setTitleView(std::shared_ptr<UIView> view) {
  m_titleView = std::move(view);
  changed();
}
void UINavigationItem::setPrompt(std::optional<std::string> prompt) {
  m_prompt = std::move(prompt);
  changed();
}
void UINavigationItem::setBackBarButtonItem(std::shared_ptr<UIBarButtonItem> item) {
  m_backBarButtonItem = std::move(item);
  changed();
}
void UINavigationItem::setHidesBackButtonAnimated(bool hides, KMAnimated) {
  m_hidesBackButton = hides;
  changed();
}
std::shared_ptr<UIBarButtonItem> UINavigationItem::leftBarButtonItem() const {
  return m_leftItems.empty() ? nullptr : m_leftItems.front();
}
void UINavigationItem::setLeftBarButtonItemAnimated(std::shared_ptr<UIBarButtonItem> item, KMAnimated animated) {
  std::vector<std::shared_ptr<UIBarButtonItem>> items;
  if (item) items.push_back(std::move(item));
  setLeftBarButtonItemsAnimated(std::move(items), animated);
}
void UINavigationItem::setLeftBarButtonItemsAnimated(std::vector<std::shared_ptr<UIBarButtonItem>> items,
                                                     KMAnimated) {
  m_leftItems = std::move(items);
  changed();
}
std::shared_ptr<UIBarButtonItem> UINavigationItem::rightBarButtonItem() const {
  return m_rightItems.empty() ? nullptr : m_rightItems.front();
}
void UINavigationItem::setRightBarButtonItemAnimated(std::shared_ptr<UIBarButtonItem> item, KMAnimated animated) {
  std::vector<std::shared_ptr<UIBarButtonItem>> items;
  if (item) items.push_back(std::move(item));
  setRightBarButtonItemsAnimated(std::move(items), animated);
}
void UINavigationItem::setRightBarButtonItemsAnimated(std::vector<std::shared_ptr<UIBarButtonItem>> items,
                                                      KMAnimated) {
  m_rightItems = std::move(items);
  changed();
}

}  // namespace kdisk
