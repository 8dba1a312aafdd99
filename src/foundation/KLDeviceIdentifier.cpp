#include "foundation/KLDeviceIdentifier.h"

#include "platform/Log.h"

namespace kdisk {
namespace {

std::shared_ptr<spdlog::logger> log() { return logger("KLDeviceIdentifier", LogLevel::Warning); }

}  // namespace

KLDeviceIdentifier::KLDeviceIdentifier(std::optional<std::string> applicationIdentifierPrefix,
                                       Keychain& keychain)
    : m_keychain(keychain),
      m_accessGroup(applicationIdentifierPrefix.value_or("") + kKLSharedDeviceIDAccessGroupSuffix) {
}

std::optional<std::string> KLDeviceIdentifier::deviceID() const {
  auto item = m_keychain.findGenericPassword(kKLSharedDeviceIDService, m_accessGroup);
  if (!item.hasValue()) {
    log()->error("Cannot read the device identifier: {}", item.error().localizedDescription);
    return std::nullopt;
  }
  if (!item.value() || item.value()->secret.empty()) return std::nullopt;
  return item.value()->secretText();
}

Status KLDeviceIdentifier::setDeviceID(const std::string& deviceID) {
  KeychainItem item;
  auto existing = m_keychain.findGenericPassword(kKLSharedDeviceIDService, m_accessGroup);
  if (existing.hasValue() && existing.value()) item = *existing.value();
  item.service = kKLSharedDeviceIDService;
  item.accessGroup = m_accessGroup;
  item.setSecretText(deviceID);
  Status status = m_keychain.storeGenericPassword(item);
  if (!status.hasValue())
    log()->error("Cannot store the device identifier: {}", status.error().localizedDescription);
  return status;
}

}  // namespace kdisk
