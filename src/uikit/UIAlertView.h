#pragma once
// A centred message box with a title, a message and buttons; the cancel
// button (if any) has index 0 and the other buttons follow in order. Two
// buttons stand side by side, more are stacked. Main thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uikit/KMAlertPanel.h"

namespace kdisk {

class UIAlertView;

class UIAlertViewDelegate {
 public:
  virtual ~UIAlertViewDelegate() = default;
  virtual void alertViewClickedButtonAtIndex(UIAlertView& alertView, int buttonIndex) {
    (void)alertView, (void)buttonIndex;
  }
  virtual void willPresentAlertView(UIAlertView& alertView) { (void)alertView; }
  virtual void didPresentAlertView(UIAlertView& alertView) { (void)alertView; }
  virtual void alertViewWillDismissWithButtonIndex(UIAlertView& alertView, int buttonIndex) {
    (void)alertView, (void)buttonIndex;
  }
  virtual void alertViewDidDismissWithButtonIndex(UIAlertView& alertView, int buttonIndex) {
    (void)alertView, (void)buttonIndex;
  }
};

class UIAlertView : public KMAlertPanel {
 public:
  UIAlertView(std::string title, std::string message, std::weak_ptr<UIAlertViewDelegate> delegate,
              std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles);

  const std::string& message() const { return m_message; }
  void setMessage(std::string message) { m_message = std::move(message); }
  std::shared_ptr<UIAlertViewDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<UIAlertViewDelegate> delegate) { m_delegate = std::move(delegate); }

  void drawRect(cairo_t* context, CGRect rect) override;

 protected:
  void buildContent(CGRect windowBounds) override;
  void willPresent() override;
  void didPresent() override;
  void clickedButtonAtIndex(int index) override;
  void willDismissWithButtonIndex(int index) override;
  void didDismissWithButtonIndex(int index) override;

 private:
  std::string m_message;
  std::weak_ptr<UIAlertViewDelegate> m_delegate;
};

}  // namespace kdisk
