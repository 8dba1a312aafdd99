#include "webdav/KMHTTPMessage.h"

#include <strings.h>

namespace kdisk::webdav {

namespace {

bool sameFieldName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::optional<std::string> headerValue(const HTTPHeaderFields& fields, std::string_view name) {
  for (const auto& [field, value] : fields) {
    if (sameFieldName(field, name)) return value;
  }
  return std::nullopt;
}

void HTTPRequest::setValueForHTTPHeaderField(std::string value, std::string_view field) {
  std::erase_if(headerFields, [&](const auto& entry) { return sameFieldName(entry.first, field); });
  headerFields.emplace_back(std::string(field), std::move(value));
}

void HTTPRequest::removeHTTPHeaderField(std::string_view field) {
  std::erase_if(headerFields, [&](const auto& entry) { return sameFieldName(entry.first, field); });
}

bool isSameOrigin(const kdisk::URL& a, const kdisk::URL& b) {
  auto port = [](const kdisk::URL& url) {
    if (auto given = url.port()) return *given;
    return url.scheme() == "https" ? 443 : url.scheme() == "http" ? 80 : -1;
  };
  return a.scheme() == b.scheme() && sameFieldName(a.host(), b.host()) && port(a) == port(b) && port(a) != -1;
}

void dropCredentialsLeavingOrigin(HTTPRequest& next, const kdisk::URL& origin) {
  if (!isSameOrigin(next.URL, origin)) next.removeHTTPHeaderField("Authorization");
}

std::string localizedStringForStatusCode(int statusCode) {
  switch (statusCode) {
    case 100: return "continue";
    case 101: return "switching protocols";
    case 200: return "no error";
    case 201: return "created";
    case 202: return "accepted";
    case 203: return "non-authoritative information";
    case 204: return "no content";
    case 205: return "reset content";
    case 206: return "partial content";
    case 207: return "multi-status";
    case 300: return "multiple choices";
    case 301: return "moved permanently";
    case 302: return "found";
    case 303: return "see other";
    case 304: return "not modified";
    case 305: return "needs proxy";
    case 307: return "temporarily redirected";
    case 308: return "permanent redirect";
    case 400: return "bad request";
    case 401: return "unauthorized";
    case 402: return "payment required";
    case 403: return "forbidden";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 406: return "unacceptable";
    case 407: return "proxy authentication required";
    case 408: return "request timed out";
    case 409: return "conflict";
    case 410: return "no longer exists";
    case 411: return "length required";
    case 412: return "precondition failed";
    case 413: return "request too large";
    case 414: return "requested URL too long";
    case 415: return "unsupported media type";
    case 416: return "requested range not satisfiable";
    case 417: return "expectation failed";
    case 422: return "unprocessable entity";
    case 423: return "locked";
    case 424: return "failed dependency";
    case 429: return "too many requests";
    case 500: return "internal server error";
    case 501: return "unimplemented";
    case 502: return "bad gateway";
    case 503: return "service unavailable";
    case 504: return "gateway timed out";
    case 505: return "unsupported version";
    case 507: return "insufficient storage";
    default: break;
  }
  if (statusCode >= 100 && statusCode < 200) return "informational";
  if (statusCode >= 200 && statusCode < 300) return "success";
  if (statusCode >= 300 && statusCode < 400) return "redirected";
  if (statusCode >= 400 && statusCode < 500) return "client error";
  if (statusCode >= 500 && statusCode < 600) return "server error";
  return "unknown";
}

}  // namespace kdisk::webdav
