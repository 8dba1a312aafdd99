#pragma once
// A sheet of choices rising from the bottom of the window: an optional
// title, then the destructive button (index 0 when given), the other
// buttons, and the cancel button last. Main thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uikit/KMAlertPanel.h"

namespace kdisk {

class UIActionSheet;
class UIBarButtonItem;
class UIToolbar;

enum class UIActionSheetStyle { Automatic, Default, BlackTranslucent, BlackOpaque };

class UIActionSheetDelegate {
 public:
  virtual ~UIActionSheetDelegate() = default;
  virtual void actionSheetClickedButtonAtIndex(UIActionSheet& sheet, int buttonIndex) {
    (void)sheet, (void)buttonIndex;
  }
  virtual void willPresentActionSheet(UIActionSheet& sheet) { (void)sheet; }
  virtual void didPresentActionSheet(UIActionSheet& sheet) { (void)sheet; }
  virtual void actionSheetWillDismissWithButtonIndex(UIActionSheet& sheet, int buttonIndex) {
    (void)sheet, (void)buttonIndex;
  }
  virtual void actionSheetDidDismissWithButtonIndex(UIActionSheet& sheet, int buttonIndex) {
    (void)sheet, (void)buttonIndex;
  }
};

class UIActionSheet : public KMAlertPanel {
 public:
  UIActionSheet(std::string title, std::weak_ptr<UIActionSheetDelegate> delegate,
                std::optional<std::string> cancelButtonTitle, std::optional<std::string> destructiveButtonTitle,
                std::vector<std::string> otherButtonTitles);

  std::shared_ptr<UIActionSheetDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<UIActionSheetDelegate> delegate) { m_delegate = std::move(delegate); }
  UIActionSheetStyle actionSheetStyle() const { return m_style; }
  void setActionSheetStyle(UIActionSheetStyle style) { m_style = style; }

  // Every form rises over the whole window on a phone.
  void showInView(UIView& view) { (void)view, show(); }
  void showFromToolbar(UIToolbar& toolbar) { (void)toolbar, show(); }
  void showFromBarButtonItemAnimated(UIBarButtonItem& item, KMAnimated animated) { (void)item, (void)animated, show(); }

  void drawRect(cairo_t* context, CGRect rect) override;

 protected:
  void buildContent(CGRect windowBounds) override;
  void animateIn(KMAnimated animated) override;
  void animateOut(KMAnimated animated, std::function<void()> done) override;
  void willPresent() override;
  void didPresent() override;
  void clickedButtonAtIndex(int index) override;
  void willDismissWithButtonIndex(int index) override;
  void didDismissWithButtonIndex(int index) override;

 private:
  std::weak_ptr<UIActionSheetDelegate> m_delegate;
  UIActionSheetStyle m_style = UIActionSheetStyle::Automatic;
  CGRect m_restingFrame;
};

}  // namespace kdisk
