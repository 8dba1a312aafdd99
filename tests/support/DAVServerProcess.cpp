#include "support/DAVServerProcess.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/LoopbackPort.h"

namespace kdisk::test {

namespace {

constexpr const char* kLighttpd = "/usr/sbin/lighttpd";
constexpr const char* kLighttpdWebDAV = "/usr/lib/lighttpd/mod_webdav.so";
constexpr const char* kNginx = "/usr/sbin/nginx";
constexpr const char* kNginxDAVExtension = "/usr/lib/nginx/modules/ngx_http_dav_ext_module.so";
constexpr const char* kRclone = "/usr/bin/rclone";

}  // namespace

bool DAVServerProcess::isAvailable(Kind kind) {
  switch (kind) {
    case Kind::Lighttpd: return ::access(kLighttpd, X_OK) == 0 && ::access(kLighttpdWebDAV, R_OK) == 0;
    case Kind::Nginx: return ::access(kNginx, X_OK) == 0 && ::access(kNginxDAVExtension, R_OK) == 0;
    case Kind::Rclone: return ::access(kRclone, X_OK) == 0;
  }
  return false;
}

void DAVServerProcess::writeConfiguration() {
  const std::string base = m_directory.path();
  const std::string port = std::to_string(m_port);
  if (m_kind == Kind::Lighttpd) {
    std::ofstream(base + "/lighttpd.conf")
        << "server.document-root = \"" << base << "/root\"\n"
        << "server.bind = \"127.0.0.1\"\nserver.port = " << port << "\n"
        << "server.modules = (\"mod_webdav\")\n"
        << "server.errorlog = \"" << base << "/error.log\"\n"
        << "server.upload-dirs = (\"" << base << "/tmp\")\n"
        << "server.max-request-size = 0\n"
        << "webdav.activate = \"enable\"\nwebdav.is-readonly = \"disable\"\n";
  } else if (m_kind == Kind::Nginx) {
    std::ofstream conf(base + "/nginx.conf");
    conf << "load_module " << kNginxDAVExtension << ";\n";
    if (::getuid() == 0) conf << "user root;\n";
    conf << "worker_processes 1;\ndaemon off;\npid " << base << "/nginx.pid;\n"
         << "error_log " << base << "/error.log warn;\n"
         << "events { worker_connections 256; }\n"
         << "http {\n  access_log off;\n";
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
      conf << "  " << temp << "_temp_path " << base << "/tmp/" << temp << ";\n";
    conf << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << base << "/root;\n"
         << "    location /disk/ {\n      dav_methods PUT DELETE MKCOL COPY MOVE;\n"
         << "      dav_ext_methods PROPFIND OPTIONS;\n      create_full_put_path on;\n"
         << "      client_max_body_size 0;\n    }\n  }\n}\n";
  }
}

DAVServerProcess::DAVServerProcess(Kind kind) : m_kind(kind) {
  if (!isAvailable(kind)) return;
  const std::string base = m_directory.path();
  std::filesystem::create_directories(davRoot());
  std::filesystem::create_directories(base + "/tmp");
  m_port = freeLoopbackPort();
  writeConfiguration();

  std::vector<std::string> arguments;
  switch (kind) {
    case Kind::Lighttpd: arguments = {kLighttpd, "-D", "-f", base + "/lighttpd.conf"}; break;
    case Kind::Nginx: arguments = {kNginx, "-c", base + "/nginx.conf", "-p", base + "/"}; break;
    case Kind::Rclone:
      arguments = {kRclone, "serve", "webdav", davRoot(), "--addr", "127.0.0.1:" + std::to_string(m_port),
                   "--baseurl", "/disk", "--config", base + "/rclone.conf", "--log-file", base + "/error.log"};
      break;
  }
  m_server.start(std::move(arguments), m_port, base + "/output.log");
}

std::string DAVServerProcess::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + "/disk/" + path;
}

std::string DAVServerProcess::errorLog() const {
  std::stringstream text;
  for (const char* name : {"/error.log", "/output.log"}) {
    std::ifstream file(m_directory.path() + name);
    text << file.rdbuf();
  }
  return text.str();
}

}  // namespace kdisk::test
