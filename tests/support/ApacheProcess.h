#pragma once
// Apache httpd with mod_dav over a fresh temporary folder, on a free loopback
// port, for the life of the object. Its own configuration file, one process in
// the foreground (-X), modules loaded by path; the system service is untouched.

#include <string>

#include "support/ServerChild.h"
#include "support/TemporaryDirectory.h"

namespace kdisk::test {

class ApacheProcess {
 public:
  ApacheProcess();
  ApacheProcess(const ApacheProcess&) = delete;
  ApacheProcess& operator=(const ApacheProcess&) = delete;

  static bool isAvailable();
  bool isRunning() const { return m_server.isRunning(); }
  int port() const { return m_port; }
  // "http://127.0.0.1:<port>/disk/" + path
  std::string url(const std::string& path = {}) const;
  // The folder served at /disk/.
  std::string davRoot() const { return m_directory.path() + "/root/disk"; }
  std::string errorLog() const;

 private:
  TemporaryDirectory m_directory;
  int m_port = 0;
  ServerChild m_server;
};

}  // namespace kdisk::test
