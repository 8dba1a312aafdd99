#include "service/HttpServer.h"

#include "service/HttpExchange.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <map>
#include <optional>

namespace kdisk::service {

namespace net = boost::asio;
namespace http = boost::beast::http;
using tcp = net::ip::tcp;

namespace {

std::int64_t nowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string httpDate() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
  return text;
}

// Bytes of an unread request body we still read and drop to keep a connection.
constexpr std::uint64_t kDrainLimit = 64 * 1024;

} // namespace

struct Listener {
  int fd = -1;
  std::uint16_t port = 0;
  std::unique_ptr<net::ssl::context> tls;
  std::thread thread;
};

class HttpServer::Impl {
public:
  Impl(RequestHandler& handler, Limits limits) : m_handler(handler), m_limits(limits) {}

  std::uint16_t listen(std::uint16_t port, const TlsIdentity* identity, std::string& error);
  void start();
  void stop();

  void touch(int fd);

private:
  void acceptLoop(Listener& listener);
  void serve(int fd, net::ssl::context* tls);
  void reapIdleConnections();

  RequestHandler& m_handler;
  Limits m_limits;
  net::io_context m_io;
  std::vector<std::unique_ptr<Listener>> m_listeners;
  std::atomic<bool> m_stopping{false};

  // Open connections and when each last moved a byte. Guarded by m_mutex, which is
  // also held while a connection closes its descriptor, so stop() and the reaper
  // never shut down a descriptor number the system has already handed to another.
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::map<int, std::int64_t> m_connections;
  std::thread m_reaper;
  bool m_started = false;

  friend class HttpServer;
  template <class Stream> friend class Connection;
};

template <class Stream> class Connection final : public HttpExchange {
public:
  Connection(Stream& stream, int fd, HttpServer::Impl& server, RequestHandler& handler,
             const HttpServer::Limits& limits, bool secure)
      : m_stream(stream), m_fd(fd), m_server(server), m_handler(handler), m_limits(limits),
        m_secure(secure) {}

  void serve() {
    for (;;) {
      if (!readHead()) return;
      m_handler.handle(*this);
      if (!m_headSent || m_failed || m_closeAfterResponse) return;
      if (!m_parser->is_done() && !drainBody()) return;
    }
  }

  const HttpRequestHead& request() const override { return m_head; }

  std::optional<std::size_t> readBody(char* buffer, std::size_t size) override {
    if (m_failed) return std::nullopt;
    if (m_parser->is_done()) return 0;
    if (m_head.expectsContinue && !m_continueSent && !m_headSent) {
      static constexpr char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
      if (!writeRaw(kContinue, sizeof kContinue - 1)) return std::nullopt;
      m_continueSent = true;
    }
    std::size_t wanted = size;
    if (m_requestCut) {
      if (m_bodyIn >= *m_requestCut) {
        cut();
        return std::nullopt;
      }
      wanted = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, *m_requestCut - m_bodyIn));
    }
    auto& body = m_parser->get().body();
    body.data = buffer;
    body.size = wanted;
    body.more = true;
    boost::system::error_code ec;
    http::read(m_stream, m_buffer, *m_parser, ec);
    if (ec == http::error::need_buffer) ec = {};
    if (ec) {
      m_failed = true;
      return std::nullopt;
    }
    std::size_t got = wanted - body.size;
    m_bodyIn += got;
    m_server.touch(m_fd);
    return got;
  }

  bool bodyComplete() const override { return m_parser->is_done(); }

  bool sendHead(const HttpResponseHead& head) override {
    if (m_headSent || m_failed) return false;
    if (m_loseAnswer) {
      cut();
      return false;
    }
    m_headSent = true;
    m_status = head.status;
    if (beforeHeadSent) beforeHeadSent(head.status);
    m_responseLength = head.contentLength;
    if (!m_keepAlive || !bodyDrainable()) m_closeAfterResponse = true;

    std::string text = "HTTP/1.1 " + std::to_string(head.status) + " ";
    text += std::string(http::obsolete_reason(static_cast<http::status>(head.status)));
    text += "\r\nServer: kdisk-service\r\nDate: " + httpDate() + "\r\n";
    for (const auto& [name, value] : head.fields.all()) {
      if (name.find_first_of("\r\n:") != std::string::npos ||
          value.find_first_of("\r\n") != std::string::npos)
        continue; // never let a value split the head
      text += name + ": " + value + "\r\n";
    }
    bool bodyless = head.status == 204 || head.status == 304 || head.status < 200;
    if (!bodyless || head.contentLength > 0)
      text += "Content-Length: " + std::to_string(head.contentLength) + "\r\n";
    if (m_closeAfterResponse) text += "Connection: close\r\n";
    text += "\r\n";
    return writeRaw(text.data(), text.size());
  }

  bool sendBody(const char* data, std::size_t size) override {
    if (!m_headSent || m_failed) return false;
    if (m_responseCut && m_bodyOut + size >= *m_responseCut) {
      std::size_t allowed = static_cast<std::size_t>(*m_responseCut - m_bodyOut);
      if (allowed > 0) writeRaw(data, allowed);
      cut();
      return false;
    }
    if (!writeRaw(data, size)) return false;
    m_bodyOut += size;
    return true;
  }

  bool headSent() const override { return m_headSent; }
  unsigned sentStatus() const override { return m_status; }
  void cutRequestBodyAfter(std::uint64_t bytes) override { m_requestCut = bytes; }
  void cutResponseBodyAfter(std::uint64_t bytes) override { m_responseCut = bytes; }
  void loseAnswer() override { m_loseAnswer = true; }
  bool peerHasLeft() override {
    // Only the hang-up is asked for: a peer that waits for its answer sends nothing.
    pollfd watched{m_fd, POLLRDHUP, 0};
    return ::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
  }

private:
  bool readHead() {
    m_parser.emplace();
    m_parser->header_limit(static_cast<std::uint32_t>(m_limits.maxHeaderBytes));
    m_parser->body_limit(std::numeric_limits<std::uint64_t>::max());
    m_head = {};
    beforeHeadSent = nullptr;
    m_headSent = m_continueSent = m_closeAfterResponse = false;
    m_status = 0;
    m_bodyIn = m_bodyOut = 0;
    m_requestCut.reset();
    m_responseCut.reset();
    m_loseAnswer = false;

    boost::system::error_code ec;
    http::read_header(m_stream, m_buffer, *m_parser, ec);
    if (ec) {
      if (ec.category() == http::make_error_code(http::error::bad_target).category() &&
          ec != http::error::end_of_stream && ec != http::error::partial_message) {
        unsigned status = ec == http::error::header_limit ? 431 : 400;
        std::string answer = "HTTP/1.1 " + std::to_string(status) +
                             " Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        writeRaw(answer.data(), answer.size());
      }
      return false;
    }
    m_server.touch(m_fd);
    const auto& message = m_parser->get();
    m_head.method = std::string(message.method_string());
    m_head.target = std::string(message.target());
    auto question = m_head.target.find('?');
    m_head.path = m_head.target.substr(0, question);
    if (question != std::string::npos) m_head.query = m_head.target.substr(question + 1);
    for (const auto& field : message)
      m_head.fields.add(std::string(field.name_string()), std::string(field.value()));
    if (auto length = m_parser->content_length()) m_head.contentLength = *length;
    m_head.chunked = m_parser->chunked();
    m_head.secure = m_secure;
    if (auto expect = m_head.fields.find("Expect"))
      m_head.expectsContinue = boost::beast::iequals(*expect, "100-continue");
    m_keepAlive = m_parser->keep_alive() && message.version() >= 11;
    return true;
  }

  bool bodyDrainable() const {
    if (m_parser->is_done()) return true;
    if (m_head.chunked || !m_head.contentLength) return false;
    return *m_head.contentLength - m_bodyIn <= kDrainLimit && !m_head.expectsContinue;
  }

  bool drainBody() {
    char scratch[8192];
    for (;;) {
      auto got = readBody(scratch, sizeof scratch);
      if (!got) return false;
      if (*got == 0) return true;
    }
  }

  bool writeRaw(const char* data, std::size_t size) {
    boost::system::error_code ec;
    net::write(m_stream, net::buffer(data, size), ec);
    if (ec) {
      m_failed = true;
      return false;
    }
    m_server.touch(m_fd);
    return true;
  }

  void cut() {
    m_failed = true;
    ::shutdown(m_fd, SHUT_RDWR);
  }

  Stream& m_stream;
  int m_fd;
  HttpServer::Impl& m_server;
  RequestHandler& m_handler;
  const HttpServer::Limits& m_limits;
  bool m_secure;

  // Room for large body reads; the head is bounded by the parser's header limit.
  boost::beast::flat_buffer m_buffer{256 * 1024};
  std::optional<http::request_parser<http::buffer_body>> m_parser;
  HttpRequestHead m_head;
  bool m_keepAlive = false;
  bool m_headSent = false;
  bool m_continueSent = false;
  bool m_closeAfterResponse = false;
  bool m_failed = false;
  unsigned m_status = 0;
  std::uint64_t m_responseLength = 0;
  std::uint64_t m_bodyIn = 0;
  std::uint64_t m_bodyOut = 0;
  std::optional<std::uint64_t> m_requestCut;
  std::optional<std::uint64_t> m_responseCut;
  bool m_loseAnswer = false;
};

std::uint16_t HttpServer::Impl::listen(std::uint16_t port, const TlsIdentity* identity,
                                       std::string& error) {
  auto listener = std::make_unique<Listener>();
  if (identity) {
    try {
      auto context = std::make_unique<net::ssl::context>(net::ssl::context::tls_server);
      context->set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 |
                           net::ssl::context::no_sslv3 | net::ssl::context::no_tlsv1 |
                           net::ssl::context::no_tlsv1_1);
      context->use_certificate_chain(net::buffer(identity->certificateChainPem));
      context->use_private_key(net::buffer(identity->privateKeyPem), net::ssl::context::pem);
      listener->tls = std::move(context);
    } catch (const std::exception& failure) {
      error = std::string("TLS set-up failed: ") + failure.what();
      return 0;
    }
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = "socket() failed";
    return 0;
  }
  int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 128) != 0) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    ::close(fd);
    return 0;
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  listener->fd = fd;
  listener->port = ntohs(address.sin_port);
  m_listeners.push_back(std::move(listener));
  return m_listeners.back()->port;
}

void HttpServer::Impl::start() {
  m_started = true;
  for (auto& listener : m_listeners) {
    Listener* raw = listener.get();
    raw->thread = std::thread([this, raw] { acceptLoop(*raw); });
  }
  m_reaper = std::thread([this] { reapIdleConnections(); });
}

void HttpServer::Impl::acceptLoop(Listener& listener) {
  while (!m_stopping) {
    int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (m_stopping) return;
      if (errno == EMFILE || errno == ENFILE || errno == ENOMEM) {
        // Out of descriptors: back off instead of spinning on the same error.
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(50));
      }
      continue;
    }
    {
      std::lock_guard lock(m_mutex);
      if (m_stopping || m_connections.size() >= m_limits.maxConnections) {
        ::close(fd);
        continue;
      }
      m_connections[fd] = nowSeconds();
    }
    int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    net::ssl::context* tls = listener.tls.get();
    std::thread([this, fd, tls] { serve(fd, tls); }).detach();
  }
}

void HttpServer::Impl::serve(int fd, net::ssl::context* tls) {
  {
    tcp::socket socket(m_io);
    boost::system::error_code ec;
    socket.assign(tcp::v4(), fd, ec);
    if (!ec) {
      if (tls) {
        net::ssl::stream<tcp::socket&> stream(socket, *tls);
        stream.handshake(net::ssl::stream_base::server, ec);
        if (!ec) {
          Connection<net::ssl::stream<tcp::socket&>> connection(stream, fd, *this, m_handler,
                                                                m_limits, true);
          connection.serve();
        }
      } else {
        Connection<tcp::socket> connection(socket, fd, *this, m_handler, m_limits, false);
        connection.serve();
      }
      // Half-close and drop what the peer still sends, so our last answer is not
      // lost to a reset. Bounded by time, not bytes: a client still pushing an
      // upload we refused (413, 507) can have megabytes in flight, and closing
      // on unread data resets the connection before it reads the refusal.
      ::shutdown(fd, SHUT_WR);
      char scratch[64 * 1024];
      timeval quick{0, 250'000};
      ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &quick, sizeof quick);
      const auto lingerUntil = std::chrono::steady_clock::now() + std::chrono::seconds(2);
      while (std::chrono::steady_clock::now() < lingerUntil &&
             ::recv(fd, scratch, sizeof scratch, 0) > 0) {
      }
    }
    std::lock_guard lock(m_mutex);
    m_connections.erase(fd);
    if (ec) ::close(fd);
    // `socket` closes fd here, still under the lock.
  }
  m_changed.notify_all();
}

void HttpServer::Impl::touch(int fd) {
  std::lock_guard lock(m_mutex);
  auto found = m_connections.find(fd);
  if (found != m_connections.end()) found->second = nowSeconds();
}

void HttpServer::Impl::reapIdleConnections() {
  std::unique_lock lock(m_mutex);
  while (!m_stopping) {
    m_changed.wait_for(lock, std::chrono::seconds(1));
    std::int64_t now = nowSeconds();
    for (auto& [fd, lastActivity] : m_connections) {
      if (now - lastActivity > m_limits.idleTimeoutSeconds) ::shutdown(fd, SHUT_RDWR);
    }
  }
}

void HttpServer::Impl::stop() {
  if (!m_started || m_stopping.exchange(true)) return;
  for (auto& listener : m_listeners) ::shutdown(listener->fd, SHUT_RDWR);
  for (auto& listener : m_listeners) {
    if (listener->thread.joinable()) listener->thread.join();
    ::close(listener->fd);
  }
  std::unique_lock lock(m_mutex);
  for (auto& [fd, lastActivity] : m_connections) ::shutdown(fd, SHUT_RDWR);
  m_changed.notify_all();
  m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_connections.empty(); });
  lock.unlock();
  if (m_reaper.joinable()) m_reaper.join();
}

HttpServer::HttpServer(RequestHandler& handler, Limits limits)
    : m_impl(std::make_unique<Impl>(handler, limits)) {}
HttpServer::~HttpServer() { stop(); }
std::uint16_t HttpServer::listen(std::uint16_t port, const TlsIdentity* tls, std::string& error) {
  return m_impl->listen(port, tls, error);
}
void HttpServer::start() { m_impl->start(); }
void HttpServer::stop() { m_impl->stop(); }

} // namespace kdisk::service
