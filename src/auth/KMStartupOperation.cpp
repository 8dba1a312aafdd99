#include "auth/KMStartupOperation.h"

#include <thread>

#include "foundation/KLApplicationEnvironment.h"
#include "foundation/KLDevice.h"
#include "foundation/KLDeviceIdentifier.h"
#include "platform/Bundle.h"
#include "platform/DispatchQueue.h"
#include "platform/KMAnalytics.h"
#include "platform/Keychain.h"
#include "platform/Log.h"
#include "settings/KMSettings.h"
#include "webdav/KMSynchronousHTTP.h"
#include "webdav/KMXMLDocument.h"

namespace {

// This unit logs nothing unless a developer lowers the bar for all units.
auto& log() {
  static auto logger = [] {
    auto made = kdisk::logger("KMStartupOperation", kdisk::LogLevel::Error);
    made->set_level(spdlog::level::off);
    return made;
  }();
  return logger;
}

// A child without a namespace, or in the root's own (a default namespace on
// the answer puts every child there).
std::string childText(const KMXMLElement& root, std::string_view name, bool& present) {
  auto child = root.firstChildElementNamed(name, "");
  if (child.isNull() && !root.namespaceURI().empty()) child = root.firstChildElementNamed(name, root.namespaceURI());
  present = !child.isNull();
  return present ? child.textContent() : std::string();
}

}  // namespace

KMStartupOperation::KMStartupOperation()
    : KMStartupOperation(kdisk::KMSettings::mainSettings(), kdisk::Keychain::shared()) {}

KMStartupOperation::KMStartupOperation(kdisk::KMSettings& settings, kdisk::Keychain& keychain)
    : m_settings(settings), m_keychain(keychain) {}

void KMStartupOperation::startOnNewThread() {
  std::thread([self = shared_from_this()] { self->start(); }).detach();
}

std::string KMStartupOperation::startupEndpointString() {
  std::string text =
      kdisk::KLApplicationEnvironment::currentEnvironment().startupURL().absoluteString();
  while (!text.empty() && text.back() == '/') text.pop_back();
  return text + "/disk/startup";
}

std::optional<kdisk::URL> KMStartupOperation::urlWithBaseURLStringAndGETParameters(
    const std::string& base, const Parameters& parameters) {
  std::string text = base;
  char separator = base.find('?') == std::string::npos ? '?' : '&';
  for (const auto& [name, value] : parameters) {
    text += separator;
    text += kdisk::percentEncode(name) + "=" + kdisk::percentEncode(value);
    separator = '&';
  }
  return kdisk::URL::fromString(text);
}

bool KMStartupOperation::isDeviceIdSupported() const {
  return kdisk::KLApplicationEnvironment::currentEnvironment()
      .stringForKey(kdisk::kKLAppIdentifierPrefixKey)
      .has_value();
}

std::optional<std::string> KMStartupOperation::getDeviceId() const {
  auto prefix = kdisk::KLApplicationEnvironment::currentEnvironment().stringForKey(
      kdisk::kKLAppIdentifierPrefixKey);
  return kdisk::KLDeviceIdentifier(prefix, m_keychain).deviceID();
}

void KMStartupOperation::setDeviceId(const std::string& deviceId) {
  auto prefix = kdisk::KLApplicationEnvironment::currentEnvironment().stringForKey(
      kdisk::kKLAppIdentifierPrefixKey);
  auto status = kdisk::KLDeviceIdentifier(prefix, m_keychain).setDeviceID(deviceId);
  if (!status.hasValue()) log()->error("Device identifier not stored: {}", status.error().description());
}

KMStartupOperation::Parameters KMStartupOperation::startupParameters() const {
  const auto& bundle = kdisk::Bundle::mainBundle();
  Parameters parameters{
      {"app_platform", "iphone"},
      {"manufacturer", "Apple"},
      {"model", kdisk::KLDevice::hardwarePlatform()},
      {"app_version", bundle.objectForInfoDictionaryKey("CFBundleShortVersionString").value_or("")},
      {"os_version", fmt::format("{} {}", kdisk::KLDevice::systemName(),
                                 kdisk::KLDevice::systemVersion())},
  };
  if (auto udid = m_settings.UDID(); !udid.empty()) parameters.emplace_back("UDID", udid);
  if (auto uuid = m_settings.UUID(); uuid && !uuid->empty()) parameters.emplace_back("uuid", *uuid);
  if (isDeviceIdSupported()) parameters.emplace_back("deviceid", getDeviceId().value_or(""));
  return parameters;
}

void KMStartupOperation::sendStartupRequest() {
  ++m_attempts;
  const auto parameters = startupParameters();
  auto url = urlWithBaseURLStringAndGETParameters(
      m_endpointForTesting ? *m_endpointForTesting : startupEndpointString(), parameters);
  if (!url) {
    log()->error("ERROR: Startup request failed (status code = {}, error = {})", -1, "bad URL");
    didFailWithError();
    return;
  }
  // The query carries the installation's and the device's identifiers.
  log()->info("Sent startup: {} ({} parameters)", url->absoluteString().substr(0, url->absoluteString().find('?')),
              parameters.size());

  kdisk::webdav::HTTPRequest request;
  request.URL = *url;
  request.method = "GET";
  request.timeoutInterval = 15;
  request.setValueForHTTPHeaderField("no-cache", "Cache-Control");
  auto result = kdisk::webdav::sendSynchronousRequest(request);
  const int status = result.response ? result.response->statusCode : -1;
  if (!result.error && !result.body.empty() && status == 200) {
    didReceiveResponseWithData(result.body);
    return;
  }
  log()->error("ERROR: Startup request failed (status code = {}, error = {})", status,
               result.error ? result.error->description() : "(null)");
  didFailWithError();
}

void KMStartupOperation::didFailWithError() {
  log()->error("Startup failed.");
  if (m_attempts >= kKMStartupMaxAttempts) return;
  // The fetch thread has no loop of its own: the main loop's clock counts the
  // second and a fresh thread sends again.
  kdisk::RunLoop::main().post([self = shared_from_this()] {
    kdisk::RunLoop::main().postDelayed(kKMStartupRetryDelaySeconds, [self] { self->startOnNewThread(); });
  });
}

std::optional<kdisk::Dictionary> KMStartupOperation::startupPreferencesForAnswer(const std::string& data) {
  auto document = KMXMLDocument::parse(data, KMXMLDocument::Limits{64 * 1024, 16});
  if (!document) return std::nullopt;
  auto root = document->rootElement();
  if (root.isNull()) return std::nullopt;
  kdisk::Dictionary preferences;
  bool present = false;
  if (auto uuid = childText(root, "uuid", present); present) preferences["UUID"] = uuid;
  if (auto deviceId = childText(root, "deviceid", present); present) preferences["DID"] = deviceId;
  return preferences;
}

void KMStartupOperation::handleStartupResponseData(const std::string& data) {
  // The answer holds the identifiers: its size and what it brought, never its text.
  auto preferences = startupPreferencesForAnswer(data);
  if (!preferences) {
    log()->warn("Startup response of {} bytes is not an XML document; ignored.", data.size());
    return;
  }
  log()->info("Startup response: {} bytes, installation identifier {}, device identifier {}.", data.size(),
              preferences->contains("UUID") ? "received" : "absent", preferences->contains("DID") ? "received" : "absent");
  kdisk::dispatchMain([self = shared_from_this(), preferences = std::move(*preferences)] {
    self->saveRequiredStartupPreferences(preferences);
  });
  auto& analytics = kdisk::KMAnalytics::sharedInstance();
  analytics.start();
  analytics.logEvent(kdisk::kKMMVStartUp);
}

void KMStartupOperation::saveRequiredStartupPreferences(const kdisk::Dictionary& preferences) {
  if (auto uuid = kdisk::stringForKey(preferences, "UUID"); uuid && !uuid->empty())
    m_settings.setUUID(*uuid);
  if (auto deviceId = kdisk::stringForKey(preferences, "DID"); deviceId && !deviceId->empty())
    setDeviceId(*deviceId);
}
