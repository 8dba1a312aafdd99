#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kdisk::service {

class HttpExchange;

class RequestHandler {
public:
  virtual ~RequestHandler() = default;
  // Runs on the connection's own thread; may block (streams, stalls).
  virtual void handle(HttpExchange& exchange) = 0;
};

struct TlsIdentity {
  std::string certificateChainPem;
  std::string privateKeyPem;
};

// Listens on 127.0.0.1 only, one thread per connection with blocking I/O: the
// service is for one user and its tests, and blocking code keeps streaming, cuts
// and stalls simple. Connections are bounded in number, headers in size, and every
// socket times out when the peer goes quiet.
//
// Lives on the thread that calls start()/stop(); handlers run on connection threads.
class HttpServer {
public:
  struct Limits {
    std::size_t maxConnections = 128;
    std::size_t maxHeaderBytes = 16 * 1024;
    int idleTimeoutSeconds = 30;
  };

  HttpServer(RequestHandler& handler, Limits limits);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds 127.0.0.1:port (0 picks a free one). TLS when an identity is given.
  // Returns the bound port, or 0 with `error` set.
  std::uint16_t listen(std::uint16_t port, const TlsIdentity* tls, std::string& error);
  void start();
  // Stops accepting, drops open connections and waits for their threads.
  void stop();

  class Impl;

private:
  std::unique_ptr<Impl> m_impl;
};

} // namespace kdisk::service
