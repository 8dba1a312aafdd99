#include "foundation/KLApplicationEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/Log.h"
#include "platform/PropertyList.h"

namespace kdisk {
namespace {

std::shared_ptr<spdlog::logger> log() {
  return logger("KLApplicationEnvironment", LogLevel::Warning);
}

// Used when an environment leaves an endpoint out.
constexpr std::string_view kDefaultWebDAVRootURL = "https://webdav.kalumo.ru/disk/";
constexpr std::string_view kDefaultOAuthURL = "https://oauth.kalumo.ru";
constexpr std::string_view kDefaultStartupURL = "http://api.disk.kalumo.ru";
constexpr std::string_view kDefaultUpdateURL = "http://update.kalumo.ru";
constexpr std::string_view kDefaultAccountURL = "https://passport.kalumo.ru";
constexpr std::string_view kDefaultWebSiteURL = "https://www.kalumo.ru";

std::optional<std::string> environmentVariable(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

}  // namespace

void KLRaiseInternalInconsistency(const std::string& reason) {
  // Straight to stderr as well: the logger may not be installed this early.
  std::fprintf(stderr,
               "*** Terminating app due to uncaught exception 'NSInternalInconsistencyException', "
               "reason: '%s'\n",
               reason.c_str());
  std::fflush(stderr);
  log()->error("NSInternalInconsistencyException: {}", reason);
  std::abort();
}

const KLApplicationEnvironment& KLApplicationEnvironment::currentEnvironment() {
  static std::once_flag once;
  static const KLApplicationEnvironment* environment = nullptr;
  std::call_once(once, [] {
    environment = new KLApplicationEnvironment(Bundle::mainBundle(),
                                               environmentVariable("KDISK_ENVIRONMENT"));
  });
  return *environment;
}

KLApplicationEnvironment
KLApplicationEnvironment::createForTesting(const Bundle& bundle,
                                           std::optional<std::string> environmentName) {
  return KLApplicationEnvironment(bundle, std::move(environmentName));
}

KLApplicationEnvironment::KLApplicationEnvironment(const Bundle& bundle,
                                                   std::optional<std::string> environmentName) {
  const std::string file = std::string(kKLApplicationEnvironmentsResource) + ".plist";
  std::optional<std::string> path =
      bundle.pathForResourceOfType(kKLApplicationEnvironmentsResource, "plist");
  if (!path)
    KLRaiseInternalInconsistency(
        "In order to use KLApplicationEnvironment your app bundle must contain " +
        std::string(kKLApplicationEnvironmentsResource) +
        ".plist file that describes content for different build configurations");
  Expected<Dictionary> environments = PropertyList::readDictionaryFile(*path);
  if (!environments.hasValue())
    log()->error("Cannot read {}: {}", *path, environments.error().localizedDescription);
  const Dictionary empty;
  const Dictionary& all = environments.hasValue() ? environments.value() : empty;

  std::optional<std::string> name = environmentName;
  if (name && !find(all, *name))
    log()->error("KDISK_ENVIRONMENT names the environment \"{}\", which {} lacks", *name, file);
  if (!name) name = kdisk::stringForKey(all, kKLCurrentEnvironmentKey);
  const Value* chosen = name ? find(all, *name) : nullptr;
  if (!chosen || !chosen->dictionaryValue())
    KLRaiseInternalInconsistency("Failed to determine current environment by evaluating value of " +
                                 std::string(kKLCurrentEnvironmentKey) + " key in " +
                                 std::string(kKLApplicationEnvironmentsResource) + ".plist file");
  m_name = *name;
  m_values = *chosen->dictionaryValue();

  m_webDAVRootURL = endpoint(kKLWebDAVRootURLKey, "KDISK_WEBDAV_ROOT_URL", kDefaultWebDAVRootURL);
  if (!m_webDAVRootURL.hasDirectoryPath()) m_webDAVRootURL = m_webDAVRootURL.withTrailingSlash();
  m_OAuthURL = endpoint(kKLOAuthURLKey, "KDISK_OAUTH_URL", kDefaultOAuthURL);
  m_startupURL = endpoint(kKLStartupURLKey, "KDISK_STARTUP_URL", kDefaultStartupURL);
  m_updateURL = endpoint(kKLUpdateURLKey, "KDISK_UPDATE_URL", kDefaultUpdateURL);
  m_accountURL = endpoint(kKLAccountURLKey, "KDISK_ACCOUNT_URL", kDefaultAccountURL);
  m_webSiteURL = endpoint(kKLWebSiteURLKey, "KDISK_WEBSITE_URL", kDefaultWebSiteURL);
}

URL KLApplicationEnvironment::endpoint(std::string_view key, const char* variable,
                                       std::string_view fallback) const {
  if (std::optional<std::string> whole = environmentVariable(variable)) {
    if (std::optional<URL> url = URL::fromString(*whole)) return *url;
    log()->error("Ignoring {}: \"{}\" is not an absolute URL", variable, *whole);
  }
  std::optional<URL> url;
  if (std::optional<std::string> configured = stringForKey(key)) {
    url = URL::fromString(*configured);
    if (!url)
      log()->error("Ignoring {} of environment {}: \"{}\" is not an absolute URL", key, m_name,
                   *configured);
  }
  if (!url) url = URL::fromString(fallback);
  if (std::optional<std::string> service = environmentVariable("KDISK_SERVICE_URL")) {
    if (std::optional<URL> origin = URL::fromString(*service)) return url->withOriginOf(*origin);
    log()->error("Ignoring KDISK_SERVICE_URL: \"{}\" is not an absolute URL", *service);
  }
  return *url;
}

std::optional<Value> KLApplicationEnvironment::valueForKey(std::string_view key) const {
  if (const Value* value = find(m_values, key)) return *value;
  return std::nullopt;
}

std::optional<std::string> KLApplicationEnvironment::stringForKey(std::string_view key) const {
  return kdisk::stringForKey(m_values, key);
}

}  // namespace kdisk
