#pragma once
// What the protocol client needs from the application shell, reached through
// hooks so this layer builds before the shell's pieces are wired in.
//
// Set the hooks once at start-up, before any request starts; they are read from
// any thread afterwards (guarded by a lock).

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
// Default (until the shell sets one): "0.00", "0000" and an empty identifier.
void setClientIdentityProvider(ClientIdentityProvider provider);
ClientIdentity currentClientIdentity();

// Looks up (key, fallback, table) in the application's string tables.
using Localizer = std::function<std::string(std::string_view key, std::string_view fallback,
                                            std::string_view table)>;
// Default: the fallback text itself.
void setLocalizer(Localizer localizer);
std::string localizedString(std::string_view key, std::string_view fallback,
                            std::string_view table = {});

}  // namespace kdisk::webdav
