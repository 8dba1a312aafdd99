#pragma once

#include "service/AccountStore.h"
#include "service/ServiceConfig.h"

#include <filesystem>
#include <mutex>
#include <string>

namespace kdisk::service {

class HttpExchange;
class WebPath;

// The WebDAV subset under /disk/ for one signed-in account, plus previews and
// publishing. Every file operation stays below the account's own folder: paths
// reach it only as WebPath segments, and symbolic links are never followed.
class DavHandler {
public:
  DavHandler(const ServiceConfig& config, AccountStore& store);

  void handle(HttpExchange& exchange, const Account& account, const WebPath& path);

  std::filesystem::path rootOf(const Account& account) const;
  std::filesystem::path uploadFolder() const { return m_config.dataFolder / "uploads"; }

  // Serves a regular file with ETag, Last-Modified and single byte ranges,
  // streaming it in pieces.
  static void sendFile(HttpExchange& exchange, const std::filesystem::path& file,
                       const std::string& downloadName);

private:
  void propfind(HttpExchange& exchange, const Account& account, const WebPath& path);
  void get(HttpExchange& exchange, const Account& account, const WebPath& path);
  void preview(HttpExchange& exchange, const std::filesystem::path& file);
  void put(HttpExchange& exchange, const Account& account, const WebPath& path);
  void mkcol(HttpExchange& exchange, const Account& account, const WebPath& path);
  void remove(HttpExchange& exchange, const Account& account, const WebPath& path);
  void post(HttpExchange& exchange, const Account& account, const WebPath& path);

  const ServiceConfig& m_config;
  AccountStore& m_store;
  // Serialises the quota check with the rename that commits an upload.
  std::mutex m_commitMutex;
};

} // namespace kdisk::service
