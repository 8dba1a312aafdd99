#include "support/ScriptedHTTPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace kdisk::test {

std::string RecordedRequest::header(const std::string& name) const {
  for (const auto& [field, value] : headers) {
    if (strcasecmp(field.c_str(), name.c_str()) == 0) return value;
  }
  return {};
}

bool RecordedRequest::hasHeader(const std::string& name) const {
  for (const auto& [field, value] : headers) {
    if (strcasecmp(field.c_str(), name.c_str()) == 0) return true;
  }
  return false;
}

ScriptedReply ScriptedReply::make(int status, const std::string& reason, const std::string& body,
                                  std::vector<std::pair<std::string, std::string>> headers) {
  std::string bytes = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
  bool hasLength = false;
  for (const auto& [field, value] : headers) {
    if (strcasecmp(field.c_str(), "Content-Length") == 0 || strcasecmp(field.c_str(), "Transfer-Encoding") == 0) {
      hasLength = true;
    }
    bytes += field + ": " + value + "\r\n";
  }
  if (!hasLength) bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  bytes += "Connection: close\r\n\r\n" + body;
  return ScriptedReply{bytes, Mode::Send};
}

ScriptedHTTPServer::ScriptedHTTPServer(Handler handler) : m_handler(std::move(handler)) {
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_listener, 16) != 0 || ::pipe(m_wakePipe) != 0) {
    throw std::runtime_error("scripted server cannot listen");
  }
  socklen_t length = sizeof address;
  ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
  m_port = ntohs(address.sin_port);
  m_thread = std::thread([this] { serve(); });
}

ScriptedHTTPServer::~ScriptedHTTPServer() {
  m_stopping = true;
  (void)!::write(m_wakePipe[1], "x", 1);
  m_thread.join();
  for (int socket : m_heldSockets) ::close(socket);
  ::close(m_listener);
  ::close(m_wakePipe[0]);
  ::close(m_wakePipe[1]);
}

std::string ScriptedHTTPServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<RecordedRequest> ScriptedHTTPServer::requests() const {
  std::lock_guard guard(m_lock);
  return m_requests;
}

std::size_t ScriptedHTTPServer::requestCount() const {
  std::lock_guard guard(m_lock);
  return m_requests.size();
}

bool ScriptedHTTPServer::readRequest(int socket, RecordedRequest& request) {
  std::string buffer;
  char chunk[8192];
  std::size_t headerEnd = std::string::npos;
  std::size_t bodyLength = 0;
  for (;;) {
    if (headerEnd != std::string::npos && buffer.size() >= headerEnd + 4 + bodyLength) break;
    pollfd fds[2] = {{socket, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
    if (::poll(fds, 2, 10000) <= 0 || (fds[1].revents & POLLIN)) return false;
    const ssize_t got = ::recv(socket, chunk, sizeof chunk, 0);
    if (got <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(got));
    if (headerEnd == std::string::npos && (headerEnd = buffer.find("\r\n\r\n")) != std::string::npos) {
      std::size_t lineEnd = buffer.find("\r\n");
      const std::string requestLine = buffer.substr(0, lineEnd);
      const auto space = requestLine.find(' ');
      request.method = requestLine.substr(0, space);
      request.target = requestLine.substr(space + 1, requestLine.rfind(' ') - space - 1);
      std::size_t position = lineEnd + 2;
      while (position < headerEnd) {
        const std::size_t end = buffer.find("\r\n", position);
        const std::string line = buffer.substr(position, end - position);
        const auto colon = line.find(':');
        std::string value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(value.begin());
        request.headers.emplace_back(line.substr(0, colon), value);
        position = end + 2;
      }
      const std::string declared = request.header("Content-Length");
      bodyLength = declared.empty() ? 0 : std::strtoul(declared.c_str(), nullptr, 10);
    }
  }
  request.body = buffer.substr(headerEnd + 4, bodyLength);
  return true;
}

void ScriptedHTTPServer::serve() {
  while (!m_stopping) {
    pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) <= 0) continue;
    if (fds[1].revents & POLLIN) return;
    const int socket = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0) continue;
    RecordedRequest request;
    if (!readRequest(socket, request)) {
      ::close(socket);
      continue;
    }
    ScriptedReply reply;
    {
      std::lock_guard guard(m_lock);
      m_requests.push_back(request);
    }
    reply = m_handler(request);
    if (reply.mode != ScriptedReply::Mode::Hold) {
      std::size_t sent = 0;
      while (sent < reply.bytes.size()) {
        const ssize_t n = ::send(socket, reply.bytes.data() + sent, reply.bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
    }
    if (reply.mode == ScriptedReply::Mode::Send) {
      ::shutdown(socket, SHUT_WR);
      ::close(socket);
    } else {
      m_heldSockets.push_back(socket);
    }
  }
}

}  // namespace kdisk::test
