#include "support/ApacheProcess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/LoopbackPort.h"

namespace kdisk::test {

namespace {

constexpr const char* kHttpd = "/usr/sbin/apache2";
constexpr const char* kModules = "/usr/lib/apache2/modules";

}  // namespace

bool ApacheProcess::isAvailable() { return ::access(kHttpd, X_OK) == 0; }

ApacheProcess::ApacheProcess() {
  if (!isAvailable()) return;
  const std::string base = m_directory.path();
  // httpd drops to an unprivileged user when started as root; let it in.
  ::chmod(base.c_str(), 0755);
  ::mkdir((base + "/root").c_str(), 0755);
  ::mkdir(davRoot().c_str(), 0777);
  ::chmod(davRoot().c_str(), 0777);
  ::mkdir((base + "/lock").c_str(), 0777);
  ::chmod((base + "/lock").c_str(), 0777);
  m_port = freeLoopbackPort();
  std::ostringstream config;
  config << "ServerRoot \"" << base << "\"\n"
         << "Listen 127.0.0.1:" << m_port << "\n"
         << "ServerName 127.0.0.1\n"
         << "PidFile \"" << base << "/httpd.pid\"\n"
         << "ErrorLog \"" << base << "/error.log\"\n"
         << "LogLevel warn\n"
         << "TypesConfig /etc/mime.types\n";
  for (const char* module : {"mpm_event", "authz_core", "dav", "dav_fs", "mime", "dir"}) {
    config << "LoadModule " << module << "_module " << kModules << "/mod_" << module << ".so\n";
  }
  if (::getuid() == 0) config << "User daemon\nGroup daemon\n";
  config << "DAVLockDB \"" << base << "/lock/DAVLock\"\n"
         << "DocumentRoot \"" << base << "/root\"\n"
         << "<Directory \"" << base << "/root\">\n  Dav On\n  Require all granted\n  AllowOverride None\n"
         << "</Directory>\n";
  const std::string configPath = base + "/httpd.conf";
  std::ofstream(configPath) << config.str();

  m_server.start({kHttpd, "-X", "-f", configPath}, m_port);
}

std::string ApacheProcess::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + "/disk/" + path;
}

std::string ApacheProcess::errorLog() const {
  std::ifstream file(m_directory.path() + "/error.log");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace kdisk::test
