#include "support/ApacheProcess.h"
#include "support/LoopbackPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/RunLoop.h"

namespace kdisk::test {

namespace {

constexpr const char* kHttpd = "/usr/sbin/apache2";
constexpr const char* kModules = "/usr/lib/apache2/modules";


bool accepts(int port) {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool connected = ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(socket);
  return connected;
}

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

  m_pid = ::fork();
  if (m_pid == 0) {
    ::execl(kHttpd, kHttpd, "-X", "-f", configPath.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const int port = m_port;
  const pid_t pid = m_pid;
  m_ready = RunLoop::main().runUntil(
      [port, pid] {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return true;  // exited: not ready
        return accepts(port);
      },
      15);
  m_ready = m_ready && ::kill(m_pid, 0) == 0 && accepts(m_port);
}

ApacheProcess::~ApacheProcess() {
  if (m_pid <= 0) return;
  ::kill(m_pid, SIGTERM);
  int status = 0;
  ::waitpid(m_pid, &status, 0);
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
