#include "support/ServiceProcess.h"

#include "support/HttpClient.h"

#include <nlohmann/json.hpp>
#include <openssl/rand.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef KDISK_BINARY_DIR
#define KDISK_BINARY_DIR "."
#endif

namespace kdisk::test {

namespace {

std::string randomSecret() {
  unsigned char bytes[16];
  RAND_bytes(bytes, sizeof bytes);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : bytes) {
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 15]);
  }
  return text;
}

std::string formEncode(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

// Waits for a child to end within `timeout`, using a pidfd so no polling loop is
// needed; returns the wait status or nullopt.
std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds timeout) {
  int status = 0;
  if (::waitpid(pid, &status, WNOHANG) == pid) return status;
  int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd watch{pidfd, POLLIN, 0};
    ::poll(&watch, 1, static_cast<int>(timeout.count()));
    ::close(pidfd);
    if (::waitpid(pid, &status, WNOHANG) == pid) return status;
    return std::nullopt;
  }
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return status;
    ::poll(nullptr, 0, 20);
  }
  return std::nullopt;
}

} // namespace

std::filesystem::path ServiceProcess::binaryPath() {
  if (const char* overridden = std::getenv("KDISK_SERVICE_BINARY")) return overridden;
  return std::filesystem::path(KDISK_BINARY_DIR) / "bin" / "kdisk-service";
}

ServiceProcess::~ServiceProcess() {
  stop();
  std::error_code ec;
  if (!m_workFolder.empty()) std::filesystem::remove_all(m_workFolder, ec);
}

bool ServiceProcess::start(const ServiceOptions& options) {
  if (m_pid > 0) stop();
  m_options = options;
  m_error.clear();
  if (m_workFolder.empty()) {
    auto base = std::filesystem::temp_directory_path() / "kdisk-service-XXXXXX";
    std::string pattern = base.string();
    if (!::mkdtemp(pattern.data())) {
      m_error = "mkdtemp failed";
      return false;
    }
    m_workFolder = pattern;
  }
  if (!options.dataFolder.empty()) {
    m_dataFolder = options.dataFolder;
  } else if (m_dataFolder.empty()) {
    m_dataFolder = m_workFolder / "data";
    m_ownsDataFolder = true;
  }
  const auto readyFile = m_workFolder / "ready";
  const auto logFile = m_workFolder / "service.log";
  std::error_code ec;
  std::filesystem::remove(readyFile, ec);

  m_endpoints = {};
  if (options.faultInjection) m_endpoints.adminSecret = randomSecret();
  std::vector<std::string> arguments = {binaryPath().string(), "--data", m_dataFolder.string(),
                                        "--port", std::to_string(options.httpPort),
                                        "--https-port", std::to_string(options.httpsPort),
                                        "--ready-file",
                                        readyFile.string()};
  for (const auto& [login, password] : options.users) {
    arguments.push_back("--user");
    arguments.push_back(login + ":" + password);
  }
  if (options.seedDemo) arguments.push_back("--seed-demo");
  if (options.quotaBytes) {
    arguments.push_back("--quota");
    arguments.push_back(std::to_string(*options.quotaBytes));
  }
  if (options.maxFileSizeBytes) {
    arguments.push_back("--max-file-size");
    arguments.push_back(std::to_string(*options.maxFileSizeBytes));
  }
  if (!m_endpoints.adminSecret.empty()) {
    arguments.push_back("--admin-secret");
    arguments.push_back(m_endpoints.adminSecret);
  }
  arguments.insert(arguments.end(), options.extraArguments.begin(), options.extraArguments.end());

  // Watch before the child exists, so the ready file cannot slip past us.
  int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch >= 0) ::inotify_add_watch(watch, m_workFolder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);

  pid_t pid = ::fork();
  if (pid < 0) {
    m_error = "fork failed";
    if (watch >= 0) ::close(watch);
    return false;
  }
  if (pid == 0) {
    int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (log >= 0) {
      ::dup2(log, 1);
      ::dup2(log, 2);
    }
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  m_pid = pid;
  m_endpoints.pid = pid;

  auto deadline = std::chrono::steady_clock::now() + options.readyTimeout;
  int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  bool ready = false;
  while (!ready) {
    if (std::filesystem::exists(readyFile)) {
      ready = true;
      break;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fds[2] = {{watch, POLLIN, 0}, {pidfd, POLLIN, 0}};
    int count = pidfd >= 0 ? 2 : 1;
    // Without a pidfd, wake now and then to notice an early exit.
    int wait = pidfd >= 0 ? static_cast<int>(left.count())
                          : static_cast<int>(std::min<long>(left.count(), 100));
    ::poll(fds, static_cast<nfds_t>(count), wait);
    if (watch >= 0 && (fds[0].revents & POLLIN)) {
      char events[4096];
      while (::read(watch, events, sizeof events) > 0) {
      }
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      m_pid = 0;
      m_error = "kdisk-service exited before it was ready:\n" + logTail();
      break;
    }
  }
  if (watch >= 0) ::close(watch);
  if (pidfd >= 0) ::close(pidfd);
  if (!ready) {
    if (m_error.empty()) m_error = "kdisk-service was not ready in time:\n" + logTail();
    if (m_pid > 0) kill();
    return false;
  }

  std::ifstream in(readyFile);
  std::string line;
  while (std::getline(in, line)) {
    auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "http") m_endpoints.httpBaseURL = value;
    if (key == "https") m_endpoints.httpsBaseURL = value;
    if (key == "ca") m_endpoints.caCertificate = value;
  }
  if (m_endpoints.httpBaseURL.empty() || m_endpoints.httpsBaseURL.empty()) {
    m_error = "the ready file lacks the base URLs";
    kill();
    return false;
  }
  return true;
}

std::string ServiceProcess::logTail() const {
  std::ifstream in(m_workFolder / "service.log");
  std::stringstream text;
  text << in.rdbuf();
  std::string all = text.str();
  return all.size() > 4000 ? all.substr(all.size() - 4000) : all;
}

int ServiceProcess::stop() {
  if (m_pid <= 0) return -1;
  ::kill(m_pid, SIGTERM);
  auto status = waitForExit(m_pid, std::chrono::seconds(15));
  if (!status) {
    kill();
    return -1;
  }
  m_pid = 0;
  return WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

void ServiceProcess::kill() {
  if (m_pid <= 0) return;
  ::kill(m_pid, SIGKILL);
  int status = 0;
  ::waitpid(m_pid, &status, 0);
  m_pid = 0;
}

bool ServiceProcess::restart() {
  const ServiceEndpoints previous = m_endpoints;
  stop();
  ServiceOptions options = m_options;
  options.dataFolder = m_dataFolder;
  options.seedDemo = false;
  auto portOf = [](const std::string& base) {
    const auto colon = base.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(base.c_str() + colon + 1);
  };
  options.httpPort = portOf(previous.httpBaseURL);
  options.httpsPort = portOf(previous.httpsBaseURL);
  return start(options);
}

std::optional<std::string> ServiceProcess::signIn(const std::string& login,
                                                  const std::string& password) const {
  HttpCall call;
  call.method = "POST";
  call.url = m_endpoints.httpsBaseURL + "/token";
  call.caFile = m_endpoints.caCertificate;
  call.headers = {"Content-Type: application/x-www-form-urlencoded"};
  call.body = "grant_type=password&username=" + formEncode(login) +
              "&password=" + formEncode(password) +
              "&client_id=3c5e9a7b1d2f4e60a8b7c6d5e4f30a21"
              "&client_secret=7e1d4c2b9a8f4b3e96d5c0a1b2e3f405&scope=kadisk:all";
  auto reply = perform(call);
  auto json = nlohmann::json::parse(reply.body, nullptr, false);
  if (json.is_discarded() || !json.contains("access_token")) return std::nullopt;
  return json["access_token"].get<std::string>();
}

std::optional<std::string> ServiceFaults::call(const std::string& method, const std::string& path,
                                               const std::string& body, long expected) {
  HttpCall call;
  call.method = method;
  call.url = m_base + path;
  call.headers = {"X-Kdisk-Admin-Secret: " + m_secret, "Content-Type: application/json"};
  if (!body.empty()) call.body = body;
  auto reply = perform(call);
  if (reply.status != expected) return std::nullopt;
  return reply.body;
}

bool ServiceFaults::addRule(const std::string& json) {
  return call("POST", "/admin/faults", json, 201).has_value();
}

bool ServiceFaults::addLatency(std::chrono::milliseconds delay, const std::string& method,
                               const std::string& path, unsigned count) {
  return addRule(nlohmann::json{{"action", "latency"}, {"ms", delay.count()}, {"method", method},
                                {"path", path}, {"count", count}}
                     .dump());
}

bool ServiceFaults::failNext(const std::string& method, const std::string& path, unsigned status,
                             unsigned count) {
  return addRule(nlohmann::json{{"action", "status"}, {"status", status}, {"method", method},
                                {"path", path}, {"count", count}}
                     .dump());
}

bool ServiceFaults::cutRequestBodyAfter(const std::string& method, const std::string& path,
                                        std::uint64_t bytes, unsigned count) {
  return addRule(nlohmann::json{{"action", "cut-request"}, {"bytes", bytes}, {"method", method},
                                {"path", path}, {"count", count}}
                     .dump());
}

bool ServiceFaults::cutResponseBodyAfter(const std::string& method, const std::string& path,
                                         std::uint64_t bytes, unsigned count) {
  return addRule(nlohmann::json{{"action", "cut-response"}, {"bytes", bytes}, {"method", method},
                                {"path", path}, {"count", count}}
                     .dump());
}

bool ServiceFaults::loseAnswer(const std::string& method, const std::string& path, unsigned count) {
  return addRule(nlohmann::json{{"action", "lose-answer"}, {"method", method}, {"path", path}, {"count", count}}
                     .dump());
}

bool ServiceFaults::stall(const std::string& method, const std::string& path,
                          std::chrono::milliseconds duration, unsigned count) {
  return addRule(nlohmann::json{{"action", "stall"}, {"ms", duration.count()}, {"method", method},
                                {"path", path}, {"count", count}}
                     .dump());
}

std::optional<int> ServiceFaults::hold(const std::string& method, const std::string& path,
                                       unsigned status, unsigned count) {
  auto body = call("POST", "/admin/faults",
                   nlohmann::json{{"action", "hold"}, {"status", status}, {"method", method},
                                  {"path", path}, {"count", count}}
                       .dump(),
                   201);
  auto json = body ? nlohmann::json::parse(*body, nullptr, false) : nlohmann::json();
  if (!json.is_object() || !json.contains("id")) return std::nullopt;
  return json["id"].get<int>();
}

bool ServiceFaults::release(int holdRule) {
  return call("POST", "/admin/release", nlohmann::json{{"id", holdRule}}.dump(), 200).has_value();
}

bool ServiceFaults::addRandomFault(const RandomFault& fault) {
  return addRule(nlohmann::json{{"action", fault.action},
                                {"method", fault.method},
                                {"path", fault.path},
                                {"probability", fault.probability},
                                {"seed", fault.seed},
                                {"status", fault.status},
                                {"bytes", fault.bytes},
                                {"ms", fault.delay.count()},
                                {"max_ms", fault.maxDelay.count()},
                                {"count", fault.count}}
                     .dump());
}

bool ServiceFaults::clear() { return call("DELETE", "/admin/faults", "", 200).has_value(); }

bool ServiceFaults::revokeToken(const std::string& token) {
  return call("POST", "/admin/revoke", nlohmann::json{{"token", token}}.dump(), 200).has_value();
}

bool ServiceFaults::revokeTokensOf(const std::string& login) {
  return call("POST", "/admin/revoke", nlohmann::json{{"login", login}}.dump(), 200).has_value();
}

bool ServiceFaults::addUser(const std::string& login, const std::string& password) {
  return call("POST", "/admin/users", nlohmann::json{{"login", login}, {"password", password}}.dump(),
              201)
      .has_value();
}

std::optional<std::string> ServiceFaults::issueToken(const std::string& login) {
  auto body = call("POST", "/admin/tokens", nlohmann::json{{"login", login}}.dump(), 201);
  if (!body) return std::nullopt;
  auto json = nlohmann::json::parse(*body, nullptr, false);
  if (json.is_discarded() || !json.contains("access_token")) return std::nullopt;
  return json["access_token"].get<std::string>();
}

namespace {
std::vector<ServedRequest> servedRequestsIn(const std::string& body) {
  std::vector<ServedRequest> served;
  auto json = nlohmann::json::parse(body, nullptr, false);
  if (!json.is_array()) return served;
  for (const auto& entry : json)
    served.push_back({entry.value("method", ""), entry.value("target", ""), entry.value("status", 0L)});
  return served;
}
} // namespace

std::vector<ServedRequest> ServiceFaults::servedRequests() {
  auto body = call("GET", "/admin/requests", "", 200);
  return body ? servedRequestsIn(*body) : std::vector<ServedRequest>{};
}

std::optional<std::vector<ServedRequest>> ServiceFaults::servedRequestsWhenActive(std::size_t active) {
  auto body = call("GET", "/admin/requests?active=" + std::to_string(active), "", 200);
  if (!body) return std::nullopt;
  return servedRequestsIn(*body);
}

bool ServiceFaults::forgetServedRequests() {
  return call("DELETE", "/admin/requests", "", 200).has_value();
}

std::optional<std::vector<ServedRequest>> ServiceFaults::takeServedRequests() {
  auto body = call("DELETE", "/admin/requests", "", 200);
  if (!body) return std::nullopt;
  return servedRequestsIn(*body);
}

} // namespace kdisk::test
