#pragma once
// A store of generic-password items (service, account, label, description,
// access group and secret data), shared with the maker's other applications.
//
// The shared keychain uses the Secret Service (libsecret) when one answers
// within a short probe, so a headless machine never hangs on D-Bus; otherwise,
// or when KDISK_KEYCHAIN=file, it keeps the items in one 0600 file in
// paths::keychainDirectory(). KDISK_KEYCHAIN=secret-service skips the probe.
//
// Thread-safe: each keychain serialises its own operations.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Expected.h"
#include "platform/Value.h"

namespace kdisk {

inline constexpr const char* kKMKeychainErrorDomain = "KMKeychainErrorDomain";

struct KeychainItem {
  std::string service;
  std::string account;
  std::string label;
  std::string description;
  std::string accessGroup;
  Bytes secret;

  std::string secretText() const { return std::string(secret.begin(), secret.end()); }
  void setSecretText(std::string_view text) { secret.assign(text.begin(), text.end()); }
  bool operator==(const KeychainItem&) const = default;
};

class Keychain {
 public:
  enum class Backend { SecretService, File };

  static Keychain& shared();
  // The file store in `directory` (created 0700 on first write).
  static std::unique_ptr<Keychain> createFileKeychain(std::string directory);
  // Nothing when no Secret Service answers within `probeSeconds`.
  static std::unique_ptr<Keychain> createSecretServiceKeychain(double probeSeconds);

  virtual ~Keychain() = default;
  virtual Backend backend() const = 0;

  // The generic-password item of `service` in `accessGroup`; nothing when absent.
  virtual Expected<std::optional<KeychainItem>>
  findGenericPassword(std::string_view service, std::string_view accessGroup) = 0;
  // Adds the item, replacing one of the same service and access group.
  virtual Status storeGenericPassword(const KeychainItem& item) = 0;
  virtual Status deleteGenericPassword(std::string_view service, std::string_view accessGroup) = 0;
};

// Path of the file store's single file inside `directory`.
std::string keychainFilePath(const std::string& directory);

}  // namespace kdisk
