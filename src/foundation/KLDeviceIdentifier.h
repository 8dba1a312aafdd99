#pragma once
// The device identifier the service assigns, kept in the keychain item that the
// maker's applications on this device share: a generic password of service
// "Shared Mobile Device ID" in the access group <prefix>ru.kalumo.mobile.shared-device-id,
// whose secret data is the identifier as UTF-8 text.
//
// Cheap to create; reads and writes go straight to the keychain, which is
// thread-safe, so any thread may use one.

#include <optional>
#include <string>

#include "platform/Expected.h"
#include "platform/Keychain.h"

namespace kdisk {

inline constexpr const char* kKLSharedDeviceIDService = "Shared Mobile Device ID";
inline constexpr const char* kKLSharedDeviceIDAccessGroupSuffix =
    "ru.kalumo.mobile.shared-device-id";

class KLDeviceIdentifier {
 public:
  // Without a prefix the access group is the bare suffix.
  KLDeviceIdentifier() : KLDeviceIdentifier(std::nullopt) {}
  explicit KLDeviceIdentifier(std::optional<std::string> applicationIdentifierPrefix,
                              Keychain& keychain = Keychain::shared());

  // Nothing when no item exists, its identifier is empty, or the keychain fails.
  std::optional<std::string> deviceID() const;
  // Creates the item (empty account, label and description) or replaces its data.
  Status setDeviceID(const std::string& deviceID);

  const std::string& accessGroup() const { return m_accessGroup; }

 private:
  Keychain& m_keychain;
  std::string m_accessGroup;
};

}  // namespace kdisk
