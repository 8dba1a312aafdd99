#pragma once
// One HTTP transfer over libcurl's multi interface, driven by the main run loop.
//
// Lives on the main thread: create, start and cancel it there; every event is
// delivered there, one at a time, never from inside libcurl. Redirects are never
// followed by libcurl: each hop is offered to willSendRequest, which returns the
// request to send or nothing, in which case the 3xx response is delivered as the
// final one with its body. After didFinish, didFail or cancel() no event follows.
//
// States: Idle -start-> Running -(finish | failure)-> Done; cancel() from any
// state -> Done. A transfer runs once; make a new one to send again.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/KMError.h"
#include "webdav/KMHTTPMessage.h"

namespace kdisk::webdav {

// Failures of the transport itself; the code is the libcurl result code, so a
// time-out is kKMHTTPTransportTimedOut.
inline constexpr const char* kKMHTTPTransportErrorDomain = "KMHTTPTransportErrorDomain";
inline constexpr int kKMHTTPTransportTimedOut = 28;

// Trusts this CA bundle in addition to the system's (the local service's CA).
// Read when a transfer starts; also taken from $KDISK_EXTRA_CA_FILE.
void setAdditionalCertificateAuthorityFile(std::optional<std::string> path);
// The file set above or named by $KDISK_EXTRA_CA_FILE; nothing when neither.
std::optional<std::string> additionalCertificateAuthorityFile();

class HTTPTransferClient {
 public:
  virtual ~HTTPTransferClient() = default;
  // Before each send; `redirectResponse` is null for the first. Returning
  // nothing ends the hops: the redirect response becomes the final response.
  virtual std::optional<HTTPRequest> transferWillSendRequest(const HTTPRequest& request,
                                                             const HTTPResponse* redirectResponse) = 0;
  virtual void transferDidReceiveResponse(const HTTPResponse& response) = 0;
  virtual void transferDidReceiveData(std::string_view chunk) = 0;
  // Total body bytes sent so far (uploads).
  virtual void transferDidSendBodyData(std::uint64_t totalBytesSent) { (void)totalBytesSent; }
  virtual void transferDidFinish() = 0;
  virtual void transferDidFail(const KMError& error) = 0;
};

class HTTPTransfer {
 public:
  // `client` must outlive the transfer or cancel it first.
  HTTPTransfer(HTTPRequest request, HTTPTransferClient* client);
  ~HTTPTransfer();  // cancels
  HTTPTransfer(const HTTPTransfer&) = delete;
  HTTPTransfer& operator=(const HTTPTransfer&) = delete;

  // Asks willSendRequest for the first hop and starts it. False when the
  // transport refuses (bad URL, no engine); then no event follows.
  bool start();
  void cancel();
  bool isRunning() const;
  // The request of the current hop.
  const HTTPRequest& currentRequest() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> m_impl;
};

}  // namespace kdisk::webdav
