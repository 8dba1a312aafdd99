#pragma once
// One HTTP exchange that blocks the calling thread until the answer is in, for
// the two operations that run on a thread of their own (the token exchange and
// the start-up configuration). Nothing here touches the main loop's transport,
// so it may run on any thread, several at once.
//
// Redirects are followed hop by hop (303, and 301/302 after a POST, turn into
// a GET without body), at most kKMSynchronousHTTPMaxRedirects, and
// Authorization only while they stay on the first origin; cookies are never kept. The time-out counts time
// without progress and fails with the transport's own error
// (kKMHTTPTransportErrorDomain, kKMHTTPTransportTimedOut).

#include <cstddef>
#include <optional>
#include <string>

#include "platform/KMError.h"
#include "webdav/KMHTTPMessage.h"

namespace kdisk::webdav {

struct SynchronousHTTPResult {
  // Set when an answer head arrived.
  std::optional<HTTPResponse> response;
  // The answer body, whatever its status; empty when none came.
  std::string body;
  // A transport failure; then `response` may still hold what came before it.
  std::optional<KMError> error;
};

// Answers larger than this fail: both callers expect a few hundred bytes.
inline constexpr std::size_t kKMSynchronousHTTPMaxBodyBytes = 1024 * 1024;

inline constexpr int kKMSynchronousHTTPMaxRedirects = kKMHTTPMaxRedirects;

SynchronousHTTPResult sendSynchronousRequest(const HTTPRequest& request);

// The request to send after `response`, or nothing when it is no redirect
// that can be followed.
std::optional<HTTPRequest> redirectedRequest(const HTTPRequest& request, const HTTPResponse& response);

}  // namespace kdisk::webdav
