#pragma once
// Reports the device and application to the service's start-up endpoint and
// keeps the two identifiers it answers with: the installation identifier
// ("UUID", in the settings) and the device identifier (in the keychain item
// shared with the maker's other applications). A good answer starts the usage
// analytics.
//
// Threads: start() blocks the calling thread for the request, so it runs on a
// thread of its own (startOnNewThread()). The settings and the device
// identifier are written on the main thread. A failed request is tried again
// after 1 second on the run clock, on a new thread, at most
// kKMStartupMaxAttempts times in all; the next launch tries anew in any case.

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/URL.h"
#include "platform/Value.h"

namespace kdisk {
class KMSettings;
class Keychain;
}

inline constexpr int kKMStartupMaxAttempts = 3;
inline constexpr double kKMStartupRetryDelaySeconds = 1.0;

class KMStartupOperation : public std::enable_shared_from_this<KMStartupOperation> {
 public:
  using Parameters = std::vector<std::pair<std::string, std::string>>;

  // The main settings and the shared keychain.
  KMStartupOperation();
  KMStartupOperation(kdisk::KMSettings& settings, kdisk::Keychain& keychain);

  void start() { main(); }
  void main() { sendStartupRequest(); }
  void startOnNewThread();

  void sendStartupRequest();
  void didReceiveResponseWithData(const std::string& data) { handleStartupResponseData(data); }
  void handleStartupResponseData(const std::string& data);
  // "UUID" and "DID" as the answer holds them (each optional); nothing for an
  // answer that is not an acceptable document.
  static std::optional<kdisk::Dictionary> startupPreferencesForAnswer(const std::string& data);
  void didFailWithError();
  // "UUID" and "DID", each optional; on the main thread.
  void saveRequiredStartupPreferences(const kdisk::Dictionary& preferences);

  bool isDeviceIdSupported() const;
  std::optional<std::string> getDeviceId() const;
  void setDeviceId(const std::string& deviceId);

  // The request's parameters, in the order they are sent.
  Parameters startupParameters() const;
  // `base` followed by "?" and the escaped "name=value" pairs joined by "&"
  // ("&" instead of "?" when `base` already has a query).
  static std::optional<kdisk::URL> urlWithBaseURLStringAndGETParameters(const std::string& base,
                                                                       const Parameters& parameters);
  // "/disk/startup" below the environment's start-up origin.
  static std::string startupEndpointString();

  void setStartupEndpointForTesting(std::string endpoint) { m_endpointForTesting = std::move(endpoint); }
  // Attempts made so far by this operation.
  int attemptCount() const { return m_attempts; }

 private:
  kdisk::KMSettings& m_settings;
  kdisk::Keychain& m_keychain;
  std::optional<std::string> m_endpointForTesting;
  std::atomic<int> m_attempts{0};
};
