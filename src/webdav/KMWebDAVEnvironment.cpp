#include "webdav/KMWebDAVEnvironment.h"

#include <mutex>

#include "foundation/KLApplicationVersion.h"
#include "platform/Bundle.h"
#include "settings/KMSettings.h"

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
  return ClientIdentity{appVersionString(), buildNumberString(), KMSettings::mainSettings().UDID()};
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
  return KMLocalizedString(key, fallback, table);
}

}  // namespace kdisk::webdav
