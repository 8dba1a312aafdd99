#pragma once
// The web engine of the headless host: loads nothing from the network. It
// keeps the history a browser would and asks the view's delegate about every
// navigation; tests play the page's part by making it navigate (a link, a
// form, a redirect) and by ending loads. It draws the page's title and
// address so a rendered screen shows where it is. Main thread.
#include <string>
#include <vector>

#include "uikit/UIWebView.h"

namespace kdisk {

class KMHeadlessWebEngine : public UIWebViewEngine {
public:
  explicit KMHeadlessWebEngine(UIWebView& view) : m_view(view) {}

  // The engine behind `view`, or null when the view has another one.
  static KMHeadlessWebEngine* of(UIWebView& view);

  void loadRequest(const URL& url) override { navigate(url, UIWebViewNavigationType::Other); }
  void stopLoading() override;
  void reload() override;
  void goBack() override;
  void goForward() override;
  bool canGoBack() const override { return m_index > 0; }
  bool canGoForward() const override { return m_index + 1 < m_history.size(); }
  bool isLoading() const override { return m_loading; }
  std::optional<URL> currentURL() const override;
  std::string pageTitle() const override { return m_title; }
  void draw(cairo_t* context, CGRect bounds) override;

  // A new page (link, form, script): offered to the delegate; when allowed it
  // becomes the current page and starts loading. False when refused.
  bool navigate(const URL& url, UIWebViewNavigationType type);
  // The loading page answers with a redirect: offered to the delegate; when
  // allowed it replaces the loading page, when refused the load fails as a
  // browser's does.
  bool redirect(const URL& url);
  // The loading page arrived with this title.
  void finishLoading(std::string title);
  void failLoading(const KMError& error);

  // Every URL offered to the delegate, and those it let through, in order.
  const std::vector<URL>& offeredURLs() const { return m_offered; }
  const std::vector<URL>& startedURLs() const { return m_started; }

private:
  void start(const URL& url);

  UIWebView& m_view;
  std::vector<URL> m_history;
  std::size_t m_index = 0;
  bool m_loading = false;
  std::string m_title;
  std::vector<URL> m_offered;
  std::vector<URL> m_started;
};

} // namespace kdisk
