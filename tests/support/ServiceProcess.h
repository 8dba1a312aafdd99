#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace kdisk::test {

// How to start kdisk-service for a test.
struct ServiceOptions {
  std::vector<std::pair<std::string, std::string>> users{{"alice", "alice-password"}};
  bool seedDemo = false;
  std::optional<std::uint64_t> quotaBytes;
  std::optional<std::uint64_t> maxFileSizeBytes;
  bool faultInjection = true; // starts with an admin secret, so ServiceFaults works
  // Empty: a fresh temporary folder, removed when the ServiceProcess goes.
  std::filesystem::path dataFolder;
  std::vector<std::string> extraArguments;
  std::chrono::milliseconds readyTimeout{20000};
  // 0 picks free ports; restart() reuses the ports it had, as a real service would.
  int httpPort = 0;
  int httpsPort = 0;
};

struct ServiceEndpoints {
  std::string httpBaseURL;  // "http://127.0.0.1:PORT"
  std::string httpsBaseURL; // "https://127.0.0.1:PORT"
  std::filesystem::path caCertificate;
  std::string adminSecret; // empty without fault injection
  pid_t pid = 0;

  std::string diskURL() const { return httpsBaseURL + "/disk/"; }
};

struct ServedRequest {
  std::string method;
  std::string target;
  long status = 0;
};

// The fault-injection client: drives /admin/ of a running service over plain
// HTTP. Each call returns false when the service refused or did not answer.
// Paths are raw request paths ("/disk/a.txt"); a trailing "*" matches a prefix.
class ServiceFaults {
public:
  ServiceFaults(std::string httpBaseURL, std::string adminSecret)
      : m_base(std::move(httpBaseURL)), m_secret(std::move(adminSecret)) {}

  bool addLatency(std::chrono::milliseconds delay, const std::string& method = "*",
                  const std::string& path = "*", unsigned count = 0);
  bool failNext(const std::string& method, const std::string& path, unsigned status,
                unsigned count = 1);
  bool cutRequestBodyAfter(const std::string& method, const std::string& path,
                           std::uint64_t bytes, unsigned count = 1);
  bool cutResponseBodyAfter(const std::string& method, const std::string& path,
                            std::uint64_t bytes, unsigned count = 1);
  // The request is carried out and the connection then dropped unanswered.
  bool loseAnswer(const std::string& method, const std::string& path, unsigned count = 1);
  bool stall(const std::string& method, const std::string& path,
             std::chrono::milliseconds duration, unsigned count = 1);
  // Holds the next `count` matching requests until release(); once released
  // they get `status`, or their ordinary answer with 0. A client that leaves
  // while held is logged with status 499. The rule's id, nothing when refused.
  std::optional<int> hold(const std::string& method, const std::string& path, unsigned status = 0,
                          unsigned count = 1);
  bool release(int holdRule);
  bool clear();

  // A rule that fires for each matching request with `probability`, drawn
  // from a generator seeded with `seed` (see FaultInjector). `action` is one
  // of "latency", "status", "cut-request", "cut-response", "stall", "lose-answer"; a latency
  // lasts from `delay` to `maxDelay`.
  struct RandomFault {
    std::string action;
    std::string method = "*";
    std::string path = "*";
    double probability = 1;
    std::uint64_t seed = 0;
    unsigned status = 500;
    std::uint64_t bytes = 0;
    std::chrono::milliseconds delay{0};
    std::chrono::milliseconds maxDelay{0};
    unsigned count = 0; // 0: no limit
  };
  bool addRandomFault(const RandomFault& fault);

  bool revokeToken(const std::string& token);
  bool revokeTokensOf(const std::string& login);
  bool addUser(const std::string& login, const std::string& password);
  // A token without the password exchange.
  std::optional<std::string> issueToken(const std::string& login);

  std::vector<ServedRequest> servedRequests();
  // The log once exactly `active` requests are being handled (waits up to 10 s,
  // so call it off the thread that drives the clients); nothing on time-out.
  std::optional<std::vector<ServedRequest>> servedRequestsWhenActive(std::size_t active);
  bool forgetServedRequests();
  // The log so far, emptied in the same step; nothing when the service did
  // not answer.
  std::optional<std::vector<ServedRequest>> takeServedRequests();

private:
  bool addRule(const std::string& json);
  std::optional<std::string> call(const std::string& method, const std::string& path,
                                  const std::string& body, long expected);

  std::string m_base;
  std::string m_secret;
};

// Runs kdisk-service as a child process on free loopback ports in a temporary
// folder. start() returns once the service wrote its ready file (watched with
// inotify, bounded by readyTimeout, no sleeping); stop() sends SIGTERM and
// reaps it. Not thread-safe; one test thread drives it.
class ServiceProcess {
public:
  ServiceProcess() = default;
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  bool start(const ServiceOptions& options = {});
  const std::string& lastError() const { return m_error; }
  const ServiceEndpoints& endpoints() const { return m_endpoints; }
  const std::filesystem::path& dataFolder() const { return m_dataFolder; }
  bool running() const { return m_pid > 0; }

  ServiceFaults faults() const { return {m_endpoints.httpBaseURL, m_endpoints.adminSecret}; }
  // The password grant over HTTPS; nullopt when refused.
  std::optional<std::string> signIn(const std::string& login, const std::string& password) const;

  // SIGTERM and wait (bounded); the exit status, or -1 when it was not running
  // or had to be killed.
  int stop();
  // SIGKILL, as a crash would.
  void kill();
  // Stops and starts again on the same data folder (and ports may change).
  bool restart();

  static std::filesystem::path binaryPath();

private:
  bool waitForReady(std::chrono::milliseconds timeout);
  std::string logTail() const;

  ServiceOptions m_options;
  ServiceEndpoints m_endpoints;
  std::filesystem::path m_workFolder; // ready file, log, and the data folder if ours
  std::filesystem::path m_dataFolder;
  bool m_ownsDataFolder = false;
  pid_t m_pid = 0;
  std::string m_error;
};

} // namespace kdisk::test
