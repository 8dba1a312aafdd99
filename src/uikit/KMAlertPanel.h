#pragma once
// What alerts and action sheets share: an ordered list of button titles with
// a cancel and a destructive index, showing over everything in the key
// window above a dimming layer, and dismissal with a button index. There is
// no nested event loop: show() returns at once and the answer arrives
// through the subclass's delegate. A shown panel keeps itself alive until it
// is dismissed. Main thread.
//
//   hidden --show--> visible --button tapped / dismissWithClickedButtonIndex--> hidden
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uikit/UIView.h"

namespace kdisk {

class UIButton;

class KMAlertPanel : public UIView {
 public:
  ~KMAlertPanel() override;

  int addButtonWithTitle(std::string title);
  int numberOfButtons() const { return int(m_buttonTitles.size()); }
  std::string buttonTitleAtIndex(int index) const;
  int cancelButtonIndex() const { return m_cancelButtonIndex; }
  void setCancelButtonIndex(int index) { m_cancelButtonIndex = index; }
  int destructiveButtonIndex() const { return m_destructiveButtonIndex; }
  void setDestructiveButtonIndex(int index) { m_destructiveButtonIndex = index; }
  // The first button that is neither cancel nor destructive; -1 when none.
  int firstOtherButtonIndex() const;
  const std::string& title() const { return m_title; }
  void setTitle(std::string title) { m_title = std::move(title); }

  bool isVisible() const { return m_visible; }
  void show();
  // Closes as if the button were tapped, but without telling the delegate of
  // a click: it hears only the dismissal.
  void dismissWithClickedButtonIndexAnimated(int index, KMAnimated animated);
  // The panels showing now, oldest first.
  static std::vector<std::shared_ptr<KMAlertPanel>> visiblePanels();

 protected:
  KMAlertPanel(std::string title);
  const std::vector<std::string>& buttonTitles() const { return m_buttonTitles; }
  // Subclasses build their looks, animate and talk to their delegates.
  virtual void buildContent(CGRect windowBounds) = 0;
  virtual void animateIn(KMAnimated animated);
  virtual void animateOut(KMAnimated animated, std::function<void()> done);
  virtual void willPresent() {}
  virtual void didPresent() {}
  virtual void clickedButtonAtIndex(int index) { (void)index; }
  virtual void willDismissWithButtonIndex(int index) { (void)index; }
  virtual void didDismissWithButtonIndex(int index) { (void)index; }
  // A button for index `index` that reports the tap.
  std::shared_ptr<UIButton> makeButton(int index);
  UIView* overlay() const { return m_overlay.get(); }

 private:
  void buttonTapped(int index);
  std::string m_title;
  std::vector<std::string> m_buttonTitles;
  int m_cancelButtonIndex = -1;
  int m_destructiveButtonIndex = -1;
  bool m_visible = false;
  bool m_dismissing = false;
  std::shared_ptr<UIView> m_overlay;
};

}  // namespace kdisk
