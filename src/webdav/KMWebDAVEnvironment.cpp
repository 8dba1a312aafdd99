#include "webdav/KMWebDAVEnvironment.h"

#include <mutex>

namespace kdisk::webdav {

namespace {

std::mutex& hookLock() {
  static std::mutex lock;
  return lock;
}
ClientIdentityProvider& identityProvider() {
  static ClientIdentityProvider provider;
  return provider;
}
Localizer& localizer() {
  static Localizer function;
  return function;
}

}  // namespace

void setClientIdentityProvider(ClientIdentityProvider provider) {
  std::lock_guard guard(hookLock());
  identityProvider() = std::move(provider);
}

ClientIdentity currentClientIdentity() {
  ClientIdentityProvider provider;
  {
    std::lock_guard guard(hookLock());
    provider = identityProvider();
  }
  if (provider) return provider();
  // The bundle's reader is not linked into every program yet; the shell sets
  // the provider from its version texts and the device identifier.
  return ClientIdentity{"0.00", "0000", ""};
}

void setLocalizer(Localizer function) {
  std::lock_guard guard(hookLock());
  localizer() = std::move(function);
}

std::string localizedString(std::string_view key, std::string_view fallback, std::string_view table) {
  Localizer function;
  {
    std::lock_guard guard(hookLock());
    function = localizer();
  }
  if (function) return function(key, fallback, table);
  return std::string(fallback);
}

}  // namespace kdisk::webdav
