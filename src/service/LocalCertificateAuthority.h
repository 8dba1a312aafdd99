#pragma once

#include "service/HttpServer.h"

#include <filesystem>
#include <optional>
#include <string>

namespace kdisk::service {

// The service's own CA, made in DIR/tls at first start and kept, so a client told
// once to trust DIR/tls/ca.pem keeps verifying across restarts. The server
// certificate (127.0.0.1 and localhost) is re-issued from that CA when missing.
class LocalCertificateAuthority {
public:
  static std::optional<LocalCertificateAuthority> open(const std::filesystem::path& folder,
                                                       std::string& error);

  const std::filesystem::path& caCertificatePath() const { return m_caPath; }
  const TlsIdentity& serverIdentity() const { return m_server; }

private:
  std::filesystem::path m_caPath;
  TlsIdentity m_server;
};

} // namespace kdisk::service
