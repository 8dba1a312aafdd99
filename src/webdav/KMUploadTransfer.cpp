#include "webdav/KMUploadTransfer.h"

#include <sys/stat.h>

#include "platform/DispatchQueue.h"
#include "platform/RunLoop.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMHTTPTransfer.h"
#include "webdav/KMRequest.h"

namespace kdisk::webdav {

class UploadTransferClient final : public HTTPTransferClient {
 public:
  explicit UploadTransferClient(KMUploadTransfer* upload) : m_upload(upload) {}
  std::optional<HTTPRequest> transferWillSendRequest(const HTTPRequest& request,
                                                     const HTTPResponse* redirect) override {
    // An upload is never redirected: a 3xx is its final answer.
    if (redirect) return std::nullopt;
    return request;
  }
  void transferDidReceiveResponse(const HTTPResponse& response) override {
    m_upload->m_statusCode = response.statusCode;
  }
  void transferDidReceiveData(std::string_view) override {}
  void transferDidSendBodyData(std::uint64_t total) override {
    if (m_upload->m_progress && m_upload->progressReportIsDue(total)) m_upload->m_progress(*m_upload, total);
  }
  void transferDidFinish() override { m_upload->complete(std::nullopt); }
  void transferDidFail(const KMError& error) override { m_upload->complete(error); }

 private:
  KMUploadTransfer* m_upload;
};

KMUploadTransfer::KMUploadTransfer(kdisk::URL destinationURL, std::string sourcePath,
                                   std::optional<std::string> OAuthToken)
    : m_destinationURL(std::move(destinationURL)), m_sourcePath(std::move(sourcePath)),
      m_OAuthToken(std::move(OAuthToken)), m_client(std::make_unique<UploadTransferClient>(this)) {}

KMUploadTransfer::~KMUploadTransfer() { m_transfer.reset(); }

void KMUploadTransfer::start() {
  auto self = shared_from_this();
  if (RunLoop::isMainThread()) {
    startOnMainThread();
  } else {
    dispatchMain([self] { self->startOnMainThread(); });
  }
}

void KMUploadTransfer::cancel() {
  auto self = shared_from_this();
  if (RunLoop::isMainThread()) {
    cancelOnMainThread();
  } else {
    dispatchMain([self] { self->cancelOnMainThread(); });
  }
}

void KMUploadTransfer::startOnMainThread() {
  KDISK_CHECK_SEQUENCE(m_sequence, "KMUploadTransfer");
  // Cancelled before it began: that was its one outcome.
  if (m_transfer || m_cancelledBeforeStart) return;
  m_completed = false;
  m_statusCode = 0;
  m_error.reset();
  m_self = shared_from_this();
  struct stat info {};
  if (::stat(m_sourcePath.c_str(), &info) != 0) {
    complete(KMErrorFromErrno(errno, m_sourcePath));
    return;
  }
  m_bodySize = static_cast<std::uint64_t>(info.st_size);
  m_lastReportedTotal = 0;
  m_lastReportTime = {};
  HTTPRequest request;
  request.URL = m_destinationURL;
  request.method = "PUT";
  request.bodyFilePath = m_sourcePath;
  request.timeoutInterval = m_timeoutInterval;
  if (m_OAuthToken && !m_OAuthToken->empty()) {
    request.setValueForHTTPHeaderField("OAuth " + *m_OAuthToken, "Authorization");
  }
  request.setValueForHTTPHeaderField(KMDiskRequest::diskUserAgentString(), "User-Agent");
  // Create only: a file of that name put there by someone else is answered
  // with 412 instead of being replaced.
  request.setValueForHTTPHeaderField("*", "If-None-Match");
  m_transfer = std::make_unique<HTTPTransfer>(std::move(request), m_client.get());
  if (!m_transfer->start()) {
    complete(KMError(kKMHTTPTransportErrorDomain, 3, "The upload could not be started."));
  }
}

bool KMUploadTransfer::progressReportIsDue(std::uint64_t total) {
  constexpr std::uint64_t kStepBytes = 64 * 1024;
  constexpr auto kInterval = std::chrono::milliseconds(33);
  // Wall time on purpose: this only spares the receivers work.
  const auto now = std::chrono::steady_clock::now();
  const bool whole = total >= m_bodySize;
  if (!whole && (total < m_lastReportedTotal + kStepBytes || now - m_lastReportTime < kInterval)) return false;
  m_lastReportedTotal = total;
  m_lastReportTime = now;
  return true;
}

void KMUploadTransfer::cancelOnMainThread() {
  KDISK_CHECK_SEQUENCE(m_sequence, "KMUploadTransfer");
  if (m_completed) return;
  if (!m_transfer) {
    // The queue moves on only when it hears of the end, started or not.
    m_cancelledBeforeStart = true;
    m_self = shared_from_this();
  }
  complete(KMError(kKMRequestErrorDomain, kKMRequestErrorCancelled, "The upload was cancelled."));
}

void KMUploadTransfer::complete(std::optional<KMError> error) {
  KDISK_CHECK_SEQUENCE(m_sequence, "KMUploadTransfer");
  if (m_completed) return;
  m_completed = true;
  if (m_transfer) {
    auto transfer = std::move(m_transfer);
    transfer->cancel();
    // Destroyed after this call returns to the transport, not inside it.
    dispatchMain([transfer = std::shared_ptr<HTTPTransfer>(std::move(transfer))] {});
  }
  m_error = std::move(error);
  auto self = std::move(m_self);
  if (m_error) {
    if (m_failed) m_failed(*this);
  } else if (m_finished) {
    m_finished(*this);
  }
}

}  // namespace kdisk::webdav
