#include "webdav/KMRequest.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include <fmt/format.h>

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/RunLoop.h"
#include "platform/SequenceChecker.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::webdav {

// Bridges the transport's events into the request's handlers.
class RequestTransferClient final : public HTTPTransferClient {
 public:
  explicit RequestTransferClient(KMRequest* request) : m_request(request) {}
  std::optional<HTTPRequest> transferWillSendRequest(const HTTPRequest& request,
                                                     const HTTPResponse* redirect) override {
    return m_request->connectionWillSendRequest(request, redirect);
  }
  void transferDidReceiveResponse(const HTTPResponse& response) override {
    m_request->connectionDidReceiveResponse(response);
  }
  void transferDidReceiveData(std::string_view chunk) override { m_request->connectionDidReceiveData(chunk); }
  void transferDidFinish() override { m_request->connectionDidFinishLoading(); }
  void transferDidFail(const KMError& error) override { m_request->connectionDidFailWithError(error); }

 private:
  KMRequest* m_request;
};

}  // namespace kdisk::webdav

namespace {

std::string procPathOf(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Seconds between two progress reports of one run (run clock).
constexpr double kPartialDataReportInterval = 0.1;

std::shared_ptr<spdlog::logger> requestLog() {
  // The request base admits warnings and errors only.
  static auto log = kdisk::logger("KMRequest", kdisk::LogLevel::Warning);
  return log;
}

}  // namespace

KMRequest::KMRequest(kdisk::URL url)
    : m_URL(std::move(url)), m_transferClient(std::make_unique<kdisk::webdav::RequestTransferClient>(this)) {}

KMRequest::~KMRequest() {
  // Whoever started a run waits for its outcome; a run that ends without one
  // leaves them waiting for good.
  KDISK_CONTRACT(!m_hasRun || m_outcomeReported || m_isCanceled,
                 description() + " was destroyed after a run that reported no outcome");
  // A running request holds itself, so only an idle one is destroyed here; its
  // transfer (if a subclass left one) must not call back into a dying object.
  m_connection.reset();
}

std::shared_ptr<kdisk::DispatchQueue> KMRequest::callbackQueue() const {
  std::lock_guard guard(m_callbackQueueLock);
  return m_callbackQueue ? m_callbackQueue : kdisk::DispatchQueue::mainQueue();
}

void KMRequest::setCallbackQueue(std::shared_ptr<kdisk::DispatchQueue> queue) {
  std::lock_guard guard(m_callbackQueueLock);
  m_callbackQueue = std::move(queue);
}

std::string KMRequest::description() const {
  return fmt::format("<{}: {}> URL: {}", className(), static_cast<const void*>(this), m_URL.absoluteString());
}

bool KMRequest::hasActiveConnection() const { return m_connection != nullptr; }

void KMRequest::performSyncOnCallbackQueue(const std::function<void()>& task) {
  auto queue = callbackQueue();
  if (queue->isCurrent()) {
    task();
  } else {
    queue->sync(task);
  }
}

void KMRequest::performAsyncOnCallbackQueue(std::function<void()> task) { callbackQueue()->async(std::move(task)); }

void KMRequest::prepareRequest(HTTPRequest& request) {
  if (m_OAuthToken && !m_OAuthToken->empty()) {
    request.setValueForHTTPHeaderField("OAuth " + *m_OAuthToken, "Authorization");
  }
  request.handlesCookies = false;
  request.timeoutInterval = m_timeoutInterval > 0 ? m_timeoutInterval : 20;
  std::string body = buildHTTPBody();
  if (!body.empty()) request.body = std::move(body);
}

std::optional<KMRequest::HTTPRequest> KMRequest::buildRequest() {
  if (!m_URL.isValid()) return std::nullopt;
  HTTPRequest request;
  request.URL = m_URL;
  prepareRequest(request);
  return request;
}

KMRequest::HTTPRequest KMRequest::buildRedirectRequestUsingDefault(const HTTPRequest& proposed) {
  HTTPRequest request = proposed;
  prepareRequest(request);
  return request;
}

void KMRequest::start() {
  if (!kdisk::RunLoop::isMainThread()) {
    // Transfers live on the main loop; keep the request alive across the hop.
    auto self = shared_from_this();
    kdisk::dispatchMain([self] { self->startOnMainThread(); });
    return;
  }
  startOnMainThread();
}

void KMRequest::startOnMainThread() {
  KDISK_CHECK_SEQUENCE(m_sequence, className());
  if (m_connection) {
    requestLog()->info("{} failed to start because it is already running", description());
    return;
  }
  m_receivedDataLength = 0;
  m_lastPartialDataReportTime.reset();
  m_lastPartialDataReported = 0;
  m_isCanceled = false;
  m_receivedData.reset();
  m_outcomeReported = false;
  m_hasRun = true;
  m_redirectCount = 0;
  m_self = shared_from_this();
  auto request = buildRequest();
  if (!request) {
    requestLog()->error("{} failed to build HTTP request.", description());
    failOnNextTurn(KMError(kKMRequestErrorDomain, kKMRequestErrorNotStarted,
                           "The request could not be made for " + m_URL.absoluteString() + "."));
    return;
  }
  if (!request->body.empty()) requestLog()->debug("BODY: {}", request->body);
  m_connection = std::make_unique<kdisk::webdav::HTTPTransfer>(*request, m_transferClient.get());
  if (!m_connection->start()) {
    m_connection.reset();
    requestLog()->error("{} failed to create request connection.", description());
    failOnNextTurn(KMError(kKMRequestErrorDomain, kKMRequestErrorNotStarted,
                           "The connection could not be opened for " + m_URL.absoluteString() + "."));
  }
}

void KMRequest::failOnNextTurn(KMError error) {
  // Not from inside start(): its caller may not be ready for the outcome yet.
  auto self = shared_from_this();
  kdisk::dispatchMain([self, error = std::move(error)] {
    // A cancel in between was this run's outcome.
    if (!self->m_outcomeReported && !self->m_connection) self->failWithError(error);
  });
}

void KMRequest::cancel() {
  m_isCanceled = true;
  if (!kdisk::RunLoop::isMainThread()) {
    auto self = shared_from_this();
    kdisk::dispatchMain([self] { self->cancelOnMainThread(); });
    return;
  }
  cancelOnMainThread();
}

void KMRequest::cancelOnMainThread() {
  KDISK_CHECK_SEQUENCE(m_sequence, className());
  m_isCanceled = true;
  requestLog()->info("{} cancel", description());
  closeConnection();
  // A run that already finished or failed keeps that outcome: a late cancel
  // must not turn a completed download into a failure.
  if (m_outcomeReported) {
    releaseSelf();
    return;
  }
  removeFileIfExist();
  failWithError(KMError(kKMRequestErrorDomain, kKMRequestErrorCancelled, "The request was cancelled."));
}

void KMRequest::closeConnection() {
  if (!m_connection) return;
  auto connection = std::move(m_connection);
  connection->cancel();
}

int KMRequest::closeReceivedFile() { return m_fileHandle.close(); }

bool KMRequest::nameReceivedFile() {
  if (!m_fileIsUnnamed || !m_fileURL) return true;
  m_fileIsUnnamed = false;
  const std::string path = m_fileURL->path();
  // Whatever appeared there meanwhile is older than this body.
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  return ::linkat(AT_FDCWD, procPathOf(m_fileHandle.get()).c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

void KMRequest::removeFileIfExist() {
  m_fileHandle.reset();
  if (m_fileURL) ::unlink(m_fileURL->path().c_str());
}

void KMRequest::callDelegateWithError(const KMError& error) {
  if (m_didFailBlock) performSyncOnCallbackQueue([&] { m_didFailBlock(error); });
}

bool KMRequest::claimOutcome() {
  KDISK_CONTRACT(!m_outcomeReported, description() + " reported a second outcome");
  if (m_outcomeReported) return false;
  m_outcomeReported = true;
  return true;
}

void KMRequest::failWithError(const KMError& error) {
  // The delegate may cancel its batch and drop the last other reference.
  auto self = weak_from_this().lock();
  if (claimOutcome()) callDelegateWithError(error);
  releaseSelf();
}

void KMRequest::abortWithError(const KMError& error) {
  closeConnection();
  removeFileIfExist();
  failWithError(error);
}

void KMRequest::releaseSelf() {
  // The caller may hold the last reference only through m_self; drop it last.
  auto self = std::move(m_self);
}

std::optional<KMRequest::HTTPRequest> KMRequest::connectionWillSendRequest(const HTTPRequest& request,
                                                                          const HTTPResponse* redirect) {
  KDISK_CHECK_SEQUENCE(m_sequence, className());
  if (m_isCanceled) return std::nullopt;
  m_lastResponse = redirect ? std::optional<HTTPResponse>(*redirect) : std::nullopt;
  if (!redirect) return request;
  if (++m_redirectCount > kdisk::webdav::kKMHTTPMaxRedirects) {
    // A server that always redirects would keep the request running for good.
    abortWithError(KMError(kKMRequestErrorDomain, kKMRequestErrorTooManyRedirects,
                           fmt::format("The server redirected the request more than {} times.",
                                       kdisk::webdav::kKMHTTPMaxRedirects)));
    return std::nullopt;
  }
  std::optional<HTTPRequest> next = buildRedirectRequestUsingDefault(request);
  if (m_shouldRedirectBlock) {
    performSyncOnCallbackQueue([&] { next = m_shouldRedirectBlock(*redirect, request); });
  }
  // Whoever built the hop, the token stays with the origin it was given for.
  if (next) kdisk::webdav::dropCredentialsLeavingOrigin(*next, m_URL);
  if (next) m_lastRequest = next;
  return next;
}

void KMRequest::connectionDidReceiveResponse(const HTTPResponse& response) {
  KDISK_CHECK_SEQUENCE(m_sequence, className());
  requestLog()->info("{} did receive response {} {}", description(), response.statusCode,
                     kdisk::webdav::localizedStringForStatusCode(response.statusCode));
  if (m_isCanceled) return;
  m_lastResponse = response;
  bool accept = acceptResponseCode(response.statusCode);
  if (m_didReceiveResponseBlock) performSyncOnCallbackQueue([&] { m_didReceiveResponseBlock(response, accept); });
  if (!accept && !m_isCanceled) {
    requestLog()->info("{}: response has not been accepted. Closing connection", description());
    closeConnection();
    failWithError(KMError(kKMRequestErrorDomain, kKMRequestErrorNotAccepted,
                          fmt::format("The server answered {} {}.", response.statusCode,
                                      kdisk::webdav::localizedStringForStatusCode(response.statusCode))));
  }
}

void KMRequest::connectionDidReceiveData(std::string_view chunk) {
  KDISK_CHECK_SEQUENCE(m_sequence, className());
  if (m_isCanceled) return;
  const std::int64_t expected =
      m_lastResponse && m_lastResponse->expectedContentLength ? *m_lastResponse->expectedContentLength : 0;
  if (m_fileURL) {
    const std::string path = m_fileURL->path();
    if (m_receivedDataLength == 0) {
      m_fileHandle.reset();
      if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        abortWithError(KMErrorFromErrno(errno, path));
        return;
      }
    }
    if (!m_fileHandle.isValid()) {
      const auto slash = path.rfind('/');
      if (slash != std::string::npos && slash > 0) {
        auto created = kdisk::paths::createDirectories(path.substr(0, slash));
        if (!created.hasValue()) {
          abortWithError(created.error());
          return;
        }
      }
      // The body goes into a file without a name that gets its name once whole:
      // a run cut short (a crash, a kill) leaves nothing that looks downloaded.
      const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
      m_fileHandle.reset(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
      m_fileIsUnnamed = m_fileHandle.isValid() && ::access(procPathOf(m_fileHandle.get()).c_str(), F_OK) == 0;
      // Where the file system has no unnamed files: written in place, as
      // O_TRUNC replaces whatever is there, never appends to it.
      if (!m_fileIsUnnamed)
        m_fileHandle.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
      if (!m_fileHandle.isValid()) {
        abortWithError(KMErrorFromErrno(errno, path));
        return;
      }
    }
    std::string_view rest = chunk;
    while (!rest.empty()) {
      const ssize_t written = ::write(m_fileHandle.get(), rest.data(), rest.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        const int failure = written < 0 ? errno : ENOSPC;
        abortWithError(KMError(kKMRequestErrorDomain, kKMRequestErrorWriteFailed, std::strerror(failure),
                               {{"errno", failure}, {"path", path}, {"description", std::strerror(failure)}}));
        return;
      }
      rest.remove_prefix(static_cast<size_t>(written));
    }
  } else {
    if (m_receivedDataLength + chunk.size() > m_maxInMemoryBodyBytes) {
      // Counted after decoding: a small compressed answer may not grow without end.
      abortWithError(KMError(kKMRequestErrorDomain, kKMRequestErrorTooLarge,
                             fmt::format("The answer is larger than {} bytes.", m_maxInMemoryBodyBytes)));
      return;
    }
    if (m_keepsReceivedData) {
      if (!m_receivedData) {
        m_receivedData.emplace();
        // Capacity from the declared length, bounded: a server may lie about it.
        m_receivedData->reserve(static_cast<size_t>(std::min<std::int64_t>(expected, 16 << 20)));
      }
      m_receivedData->append(chunk);
    }
  }
  m_receivedDataLength += chunk.size();
  reportPartialData(false);
}

void KMRequest::reportPartialData(bool final) {
  if (!m_didGetPartialDataBlock) return;
  // At most one report waits and it reads the newest total when it runs; and
  // reports are spaced in time: a large download is thousands of reads, and a
  // report for each costs a thread hop and a notification per read. The last
  // total is always reported.
  const double now = kdisk::RunLoop::main().now();
  const std::uint64_t received = m_receivedDataLength.load();
  if (received == m_lastPartialDataReported) return;
  if (!final && m_lastPartialDataReportTime && now - *m_lastPartialDataReportTime < kPartialDataReportInterval) return;
  if (m_partialDataReportPending.exchange(true)) return;
  m_lastPartialDataReportTime = now;
  m_lastPartialDataReported = received;
  const std::int64_t expected =
      m_lastResponse && m_lastResponse->expectedContentLength ? *m_lastResponse->expectedContentLength : 0;
  std::weak_ptr<KMRequest> weak = weak_from_this();
  auto block = m_didGetPartialDataBlock;
  performAsyncOnCallbackQueue([weak, block, expected] {
    auto self = weak.lock();
    if (!self) return;
    self->m_partialDataReportPending = false;
    block(self->m_receivedDataLength.load(), expected);
  });
}

void KMRequest::connectionDidFinishLoading() {
  KDISK_CHECK_SEQUENCE(m_sequence, className());
  closeConnection();
  if (m_fileHandle.isValid()) {
    // A write the disk could not keep may be reported only by close: such a
    // file is not the body, and must not be announced as downloaded.
    const bool named = nameReceivedFile();
    if ((!named || closeReceivedFile() != 0) && !m_isCanceled && !m_outcomeReported) {
      const int failure = errno;
      const std::string path = m_fileURL ? m_fileURL->path() : std::string();
      abortWithError(KMError(kKMRequestErrorDomain, kKMRequestErrorWriteFailed, std::strerror(failure),
                             {{"errno", failure}, {"path", path}, {"description", std::strerror(failure)}}));
      return;
    }
    requestLog()->info("DATA stored at: {}", m_fileURL ? m_fileURL->path() : std::string());
  } else if (m_receivedData) {
    requestLog()->debug("DATA: {}", *m_receivedData);
  }
  if (m_isCanceled || !claimOutcome()) {
    releaseSelf();
    return;
  }
  if (m_fileURL && m_receivedDataLength == 0) {
    // An empty body still yields the (empty) file, never a stale older one.
    const std::string path = m_fileURL->path();
    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) (void)kdisk::paths::createDirectories(path.substr(0, slash));
    kdisk::UniqueFd empty(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  }
  reportPartialData(true);
  auto self = m_self;  // processReceivedData may hand the request to another queue
  if (m_didFinishLoadingBlock) {
    const std::optional<std::string> none;
    performSyncOnCallbackQueue([&] { m_didFinishLoadingBlock(m_fileURL ? none : m_receivedData); });
  }
  processReceivedData();
  releaseSelf();
}

void KMRequest::connectionDidFailWithError(const KMError& error) {
  KDISK_CHECK_SEQUENCE(m_sequence, className());
  requestLog()->error("{} did fail with error:\n{}", description(), error.description());
  if (m_isCanceled) return;
  abortWithError(error);
}
