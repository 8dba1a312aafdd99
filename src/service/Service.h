#pragma once

#include "service/AccountEndpoints.h"
#include "service/AccountStore.h"
#include "service/DavHandler.h"
#include "service/FaultInjector.h"
#include "service/HttpServer.h"
#include "service/ServiceConfig.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace kdisk::service {

class HttpExchange;

// The whole service: opens the data folder, binds both listeners, routes each
// request and applies the test faults. Created and stopped on the main thread;
// handle() runs on connection threads.
class Service final : public RequestHandler {
public:
  static std::unique_ptr<Service> create(ServiceConfig config, std::string& error);
  ~Service() override;

  // Binds the listeners, then writes the ready file. After this, the base URLs
  // in config() are set.
  bool start(std::string& error);
  void stop();

  const ServiceConfig& config() const { return m_config; }
  const std::filesystem::path& caCertificatePath() const { return m_caPath; }
  // The lines printed on start and written to the ready file.
  std::string readyText() const;

  void handle(HttpExchange& exchange) override;

private:
  explicit Service(ServiceConfig config);

  std::optional<Account> authorise(HttpExchange& exchange);
  void route(HttpExchange& exchange);
  void admin(HttpExchange& exchange);
  void publicLink(HttpExchange& exchange, const std::string& token);
  // Waits, unless the service stops first; true when the full time passed.
  bool pause(std::chrono::milliseconds duration);
  enum class HoldOutcome { Released, PeerLeft, Stopping };
  // Holds a request of hold rule `ruleId` until the rule is released, its
  // time is up (counts as released), its client leaves or the service stops.
  HoldOutcome hold(HttpExchange& exchange, int ruleId, std::chrono::milliseconds longest);
  void record(const HttpExchange& exchange, unsigned status);

  ServiceConfig m_config;
  std::filesystem::path m_caPath;
  TlsIdentity m_tls;
  std::unique_ptr<AccountStore> m_store;
  std::unique_ptr<DavHandler> m_dav;
  std::unique_ptr<AccountEndpoints> m_accounts;
  FaultInjector m_faults;
  std::unique_ptr<HttpServer> m_server;

  std::mutex m_stopMutex;
  std::condition_variable m_stopCondition;
  bool m_stopping = false;
  std::set<int> m_releasedHolds; // guarded by m_stopMutex

  // Requests being handled (admin ones aside), so a test can wait for the
  // service to have seen, or finished, what its client sent.
  std::mutex m_activeMutex;
  std::condition_variable m_activeChanged;
  std::size_t m_active = 0;

  struct Served {
    std::string method;
    std::string target;
    unsigned status;
  };
  std::mutex m_logMutex;
  std::deque<Served> m_served;
};

} // namespace kdisk::service
