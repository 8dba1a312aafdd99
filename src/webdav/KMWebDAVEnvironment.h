#pragma once
// What the protocol client needs from the application shell: its identity for
// the User-Agent and its string tables. Both come from the bundle and the
// settings by default; tests and other programs may replace them.
//
// Set the hooks before any request starts; they are read from any thread
// afterwards (guarded by a lock).

#include <functional>
#include <string>
#include <string_view>

namespace kdisk::webdav {

struct ClientIdentity {
  std::string versionString;  // application version text, e.g. "1.20"
  std::string buildNumberString;
  std::string deviceIdentifier;
};

using ClientIdentityProvider = std::function<ClientIdentity()>;
// Default: the bundle's version texts and the settings' installation identifier.
void setClientIdentityProvider(ClientIdentityProvider provider);
ClientIdentity currentClientIdentity();

// Looks up (key, fallback, table) in the application's string tables.
using Localizer = std::function<std::string(std::string_view key, std::string_view fallback,
                                            std::string_view table)>;
// Default: the main bundle's string tables.
void setLocalizer(Localizer localizer);
std::string localizedString(std::string_view key, std::string_view fallback,
                            std::string_view table = {});

}  // namespace kdisk::webdav
