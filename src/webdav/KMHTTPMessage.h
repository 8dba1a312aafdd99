#pragma once
// An HTTP request as the request base builds it and the transport sends it, and
// the head of a response. Plain values, copied freely between threads.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/URL.h"

namespace kdisk::webdav {

using HTTPHeaderFields = std::vector<std::pair<std::string, std::string>>;

// Case-insensitive look-up of a header field; the first one when repeated.
std::optional<std::string> headerValue(const HTTPHeaderFields& fields, std::string_view name);

struct HTTPRequest {
  kdisk::URL URL;
  std::string method = "GET";
  HTTPHeaderFields headerFields;
  std::string body;
  // Streams the body from this file instead of `body` (uploads).
  std::optional<std::string> bodyFilePath;
  // Seconds without any progress before the transfer fails.
  double timeoutInterval = 20;
  // Always off in this client; kept so a caller can see the request's intent.
  bool handlesCookies = false;

  // Sets a header field, replacing any field of the same name.
  void setValueForHTTPHeaderField(std::string value, std::string_view field);
  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const {
    return headerValue(headerFields, field);
  }
  void removeHTTPHeaderField(std::string_view field);
};

// At most this many redirects are followed for one request.
inline constexpr int kKMHTTPMaxRedirects = 10;

// Same scheme, host and port (the scheme's default when none is written):
// credentials go only where the request was meant to go.
bool isSameOrigin(const kdisk::URL& a, const kdisk::URL& b);

// `next` as it may be sent after a redirect from a request made for `origin`:
// without its Authorization unless it stays on that origin.
void dropCredentialsLeavingOrigin(HTTPRequest& next, const kdisk::URL& origin);

struct HTTPResponse {
  kdisk::URL URL;
  int statusCode = 0;
  HTTPHeaderFields headerFields;
  // The declared length of the decoded body; nothing when not declared.
  std::optional<std::int64_t> expectedContentLength;

  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const {
    return headerValue(headerFields, field);
  }
};

// The standard reason phrase of a status code ("Not Found"), lower-case words
// as the log lines show them; "unknown" for codes without one.
std::string localizedStringForStatusCode(int statusCode);

}  // namespace kdisk::webdav
