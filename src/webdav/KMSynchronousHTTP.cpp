#include "webdav/KMSynchronousHTTP.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <strings.h>
#include <mutex>
#include <string_view>

#include "webdav/CurlHandleOptions.h"
#include "webdav/CurlOwners.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::webdav {

namespace {

struct Exchange {
  HTTPResponse response;
  bool headSeen = false;
  std::string body;
  bool tooLarge = false;
  // Time without a byte moving either way; checked by the progress callback,
  // which libcurl calls about once a second even on a silent connection.
  std::chrono::steady_clock::duration allowedSilence{};
  std::chrono::steady_clock::time_point lastProgress = std::chrono::steady_clock::now();
  curl_off_t lastMoved = -1;
  bool silentTooLong = false;
};

int onProgress(void* context, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
  auto* exchange = static_cast<Exchange*>(context);
  const auto now = std::chrono::steady_clock::now();
  if (downloaded + uploaded != exchange->lastMoved) {
    exchange->lastMoved = downloaded + uploaded;
    exchange->lastProgress = now;
    return 0;
  }
  if (now - exchange->lastProgress < exchange->allowedSilence) return 0;
  exchange->silentTooLong = true;
  return 1;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

size_t onHeader(char* data, size_t size, size_t count, void* context) {
  auto* exchange = static_cast<Exchange*>(context);
  std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    // A new status line starts a new head (after 100 Continue, for one).
    exchange->response.headerFields.clear();
    exchange->headSeen = true;
    return size * count;
  }
  auto colon = line.find(':');
  if (colon != std::string_view::npos) {
    exchange->response.headerFields.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                                 std::string(trimmed(line.substr(colon + 1))));
  }
  return size * count;
}

size_t onBody(char* data, size_t size, size_t count, void* context) {
  auto* exchange = static_cast<Exchange*>(context);
  const size_t bytes = size * count;
  if (exchange->body.size() + bytes > kKMSynchronousHTTPMaxBodyBytes) {
    exchange->tooLarge = true;
    return 0;  // makes libcurl stop with CURLE_WRITE_ERROR
  }
  exchange->body.append(data, bytes);
  return bytes;
}


}  // namespace

namespace {

bool isRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One hop: the request as given, no redirect followed.
SynchronousHTTPResult sendOnce(const HTTPRequest& request) {
  SynchronousHTTPResult result;
  CurlEasy easy(curl_easy_init());
  const std::string scheme = request.URL.scheme();
  if (!easy || (scheme != "http" && scheme != "https")) {
    result.error = KMError(kKMHTTPTransportErrorDomain, CURLE_UNSUPPORTED_PROTOCOL,
                           "The request could not be sent.");
    return result;
  }
  Exchange exchange;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  CURL* handle = easy.get();
  curl_easy_setopt(handle, CURLOPT_URL, request.URL.absoluteString().c_str());
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
  setCommonCurlOptions(handle, request);
  // Fails after the time-out passes without a byte moving, as the main-loop
  // transport does; a slow but moving answer is let through.
  const double seconds = request.timeoutInterval > 0 ? request.timeoutInterval : 20;
  exchange.allowedSilence = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds));
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &onProgress);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &exchange);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &onHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &exchange);

  if (request.method == "GET") {
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  if (!request.body.empty() || request.method == "POST") {
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  }
  CurlHeaderList headers;
  bool hasExpect = false;
  for (const auto& [name, value] : request.headerFields) {
    // A hop may carry a length of the body it no longer sends.
    if (request.body.empty() && strcasecmp(name.c_str(), "Content-Length") == 0) continue;
    std::string line = name + ": " + value;
    appendHeader(headers, line.c_str());
    if (strcasecmp(name.c_str(), "Expect") == 0) hasExpect = true;
  }
  // A one-round-trip POST: no "Expect: 100-continue" wait.
  if (!hasExpect) appendHeader(headers, "Expect:");
  if (needsContentTypeSuppressed(request)) appendHeader(headers, "Content-Type:");
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());

  const CURLcode code = curl_easy_perform(handle);
  if (exchange.headSeen) {
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    exchange.response.statusCode = static_cast<int>(status);
    exchange.response.URL = request.URL;
    curl_off_t length = -1;
    curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length >= 0) exchange.response.expectedContentLength = length;
    result.response = std::move(exchange.response);
  }
  if (code != CURLE_OK) {
    if (exchange.tooLarge) {
      result.error = KMError(kKMHTTPTransportErrorDomain, CURLE_FILESIZE_EXCEEDED,
                             "The answer is too large.");
    } else if (code == CURLE_OPERATION_TIMEDOUT || exchange.silentTooLong) {
      result.error = KMError(kKMHTTPTransportErrorDomain, kKMHTTPTransportTimedOut,
                             "The request timed out.");
    } else {
      result.error = KMError(kKMHTTPTransportErrorDomain, code,
                             errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
    }
    return result;
  }
  result.body = std::move(exchange.body);
  return result;
}

}  // namespace

std::optional<HTTPRequest> redirectedRequest(const HTTPRequest& request, const HTTPResponse& response) {
  if (!isRedirectStatus(response.statusCode)) return std::nullopt;
  auto location = response.valueForHTTPHeaderField("Location");
  if (!location) return std::nullopt;
  auto target = URL::fromStringRelativeTo(*location, request.URL);
  if (!target) return std::nullopt;
  const std::string scheme = target->scheme();
  if (scheme != "http" && scheme != "https") return std::nullopt;
  HTTPRequest next = request;
  next.URL = *target;
  dropCredentialsLeavingOrigin(next, request.URL);
  const bool becomesGet = response.statusCode == 303 ||
                          ((response.statusCode == 301 || response.statusCode == 302) && request.method == "POST");
  if (becomesGet) {
    next.method = "GET";
    next.body.clear();
  }
  return next;
}

SynchronousHTTPResult sendSynchronousRequest(const HTTPRequest& request) {
  static std::once_flag globalInit;
  std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  HTTPRequest hop = request;
  for (int hops = 0;; ++hops) {
    SynchronousHTTPResult result = sendOnce(hop);
    if (result.error || !result.response) return result;
    auto next = redirectedRequest(hop, *result.response);
    if (!next) return result;
    if (hops >= kKMSynchronousHTTPMaxRedirects) {
      result.error = KMError(kKMHTTPTransportErrorDomain, CURLE_TOO_MANY_REDIRECTS,
                             "The server redirected the request too many times.");
      result.body.clear();
      return result;
    }
    hop = std::move(*next);
  }
}

}  // namespace kdisk::webdav
