#pragma once
// The build environment the client runs in: one dictionary of the bundle's
// "KLApplicationEnvironments.plist", chosen by its "Current Environment" value
// or by $KDISK_ENVIRONMENT. Besides "AppIdentifierPrefix" it carries the
// service's endpoints, so the environment "Local" points the client at a local
// service. Endpoints can also be moved one by one for tests:
//   KDISK_SERVICE_URL      replaces scheme, host and port of every endpoint
//   KDISK_WEBDAV_ROOT_URL  KDISK_OAUTH_URL  KDISK_STARTUP_URL  KDISK_UPDATE_URL
//   KDISK_ACCOUNT_URL  KDISK_WEBSITE_URL
//                          replace one endpoint whole (and win over the above)
//
// One instance per process, created under a lock at first use; immutable, so
// safe to read from any thread. A bundle without the resource, or a resource
// without a usable environment, stops the program: that is a broken build.

#include <optional>
#include <string>
#include <string_view>

#include "platform/Bundle.h"
#include "platform/URL.h"
#include "platform/Value.h"

namespace kdisk {

inline constexpr const char* kKLApplicationEnvironmentsResource = "KLApplicationEnvironments";
inline constexpr const char* kKLCurrentEnvironmentKey = "Current Environment";
inline constexpr const char* kKLAppIdentifierPrefixKey = "AppIdentifierPrefix";
// Endpoint keys of one environment's dictionary.
inline constexpr const char* kKLWebDAVRootURLKey = "WebDAVRootURL";
inline constexpr const char* kKLOAuthURLKey = "OAuthURL";
inline constexpr const char* kKLStartupURLKey = "StartupURL";
inline constexpr const char* kKLUpdateURLKey = "UpdateURL";
inline constexpr const char* kKLAccountURLKey = "AccountURL";
inline constexpr const char* kKLWebSiteURLKey = "WebSiteURL";

class KLApplicationEnvironment {
 public:
  static const KLApplicationEnvironment& currentEnvironment();
  // Built the same way from `bundle`, with `environmentName` standing in for
  // $KDISK_ENVIRONMENT; stops the program the same way.
  static KLApplicationEnvironment createForTesting(const Bundle& bundle,
                                                   std::optional<std::string> environmentName = {});

  const std::string& name() const { return m_name; }
  const Dictionary& dictionary() const { return m_values; }
  // Nothing when the environment has no such key.
  std::optional<Value> valueForKey(std::string_view key) const;
  std::optional<std::string> stringForKey(std::string_view key) const;

  // The service's WebDAV root, ending in "/disk/".
  URL webDAVRootURL() const { return m_webDAVRootURL; }
  // Origins of the OAuth, start-up and update services; the paths below them
  // ("/token", "/disk/startup", "/update/") belong to their clients.
  URL OAuthURL() const { return m_OAuthURL; }
  URL startupURL() const { return m_startupURL; }
  URL updateURL() const { return m_updateURL; }
  // Origins of the account pages (registration, password recovery) and of the
  // maker's web site (other applications, licence); the string tables hold
  // the paths below them.
  URL accountURL() const { return m_accountURL; }
  URL webSiteURL() const { return m_webSiteURL; }

 private:
  KLApplicationEnvironment(const Bundle& bundle, std::optional<std::string> environmentName);
  URL endpoint(std::string_view key, const char* variable, std::string_view fallback) const;

  std::string m_name;
  Dictionary m_values;
  URL m_webDAVRootURL, m_OAuthURL, m_startupURL, m_updateURL, m_accountURL, m_webSiteURL;
};

// Stops the program after logging `reason` as an internal-inconsistency error.
[[noreturn]] void KLRaiseInternalInconsistency(const std::string& reason);

}  // namespace kdisk
