#include "uikit/gtk/KMWebKitEngine.h"

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <cmath>

#include "platform/GLibOwners.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "uikit/UIWindow.h"

namespace kdisk {
namespace {

std::shared_ptr<spdlog::logger> log() {
  return logger("KMWebKitEngine", LogLevel::Warning);
}

// One profile for every web view of the process, made at first use.
WebKitNetworkSession* sharedSession(const KMWebKitPlacementHost& host) {
  static WebKitNetworkSession* session = [&host] {
    const std::string folder = host.profileDirectory ? host.profileDirectory() : std::string();
    if (g_mkdir_with_parents(folder.c_str(), 0700) != 0)
      log()->error("Cannot make the web profile folder {}", folder);
    WebKitNetworkSession* result =
        webkit_network_session_new(folder.c_str(), (folder + "/cache").c_str());
    webkit_network_session_set_tls_errors_policy(result, WEBKIT_TLS_ERRORS_POLICY_FAIL);
    WebKitCookieManager* cookies = webkit_network_session_get_cookie_manager(result);
    webkit_cookie_manager_set_persistent_storage(cookies, (folder + "/cookies.sqlite").c_str(),
                                                 WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY);
    return result;
  }();
  return session;
}

UIWebViewNavigationType navigationType(WebKitNavigationType type) {
  switch (type) {
  case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
    return UIWebViewNavigationType::LinkClicked;
  case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
    return UIWebViewNavigationType::FormSubmitted;
  case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
    return UIWebViewNavigationType::BackForward;
  case WEBKIT_NAVIGATION_TYPE_RELOAD:
    return UIWebViewNavigationType::Reload;
  case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED:
    return UIWebViewNavigationType::FormResubmitted;
  default:
    return UIWebViewNavigationType::Other;
  }
}

// Whether the certificate chains to the extra CA the client trusts for `uri`'s host.
bool trustedByExtraAuthority(const KMWebKitPlacementHost& host, GTlsCertificate* certificate, const char* uri) {
  const std::optional<std::string> file =
      host.extraCertificateAuthorityFile ? host.extraCertificateAuthorityFile() : std::nullopt;
  if (!file || !certificate)
    return false;
  GError* error = nullptr;
  const glib::Object<GTlsCertificate> authority(
      g_tls_certificate_new_from_file(file->c_str(), &error));
  if (!authority) {
    const glib::Error failure(error);
    log()->error("Cannot read the extra certificate authority {}: {}", *file,
                 failure ? failure->message : "");
    return false;
  }
  const glib::Uri parsed(g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr));
  const glib::Object<GSocketConnectable> identity(
      parsed ? g_network_address_new(g_uri_get_host(parsed.get()),
                                     std::max(0, g_uri_get_port(parsed.get())))
             : nullptr);
  const GTlsCertificateFlags flags =
      g_tls_certificate_verify(certificate, identity.get(), authority.get());
  return flags == 0;
}

} // namespace

struct KMWebKitEngine::Implementation {
  struct PendingFinish {
    Implementation* self;
    std::weak_ptr<bool> alive;
  };

  UIWebView& view;
  std::shared_ptr<KMWebKitPlacementHost> host;
  glib::Object<WebKitWebView> owner;
  WebKitWebView* webView = nullptr;
  bool inOverlay = false;
  bool failed = false;
  bool placementQueued = false;
  // "document.title" as the page had it when its load finished.
  std::optional<std::string> finishedTitle;
  // Posted work checks this before touching an engine that may be gone.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  Implementation(UIWebView& view, std::shared_ptr<KMWebKitPlacementHost> host)
      : view(view), host(std::move(host)) {}

  GtkWidget* widget() const { return GTK_WIDGET(webView); }
  const KMWebKitPlacementHost& lentHost() const {
    static const KMWebKitPlacementHost none;
    return host ? *host : none;
  }

  void place() {
    placementQueued = false;
    GtkOverlay* overlay = host ? host->overlay : nullptr;
    if (!overlay)
      return;
    if (!view.window()) {
      // Our own reference keeps the page alive while it is out of the window.
      if (inOverlay)
        gtk_overlay_remove_overlay(overlay, widget());
      inOverlay = false;
      return;
    }
    if (!view.isShownInWindow()) {
      if (inOverlay)
        gtk_widget_set_visible(widget(), FALSE);
      return;
    }
    const double scale = host->scale ? host->scale() : 1;
    const CGRect rect = view.convertRectToView(view.bounds(), nullptr);
    if (!inOverlay) {
      gtk_widget_set_halign(widget(), GTK_ALIGN_START);
      gtk_widget_set_valign(widget(), GTK_ALIGN_START);
      gtk_overlay_add_overlay(overlay, widget());
      inOverlay = true;
    }
    gtk_widget_set_margin_start(widget(), int(std::lround(rect.origin.x * scale)));
    gtk_widget_set_margin_top(widget(), int(std::lround(rect.origin.y * scale)));
    gtk_widget_set_size_request(widget(), int(std::lround(rect.size.width * scale)),
                                int(std::lround(rect.size.height * scale)));
    gtk_widget_set_visible(widget(), TRUE);
  }

  void queuePlacement() {
    if (placementQueued)
      return;
    placementQueued = true;
    // Not from inside a draw: moving a widget while GTK snapshots is refused.
    RunLoop::main().post([this, alive = std::weak_ptr<bool>(alive)] {
      if (alive.lock())
        place();
    });
  }

  static gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                               WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
      return FALSE;
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const std::optional<URL> url = uri ? URL::fromString(uri) : std::nullopt;
    // The engine's own blank pages are not navigations anyone asked for.
    if (url && url->scheme() == "about")
      return FALSE;
    const bool allowed =
        url && self->view.engineShouldStartLoad(
                   *url, navigationType(webkit_navigation_action_get_navigation_type(action)));
    if (!allowed) {
      webkit_policy_decision_ignore(decision);
    } else if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
      // One window: a page that asks for a new one gets this one.
      webkit_policy_decision_ignore(decision);
      webkit_web_view_load_uri(self->webView, uri);
    } else {
      webkit_policy_decision_use(decision);
    }
    return TRUE;
  }

  static void loadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    if (event == WEBKIT_LOAD_STARTED) {
      self->failed = false;
      self->view.engineDidStartLoad();
    } else if (event == WEBKIT_LOAD_FINISHED && !self->failed) {
      // The title reaches the engine's "title" property only after the load
      // ends; the document has it now.
      self->finishedTitle.reset();
      std::weak_ptr<bool> alive = self->alive;
      webkit_web_view_evaluate_javascript(
          self->webView, "document.title", -1, nullptr, nullptr, nullptr,
          [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* pending = static_cast<PendingFinish*>(data);
            std::unique_ptr<PendingFinish> owned(pending);
            GError* error = nullptr;
            const glib::Object<JSCValue> value(
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error));
            g_clear_error(&error);
            std::string title;
            if (value && jsc_value_is_string(value.get())) {
              const glib::Text text(jsc_value_to_string(value.get()));
              title = text ? text.get() : "";
            }
            if (!pending->alive.lock()) return;
            pending->self->finishedTitle = title;
            pending->self->view.engineDidFinishLoad();
          },
          new PendingFinish{self, alive});
    }
  }

  static gboolean loadFailed(WebKitWebView*, WebKitLoadEvent, const char* uri, GError* error,
                             gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    self->failed = true;
    self->view.engineDidFailLoad(
        KMError(kKMWebKitErrorDomain, error ? error->code : 0,
                error ? error->message : std::string("Load failed: ") + (uri ? uri : "")));
    return FALSE;
  }

  static gboolean loadFailedWithTLSErrors(WebKitWebView* webView, const char* uri,
                                          GTlsCertificate* certificate, GTlsCertificateFlags errors,
                                          gpointer data) {
    const KMWebKitPlacementHost& host = static_cast<Implementation*>(data)->lentHost();
    if (trustedByExtraAuthority(host, certificate, uri)) {
      if (const glib::Uri parsed{g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr)}) {
        webkit_network_session_allow_tls_certificate_for_host(sharedSession(host), certificate,
                                                              g_uri_get_host(parsed.get()));
        webkit_web_view_load_uri(webView, uri);
        return TRUE;
      }
    }
    log()->error("Refused {}: its certificate is not trusted (flags {:#x})", uri ? uri : "",
                 unsigned(errors));
    return FALSE;
  }
};

KMWebKitEngine::KMWebKitEngine(UIWebView& view, std::shared_ptr<KMWebKitPlacementHost> host)
    : m_implementation(std::make_unique<Implementation>(view, std::move(host))) {
  auto& self = *m_implementation;
  if (self.host)
    self.host->engines.insert(this);
  self.owner.reset(WEBKIT_WEB_VIEW(g_object_ref_sink(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", sharedSession(self.lentHost()), nullptr))));
  self.webView = self.owner.get();
  g_signal_connect(self.webView, "decide-policy", G_CALLBACK(Implementation::decidePolicy), &self);
  g_signal_connect(self.webView, "load-changed", G_CALLBACK(Implementation::loadChanged), &self);
  g_signal_connect(self.webView, "load-failed", G_CALLBACK(Implementation::loadFailed), &self);
  g_signal_connect(self.webView, "load-failed-with-tls-errors",
                   G_CALLBACK(Implementation::loadFailedWithTLSErrors), &self);
}

KMWebKitEngine::~KMWebKitEngine() {
  auto& self = *m_implementation;
  *self.alive = false;
  if (self.host)
    self.host->engines.erase(this);
  g_signal_handlers_disconnect_by_data(self.webView, &self);
  webkit_web_view_stop_loading(self.webView);
  if (self.inOverlay && self.host && self.host->overlay)
    gtk_overlay_remove_overlay(self.host->overlay, self.widget());
}

void KMWebKitEngine::loadRequest(const URL& url) {
  webkit_web_view_load_uri(m_implementation->webView, url.absoluteString().c_str());
}
void KMWebKitEngine::stopLoading() {
  webkit_web_view_stop_loading(m_implementation->webView);
}
void KMWebKitEngine::reload() {
  webkit_web_view_reload(m_implementation->webView);
}
void KMWebKitEngine::goBack() {
  webkit_web_view_go_back(m_implementation->webView);
}
void KMWebKitEngine::goForward() {
  webkit_web_view_go_forward(m_implementation->webView);
}
bool KMWebKitEngine::canGoBack() const {
  return webkit_web_view_can_go_back(m_implementation->webView);
}
bool KMWebKitEngine::canGoForward() const {
  return webkit_web_view_can_go_forward(m_implementation->webView);
}
bool KMWebKitEngine::isLoading() const {
  return webkit_web_view_is_loading(m_implementation->webView);
}

std::optional<URL> KMWebKitEngine::currentURL() const {
  const char* uri = webkit_web_view_get_uri(m_implementation->webView);
  return uri ? URL::fromString(uri) : std::nullopt;
}

std::string KMWebKitEngine::pageTitle() const {
  if (m_implementation->finishedTitle && !isLoading()) return *m_implementation->finishedTitle;
  const char* title = webkit_web_view_get_title(m_implementation->webView);
  return title ? title : "";
}

void KMWebKitEngine::evaluateJavaScript(
    const std::string& script, std::function<void(std::optional<std::string>)> completion) {
  using Completion = std::function<void(std::optional<std::string>)>;
  auto* pending = new Completion(std::move(completion));
  webkit_web_view_evaluate_javascript(
      m_implementation->webView, script.c_str(), gssize(script.size()), nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Completion> done(static_cast<Completion*>(data));
        GError* error = nullptr;
        const glib::Object<JSCValue> value(
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error));
        std::optional<std::string> text;
        if (value) {
          if (const glib::Text string{jsc_value_to_string(value.get())})
            text = string.get();
        }
        g_clear_error(&error);
        if (*done)
          (*done)(text);
      },
      pending);
}

void KMWebKitEngine::placementChanged() {
  m_implementation->queuePlacement();
}

} // namespace kdisk

// The module's one entry, looked up by name when the host loads it.
extern "C" __attribute__((visibility("default"))) kdisk::UIWebViewEngine*
kdisk_make_webkit_engine(kdisk::UIWebView& view, std::shared_ptr<kdisk::KMWebKitPlacementHost>* host) {
  return new kdisk::KMWebKitEngine(view, *host);
}
