#pragma once
// The in-application browser: a web view with back, forward, stop, reload
// and an action button that offers the page to the desktop's browser. Pages
// over http and https load in the view; any other scheme is handed to the
// desktop and refused here. A delegate may veto any load first (the login
// screen catches its token that way). Main thread.
#include <memory>
#include <string>
#include <string_view>

#include "platform/URL.h"
#include "uikit/UIActionSheet.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWebView.h"

namespace kdisk {

class KMWebController;
class UIBarButtonItem;
class UIToolbar;

inline constexpr const char* kKMWebControllerTable = "KMWebController";

class KMWebControllerDelegate {
public:
  virtual ~KMWebControllerDelegate() = default;
  virtual bool webControllerShouldStartLoadWithRequest(KMWebController& controller,
                                                       const URL& request) {
    (void)controller, (void)request;
    return true;
  }
};

class KMWebController : public UIViewController,
                        public UIWebViewDelegate,
                        public UIActionSheetDelegate {
public:
  explicit KMWebController(URL url);
  // Text without a scheme ("kalumo.ru/apps") is taken as an http address.
  static std::shared_ptr<KMWebController> initWithURL(std::string_view urlText);
  static std::optional<URL> URLWithDefaultScheme(std::string_view urlText);

  std::shared_ptr<KMWebControllerDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<KMWebControllerDelegate> delegate) {
    m_delegate = std::move(delegate);
  }
  const URL& request() const { return m_request; }
  bool loading() const { return m_loading; }

  UIWebView* webView() const { return m_webView.get(); }
  UIToolbar* toolbar() const { return m_toolbar.get(); }
  UIBarButtonItem& backButton() const { return *m_backButton; }
  UIBarButtonItem& forwardButton() const { return *m_forwardButton; }
  UIBarButtonItem& stopButton() const { return *m_stopButton; }
  UIBarButtonItem& reloadButton() const { return *m_reloadButton; }
  UIBarButtonItem& actionButton() const { return *m_actionButton; }

  void loadView() override;
  void viewDidLoad() override;

  void actionButtonPressed();

  bool webViewShouldStartLoadWithRequestNavigationType(UIWebView& webView, const URL& request,
                                                       UIWebViewNavigationType type) override;
  void webViewDidStartLoad(UIWebView& webView) override;
  void webViewDidFinishLoad(UIWebView& webView) override;
  void webViewDidFailLoadWithError(UIWebView& webView, const KMError& error) override;
  void actionSheetClickedButtonAtIndex(UIActionSheet& sheet, int buttonIndex) override;

private:
  void updateButtons();
  void loadingEnded();

  URL m_request;
  bool m_loading = false;
  std::weak_ptr<KMWebControllerDelegate> m_delegate;
  std::shared_ptr<UIWebView> m_webView;
  std::shared_ptr<UIToolbar> m_toolbar;
  std::shared_ptr<UIBarButtonItem> m_backButton, m_forwardButton, m_stopButton, m_reloadButton,
      m_actionButton;
  std::shared_ptr<UIActionSheet> m_actionSheet;
};

} // namespace kdisk
