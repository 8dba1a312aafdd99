#include "service/Service.h"

#include "service/DemoSeed.h"
#include "service/FormFields.h"
#include "service/HttpExchange.h"
#include "service/LocalCertificateAuthority.h"
#include "service/WebPath.h"

#include <nlohmann/json.hpp>
#include <openssl/crypto.h>

#include <cstdlib>
#include <fstream>

namespace kdisk::service {

namespace {

constexpr std::size_t kAdminBodyLimit = 64 * 1024;
constexpr std::size_t kRememberedRequests = 2000;

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "OAuth <token>" (and "Bearer <token>", which generic tools send).
std::optional<std::string> tokenFrom(const HttpExchange& exchange) {
  auto header = exchange.request().fields.find("Authorization");
  if (!header) return std::nullopt;
  for (std::string_view scheme : {"OAuth ", "Bearer "}) {
    if (header->size() > scheme.size() &&
        ::strncasecmp(header->c_str(), scheme.data(), scheme.size()) == 0) {
      std::string token = header->substr(scheme.size());
      while (!token.empty() && token.back() == ' ') token.pop_back();
      return token;
    }
  }
  return std::nullopt;
}

void unauthorised(HttpExchange& exchange) {
  HeaderFields fields;
  fields.set("WWW-Authenticate", "OAuth realm=\"kdisk-service\"");
  exchange.respond(401, "text/plain", "a valid OAuth token is required\n", fields);
}

bool writeAtomically(const std::filesystem::path& path, const std::string& text) {
  auto temporary = path;
  temporary += ".partial";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  return !ec;
}

} // namespace

Service::Service(ServiceConfig config) : m_config(std::move(config)) {}

Service::~Service() { stop(); }

std::unique_ptr<Service> Service::create(ServiceConfig config, std::string& error) {
  std::unique_ptr<Service> service(new Service(std::move(config)));
  auto& folder = service->m_config.dataFolder;
  std::error_code ec;
  std::filesystem::create_directories(folder / "disks", ec);
  if (ec) {
    error = "cannot create the data folder " + folder.string();
    return nullptr;
  }
  // Uploads interrupted by a crash or kill are dropped here; they never reached
  // their target path.
  std::filesystem::remove_all(folder / "uploads", ec);
  std::filesystem::create_directories(folder / "uploads", ec);

  auto authority = LocalCertificateAuthority::open(folder / "tls", error);
  if (!authority) return nullptr;
  service->m_caPath = authority->caCertificatePath();
  service->m_tls = authority->serverIdentity();

  service->m_store = AccountStore::open(folder / "service.sqlite", error);
  if (!service->m_store) return nullptr;
  for (const auto& [login, password] : service->m_config.users) {
    if (!service->m_store->setAccount(login, password)) {
      error = "cannot create the account \"" + login + "\"";
      return nullptr;
    }
  }
  service->m_dav = std::make_unique<DavHandler>(service->m_config, *service->m_store);
  service->m_accounts = std::make_unique<AccountEndpoints>(service->m_config, *service->m_store);
  if (service->m_config.seedDemo) {
    auto demo = service->m_store->accountByLogin("demo");
    if (!demo) demo = service->m_store->setAccount("demo", "demo");
    if (!demo || !seedDemoFiles(service->m_dav->rootOf(*demo), error)) {
      if (error.empty()) error = "cannot create the demo account";
      return nullptr;
    }
  }
  return service;
}

bool Service::start(std::string& error) {
  m_server = std::make_unique<HttpServer>(*this, HttpServer::Limits{});
  std::uint16_t httpPort = m_server->listen(m_config.httpPort, nullptr, error);
  if (httpPort == 0) return false;
  std::uint16_t httpsPort = m_server->listen(m_config.httpsPort, &m_tls, error);
  if (httpsPort == 0) return false;
  m_config.httpBaseURL = "http://127.0.0.1:" + std::to_string(httpPort);
  m_config.httpsBaseURL = "https://127.0.0.1:" + std::to_string(httpsPort);
  m_server->start();
  if (m_config.readyFile && !writeAtomically(*m_config.readyFile, readyText())) {
    error = "cannot write the ready file " + m_config.readyFile->string();
    return false;
  }
  return true;
}

std::string Service::readyText() const {
  return "http=" + m_config.httpBaseURL + "\nhttps=" + m_config.httpsBaseURL +
         "\nca=" + m_caPath.string() + "\npid=" + std::to_string(::getpid()) + "\n";
}

void Service::stop() {
  {
    std::lock_guard lock(m_stopMutex);
    m_stopping = true;
  }
  m_stopCondition.notify_all();
  if (m_server) m_server->stop();
}

bool Service::pause(std::chrono::milliseconds duration) {
  std::unique_lock lock(m_stopMutex);
  return !m_stopCondition.wait_for(lock, duration, [this] { return m_stopping; });
}

Service::HoldOutcome Service::hold(HttpExchange& exchange, int ruleId,
                                   std::chrono::milliseconds longest) {
  // The peer's hang-up wakes nothing here, so it is looked for between short waits.
  constexpr std::chrono::milliseconds kLookAgain{20};
  const auto until = std::chrono::steady_clock::now() + longest;
  std::unique_lock lock(m_stopMutex);
  for (;;) {
    if (m_stopping) return HoldOutcome::Stopping;
    if (m_releasedHolds.count(ruleId) || std::chrono::steady_clock::now() >= until)
      return HoldOutcome::Released;
    if (exchange.peerHasLeft()) return HoldOutcome::PeerLeft;
    m_stopCondition.wait_for(lock, kLookAgain);
  }
}

void Service::record(const HttpExchange& exchange, unsigned status) {
  std::lock_guard lock(m_logMutex);
  m_served.push_back({exchange.request().method, exchange.request().target, status});
  if (m_served.size() > kRememberedRequests) m_served.pop_front();
}

void Service::handle(HttpExchange& exchange) {
  const auto& request = exchange.request();
  if (startsWith(request.path, "/admin/") || request.path == "/admin") {
    admin(exchange);
    return;
  }
  exchange.beforeHeadSent = [this, &exchange](unsigned status) { record(exchange, status); };
  {
    std::lock_guard lock(m_activeMutex);
    ++m_active;
  }
  m_activeChanged.notify_all();
  struct Finished {
    Service& service;
    ~Finished() {
      {
        std::lock_guard lock(service.m_activeMutex);
        --service.m_active;
      }
      service.m_activeChanged.notify_all();
    }
  } finished{*this};
  if (!m_config.adminSecret.empty()) {
    auto plan = m_faults.planFor(request.method, request.path);
    if (plan.latency.count() > 0 && !pause(plan.latency)) return;
    if (plan.fault) {
      const auto& fault = *plan.fault;
      switch (fault.action) {
      case FaultInjector::Action::Status:
        exchange.respond(fault.status, "text/plain", "injected fault\n");
        return;
      case FaultInjector::Action::Stall:
        // Hold the request unanswered; the connection is dropped afterwards.
        pause(fault.duration);
        record(exchange, 0);
        return;
      case FaultInjector::Action::Hold:
        switch (hold(exchange, fault.id, fault.duration)) {
        case HoldOutcome::Stopping: return;
        case HoldOutcome::PeerLeft:
          record(exchange, 499); // as the common servers log a client that gave up
          return;
        case HoldOutcome::Released:
          if (fault.status == 0) break;
          exchange.respond(fault.status, "text/plain", "injected fault\n");
          return;
        }
        break;
      case FaultInjector::Action::CutRequest: exchange.cutRequestBodyAfter(fault.bytes); break;
      case FaultInjector::Action::CutResponse: exchange.cutResponseBodyAfter(fault.bytes); break;
      case FaultInjector::Action::LoseAnswer: exchange.loseAnswer(); break;
      case FaultInjector::Action::Latency: break;
      }
    }
  }
  route(exchange);
  if (!exchange.headSent()) record(exchange, 0); // cut or peer gone
}

std::optional<Account> Service::authorise(HttpExchange& exchange) {
  auto token = tokenFrom(exchange);
  auto account = token ? m_store->accountForToken(*token) : std::nullopt;
  if (!account) unauthorised(exchange);
  return account;
}

void Service::route(HttpExchange& exchange) {
  const auto& request = exchange.request();
  const std::string& path = request.path;
  if (path == "/token") return m_accounts->token(exchange);
  if (path == "/update" || path == "/update/") return m_accounts->updateManifest(exchange);
  // The start-up endpoint shares its path with a possible file "startup" in the
  // disk root; the start-up request is the one without credentials.
  if ((path == "/disk/startup" || path == "/disk/startup/") && request.method == "GET" &&
      !request.fields.find("Authorization"))
    return m_accounts->startup(exchange);
  if (startsWith(path, "/public/")) return publicLink(exchange, path.substr(8));
  if (startsWith(path, "/auth/") && m_accounts->webPage(exchange, path)) return;

  auto webPath = WebPath::parse(path);
  if (!webPath) {
    exchange.respond(400, "text/plain", "bad path\n");
    return;
  }
  if (auto relative = webPath->below("disk")) {
    auto account = authorise(exchange);
    if (account) m_dav->handle(exchange, *account, *relative);
    return;
  }
  if (webPath->isRoot()) {
    auto query = FormFields::parse(request.query);
    if (query && query->has("userinfo")) {
      if (auto account = authorise(exchange)) m_accounts->userInfo(exchange, *account);
      return;
    }
    return m_accounts->index(exchange);
  }
  exchange.respond(404, "text/plain", "not found\n");
}

void Service::publicLink(HttpExchange& exchange, const std::string& token) {
  const auto& method = exchange.request().method;
  if (method != "GET" && method != "HEAD") {
    exchange.respond(405, "text/plain", "GET only\n");
    return;
  }
  auto publication = token.size() <= 64 ? m_store->publication(token) : std::nullopt;
  auto webPath = publication ? WebPath::parse(publication->pathKey) : std::nullopt;
  if (!webPath) {
    exchange.respond(404, "text/plain", "no such public link\n");
    return;
  }
  Account owner{publication->uid, publication->login};
  DavHandler::sendFile(exchange, webPath->under(m_dav->rootOf(owner)), webPath->lastSegment());
}

void Service::admin(HttpExchange& exchange) {
  const auto& request = exchange.request();
  auto secret = request.fields.find("X-Kdisk-Admin-Secret").value_or("");
  if (m_config.adminSecret.empty() || secret.size() != m_config.adminSecret.size() ||
      CRYPTO_memcmp(secret.data(), m_config.adminSecret.data(), secret.size()) != 0) {
    exchange.respond(404, "text/plain", "not found\n");
    return;
  }
  nlohmann::json body;
  if (request.method == "POST") {
    bool tooLarge = false;
    auto text = exchange.readWholeBody(kAdminBodyLimit, tooLarge);
    if (!text) {
      if (tooLarge) exchange.respond(413, "text/plain", "too large\n");
      return;
    }
    body = nlohmann::json::parse(*text, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
      exchange.respond(400, "application/json", R"({"error":"body must be a JSON object"})");
      return;
    }
  }
  auto text = [&](const char* key) {
    return body.contains(key) && body[key].is_string() ? body[key].get<std::string>() : "";
  };
  auto answer = [&](unsigned status, const nlohmann::json& json) {
    exchange.respond(status, "application/json", json.dump());
  };
  const std::string& path = request.path;
  const std::string& method = request.method;
  if (path == "/admin/faults" && method == "POST") {
    std::string error;
    auto rule = FaultInjector::ruleFromJson(body, error);
    if (!rule) return answer(400, {{"error", error}});
    return answer(201, {{"id", m_faults.add(*rule)}});
  }
  if (path == "/admin/faults" && method == "DELETE") {
    m_faults.clear();
    return answer(200, nlohmann::json::object());
  }
  if (path == "/admin/faults" && method == "GET") {
    auto list = nlohmann::json::array();
    for (const auto& rule : m_faults.rules()) list.push_back(FaultInjector::ruleToJson(rule));
    return answer(200, list);
  }
  if (path == "/admin/release" && method == "POST") {
    if (!body.contains("id") || !body["id"].is_number_integer())
      return answer(400, {{"error", "\"id\" names a hold rule"}});
    {
      std::lock_guard lock(m_stopMutex);
      m_releasedHolds.insert(body["id"].get<int>());
    }
    m_stopCondition.notify_all();
    return answer(200, nlohmann::json::object());
  }
  if (path == "/admin/revoke" && method == "POST") {
    int revoked = 0;
    if (!text("token").empty()) revoked += m_store->revokeToken(text("token")) ? 1 : 0;
    if (!text("login").empty()) revoked += m_store->revokeTokensOf(text("login"));
    return answer(revoked > 0 ? 200 : 404, {{"revoked", revoked}});
  }
  if (path == "/admin/users" && method == "POST") {
    auto account = m_store->setAccount(text("login"), text("password"));
    if (!account) return answer(400, {{"error", "bad login"}});
    return answer(201, {{"uid", account->uid}, {"login", account->login}});
  }
  if (path == "/admin/tokens" && method == "POST") {
    auto account = m_store->accountByLogin(text("login"));
    if (!account) return answer(404, {{"error", "no such login"}});
    return answer(201, {{"access_token", m_store->issueToken(*account, std::chrono::seconds(
                                                                          m_config.tokenLifetimeSeconds))}});
  }
  if (path == "/admin/requests" && method == "GET") {
    // "?active=N" first waits (bounded) until N requests are being handled.
    auto query = FormFields::parse(request.query);
    if (query && query->has("active")) {
      const auto wanted = std::strtoull(query->valueOr("active", "0").c_str(), nullptr, 10);
      std::unique_lock lock(m_activeMutex);
      if (!m_activeChanged.wait_for(lock, std::chrono::seconds(10), [&] { return m_active == wanted; }))
        return answer(408, {{"error", "still " + std::to_string(m_active) + " active"}});
    }
    auto list = nlohmann::json::array();
    std::lock_guard lock(m_logMutex);
    for (const auto& served : m_served)
      list.push_back({{"method", served.method}, {"target", served.target}, {"status", served.status}});
    return answer(200, list);
  }
  if (path == "/admin/requests" && method == "DELETE") {
    // Answers with what it forgot, so a long test can take the log in parts
    // without losing what lands between a read and a clear.
    auto list = nlohmann::json::array();
    {
      std::lock_guard lock(m_logMutex);
      for (const auto& served : m_served)
        list.push_back({{"method", served.method}, {"target", served.target}, {"status", served.status}});
      m_served.clear();
    }
    return answer(200, list);
  }
  answer(404, {{"error", "unknown admin request"}});
}

} // namespace kdisk::service
