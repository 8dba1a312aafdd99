#pragma once
// What a screen shows in the navigation bar while it is on top: a title or
// title view, a prompt, left and right items and the item its successors
// show as their back button. Owned by its view controller; the bar showing
// it is told of changes. Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uikit/UIKitDefines.h"

namespace kdisk {

class UIBarButtonItem;
class UIView;

class UINavigationItem {
 public:
  explicit UINavigationItem(std::string title = {}) : m_title(std::move(title)) {}

  const std::string& title() const { return m_title; }
  void setTitle(std::string title);
  const std::shared_ptr<UIView>& titleView() const { return m_titleView; }
  void setTitleView(std::shared_ptr<UIView> view);
  const std::optional<std::string>& prompt() const { return m_prompt; }
  void setPrompt(std::optional<std::string> prompt);
  const std::shared_ptr<UIBarButtonItem>& backBarButtonItem() const { return m_backBarButtonItem; }
  void setBackBarButtonItem(std::shared_ptr<UIBarButtonItem> item);
  bool hidesBackButton() const { return m_hidesBackButton; }
  void setHidesBackButtonAnimated(bool hides, KMAnimated animated = KMAnimated::No);
  std::shared_ptr<UIBarButtonItem> leftBarButtonItem() const;
  void setLeftBarButtonItemAnimated(std::shared_ptr<UIBarButtonItem> item, KMAnimated animated = KMAnimated::No);
  const std::vector<std::shared_ptr<UIBarButtonItem>>& leftBarButtonItems() const { return m_leftItems; }
  void setLeftBarButtonItemsAnimated(std::vector<std::shared_ptr<UIBarButtonItem>> items,
                                     KMAnimated animated = KMAnimated::No);
  std::shared_ptr<UIBarButtonItem> rightBarButtonItem() const;
  void setRightBarButtonItemAnimated(std::shared_ptr<UIBarButtonItem> item, KMAnimated animated = KMAnimated::No);
  const std::vector<std::shared_ptr<UIBarButtonItem>>& rightBarButtonItems() const { return m_rightItems; }
  void setRightBarButtonItemsAnimated(std::vector<std::shared_ptr<UIBarButtonItem>> items,
                                      KMAnimated animated = KMAnimated::No);

  void setChangeHandler(std::function<void()> handler) { m_changeHandler = std::move(handler); }

 private:
  void changed() {
    if (m_changeHandler) m_changeHandler();
  }
  std::string m_title;
  std::shared_ptr<UIView> m_titleView;
  std::optional<std::string> m_prompt;
  std::shared_ptr<UIBarButtonItem> m_backBarButtonItem;
  bool m_hidesBackButton = false;
  std::vector<std::shared_ptr<UIBarButtonItem>> m_leftItems;
  std::vector<std::shared_ptr<UIBarButtonItem>> m_rightItems;
  std::function<void()> m_changeHandler;
};

}  // namespace kdisk
