#pragma once
// The GTK host's web engine: a WebKitGTK view laid over the toolkit view's
// place in the window, following it when the view moves or the window
// resizes and taken away when the view leaves the window or something is
// drawn over it. Each navigation, redirects included, is offered to the view's
// delegate through WebKit's navigation policy before it happens. Pages keep
// their cookies and storage in the application's own web profile; TLS errors
// end the load unless the certificate chains to the extra CA the client
// trusts ($KDISK_EXTRA_CA_FILE or the transport's setting). Main thread.
//
// WebKitGTK and its hundred libraries cost a start-up that never shows a
// page dearly, so the engine lives in a module (kdisk-webkit.so) the host
// loads when the first web view is made; it takes from the program only what
// the program already holds (the toolkit, the run loop, the log).
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "uikit/UIWebView.h"

typedef struct _GtkOverlay GtkOverlay;

namespace kdisk {

// What the host lends its web views: the overlay they are placed in and the
// scale from window points to overlay pixels.
// The host re-places every live engine after each frame, so pages follow
// moves of any ancestor view too.
struct KMWebKitPlacementHost {
  GtkOverlay* overlay = nullptr;
  std::function<double()> scale;
  std::set<UIWebViewEngine*> engines;
  // The extra certificate authority the client trusts, if any.
  std::function<std::optional<std::string>()> extraCertificateAuthorityFile;
  // The folder of the web profile.
  std::function<std::string()> profileDirectory;
};

// A web engine from the module, loaded at the first call; nothing (and the
// headless stand-in takes over) when the module cannot be loaded.
std::unique_ptr<UIWebViewEngine> makeWebKitEngine(UIWebView& view, std::shared_ptr<KMWebKitPlacementHost> host);

class KMWebKitEngine : public UIWebViewEngine {
public:
  KMWebKitEngine(UIWebView& view, std::shared_ptr<KMWebKitPlacementHost> host);
  ~KMWebKitEngine() override;

  void loadRequest(const URL& url) override;
  void stopLoading() override;
  void reload() override;
  void goBack() override;
  void goForward() override;
  bool canGoBack() const override;
  bool canGoForward() const override;
  bool isLoading() const override;
  std::optional<URL> currentURL() const override;
  std::string pageTitle() const override;
  void evaluateJavaScript(const std::string& script,
                          std::function<void(std::optional<std::string>)> completion) override;
  void placementChanged() override;

private:
  struct Implementation;
  std::unique_ptr<Implementation> m_implementation;
};

} // namespace kdisk
