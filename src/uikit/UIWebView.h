#pragma once
// A view that shows web pages. The pages themselves come from an engine the
// host provides: the GTK host places a real web engine over the view's frame,
// the headless host a stand-in (KMHeadlessWebEngine) that tests drive. Every
// navigation, redirects included, is offered to the delegate before it
// happens, so a screen can catch a URL and refuse its load. Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/KMError.h"
#include "platform/URL.h"
#include "uikit/UIView.h"

namespace kdisk {

class UIWebView;

enum class UIWebViewNavigationType {
  LinkClicked,
  FormSubmitted,
  BackForward,
  Reload,
  FormResubmitted,
  Other
};

// The error a load ends with when the delegate refused a navigation of it
// (a refused redirect, say).
inline constexpr const char* kKMWebKitErrorDomain = "WebKitErrorDomain";
inline constexpr int kKMWebKitErrorFrameLoadInterruptedByPolicyChange = 102;

class UIWebViewDelegate {
public:
  virtual ~UIWebViewDelegate() = default;
  virtual bool webViewShouldStartLoadWithRequestNavigationType(UIWebView& webView,
                                                               const URL& request,
                                                               UIWebViewNavigationType type) {
    (void)webView, (void)request, (void)type;
    return true;
  }
  virtual void webViewDidStartLoad(UIWebView& webView) { (void)webView; }
  virtual void webViewDidFinishLoad(UIWebView& webView) { (void)webView; }
  virtual void webViewDidFailLoadWithError(UIWebView& webView, const KMError& error) {
    (void)webView, (void)error;
  }
};

// What a host puts behind a web view. Engines report back through the
// view's engine… calls below.
class UIWebViewEngine {
public:
  virtual ~UIWebViewEngine() = default;
  virtual void loadRequest(const URL& url) = 0;
  virtual void stopLoading() = 0;
  virtual void reload() = 0;
  virtual void goBack() = 0;
  virtual void goForward() = 0;
  virtual bool canGoBack() const = 0;
  virtual bool canGoForward() const = 0;
  virtual bool isLoading() const = 0;
  virtual std::optional<URL> currentURL() const = 0;
  // The page's "document.title"; empty while there is none.
  virtual std::string pageTitle() const = 0;
  // The view's place on screen may have changed (moved, resized, entered or
  // left a window).
  virtual void placementChanged() {}
  // Runs a script in the page; the completion gets its result as text, or
  // nothing when there is no page or the script failed.
  virtual void evaluateJavaScript(const std::string& script,
                                  std::function<void(std::optional<std::string>)> completion) {
    (void)script;
    if (completion)
      completion(std::nullopt);
  }
  // Drawn inside the view's bounds, for engines that draw into the toolkit.
  virtual void draw(cairo_t* context, CGRect bounds) { (void)context, (void)bounds; }
};

class UIWebView : public UIView {
public:
  using EngineFactory = std::function<std::unique_ptr<UIWebViewEngine>(UIWebView& view)>;

  explicit UIWebView(CGRect frame = CGRectZero);
  ~UIWebView() override;

  // The host's engine for every web view made afterwards; an empty factory
  // brings back the headless stand-in.
  static void setEngineFactory(EngineFactory factory);

  std::shared_ptr<UIWebViewDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<UIWebViewDelegate> delegate) { m_delegate = std::move(delegate); }

  void loadRequest(const URL& url) { m_engine->loadRequest(url); }
  void stopLoading() { m_engine->stopLoading(); }
  void reload() { m_engine->reload(); }
  void goBack() { m_engine->goBack(); }
  void goForward() { m_engine->goForward(); }
  bool canGoBack() const { return m_engine->canGoBack(); }
  bool canGoForward() const { return m_engine->canGoForward(); }
  bool isLoading() const { return m_engine->isLoading(); }
  std::optional<URL> currentURL() const { return m_engine->currentURL(); }
  std::string pageTitle() const { return m_engine->pageTitle(); }
  void evaluateJavaScript(const std::string& script,
                          std::function<void(std::optional<std::string>)> completion = {}) {
    m_engine->evaluateJavaScript(script, std::move(completion));
  }
  UIWebViewEngine& engine() { return *m_engine; }

  // Engine side: asks the delegate, then reports the load's events.
  bool engineShouldStartLoad(const URL& request, UIWebViewNavigationType type);
  void engineDidStartLoad();
  void engineDidFinishLoad();
  void engineDidFailLoad(const KMError& error);

  // Whether the view is in a window, visible, and the front-most view at its
  // centre: where a host's engine shows itself.
  bool isShownInWindow() const;

  void setFrame(CGRect frame) override;
  void didMoveToWindow() override;
  void drawRect(cairo_t* context, CGRect rect) override;

private:
  std::weak_ptr<UIWebViewDelegate> m_delegate;
  std::unique_ptr<UIWebViewEngine> m_engine;
};

} // namespace kdisk
