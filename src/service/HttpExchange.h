#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kdisk::service {

// Header fields in arrival order; names compare without regard to case.
class HeaderFields {
public:
  void add(std::string name, std::string value);
  void set(std::string name, std::string value);
  std::optional<std::string> find(std::string_view name) const;
  const std::vector<std::pair<std::string, std::string>>& all() const { return m_fields; }

private:
  std::vector<std::pair<std::string, std::string>> m_fields;
};

// The head of one request as it arrived. `path` is the raw, still encoded target
// before "?", `query` the raw text after it.
struct HttpRequestHead {
  std::string method;
  std::string target;
  std::string path;
  std::string query;
  HeaderFields fields;
  std::optional<std::uint64_t> contentLength;
  bool chunked = false;
  bool secure = false;
  bool expectsContinue = false;

  bool hasBody() const { return chunked || contentLength.value_or(0) > 0; }
};

struct HttpResponseHead {
  unsigned status = 200;
  HeaderFields fields;
  std::uint64_t contentLength = 0;
};

// One request/response on a connection, as handlers see it. The connection owns
// the exchange and outlives every call; a handler runs on the connection's thread.
// A handler answers exactly once: sendHead, then sendBody until contentLength bytes
// went out (nothing for HEAD). A handler that cannot go on (peer gone, cut by a
// fault) just returns; the connection is then closed.
class HttpExchange {
public:
  virtual ~HttpExchange() = default;

  virtual const HttpRequestHead& request() const = 0;

  // Reads up to `size` body bytes; 0 once the body is complete, nullopt when the
  // connection failed or was cut on purpose.
  virtual std::optional<std::size_t> readBody(char* buffer, std::size_t size) = 0;
  virtual bool bodyComplete() const = 0;

  virtual bool sendHead(const HttpResponseHead& head) = 0;
  // Called with the status just before a head goes out, so whoever watches sees
  // the request before its peer does.
  std::function<void(unsigned status)> beforeHeadSent;
  virtual bool sendBody(const char* data, std::size_t size) = 0;
  virtual bool headSent() const = 0;
  // Status of the head sent, 0 before.
  virtual unsigned sentStatus() const = 0;

  // Fault injection: drop the connection once this many body bytes went in
  // (request) or out (response).
  virtual void cutRequestBodyAfter(std::uint64_t bytes) = 0;
  virtual void cutResponseBodyAfter(std::uint64_t bytes) = 0;
  // Fault injection: the request is carried out, then the connection dropped
  // instead of its answer.
  virtual void loseAnswer() = 0;
  // True once the peer closed or reset the connection; never blocks.
  virtual bool peerHasLeft() = 0;

  // Small complete answers.
  bool respond(unsigned status, std::string_view contentType, std::string_view body,
               HeaderFields extra = {});
  bool respondEmpty(unsigned status, HeaderFields extra = {});

  // Reads the whole body if it is at most `limit` bytes; nullopt when it is larger
  // (`tooLarge` set, nothing answered yet) or the connection failed.
  std::optional<std::string> readWholeBody(std::size_t limit, bool& tooLarge);
};

} // namespace kdisk::service
