#pragma once
// One of the ordinary WebDAV servers from Debian (lighttpd with mod_webdav,
// nginx with its DAV extension module, rclone's "serve webdav") over a fresh
// temporary folder on a free loopback port, for the life of the object. Each
// gets its own configuration and runs in the foreground; system services and
// their configuration are untouched.

#include <string>

#include "support/ServerChild.h"
#include "support/TemporaryDirectory.h"

namespace kdisk::test {

class DAVServerProcess {
 public:
  enum class Kind { Lighttpd, Nginx, Rclone };

  explicit DAVServerProcess(Kind kind);
  DAVServerProcess(const DAVServerProcess&) = delete;
  DAVServerProcess& operator=(const DAVServerProcess&) = delete;

  static bool isAvailable(Kind kind);
  bool isRunning() const { return m_server.isRunning(); }
  int port() const { return m_port; }
  // "http://127.0.0.1:<port>/disk/" + path
  std::string url(const std::string& path = {}) const;
  // The folder served at /disk/.
  std::string davRoot() const { return m_directory.path() + "/root/disk"; }
  std::string errorLog() const;

 private:
  void writeConfiguration();

  Kind m_kind;
  TemporaryDirectory m_directory;
  int m_port = 0;
  ServerChild m_server;
};

}  // namespace kdisk::test
