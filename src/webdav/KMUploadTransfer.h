#pragma once
// The upload transport: one HTTP PUT whose body streams from a local file
// (never read into memory), with "Authorization" and "User-Agent", sent with
// "If-None-Match: *" so an existing file is never replaced (the service and
// Apache's mod_dav answer 412 Precondition Failed; nginx's dav module ignores
// the field and replaces the file), a 30-second
// inactivity time-out, progress as the running total of bytes sent, and a
// finished or failed callback. Progress comes at a rate a user can see, not
// per chunk. cancel() reports the upload as failed, also before start(),
// which then sends nothing.
//
// start() and cancel() may be called from any thread; the transfer runs on the
// main loop and callbacks arrive on the main thread. Exactly one of finished
// and failed runs per start. Keeps itself alive until then.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/KMError.h"
#include "platform/SequenceChecker.h"
#include "platform/URL.h"

namespace kdisk::webdav {

class HTTPTransfer;
class UploadTransferClient;

class KMUploadTransfer : public std::enable_shared_from_this<KMUploadTransfer> {
 public:
  using ProgressCallback = std::function<void(KMUploadTransfer& upload, std::uint64_t totalBytesSent)>;
  using CompletionCallback = std::function<void(KMUploadTransfer& upload)>;

  KMUploadTransfer(kdisk::URL destinationURL, std::string sourcePath, std::optional<std::string> OAuthToken);
  ~KMUploadTransfer();

  void setProgressCallback(ProgressCallback callback) { m_progress = std::move(callback); }
  void setFinishedCallback(CompletionCallback callback) { m_finished = std::move(callback); }
  void setFailedCallback(CompletionCallback callback) { m_failed = std::move(callback); }
  void setTimeoutInterval(double seconds) { m_timeoutInterval = seconds; }

  void start();
  void cancel();

  const kdisk::URL& destinationURL() const { return m_destinationURL; }
  const std::string& sourcePath() const { return m_sourcePath; }
  // The response status once finished; 0 before.
  int responseStatusCode() const { return m_statusCode; }
  const std::optional<KMError>& error() const { return m_error; }

 private:
  friend class UploadTransferClient;
  void startOnMainThread();
  void cancelOnMainThread();
  void complete(std::optional<KMError> error);
  // Whether a report of `total` bytes sent is due: at most ~30 a second and
  // 64 KiB apart, the last one (the whole body) always.
  bool progressReportIsDue(std::uint64_t total);

  kdisk::URL m_destinationURL;
  std::string m_sourcePath;
  std::optional<std::string> m_OAuthToken;
  double m_timeoutInterval = 30;
  ProgressCallback m_progress;
  CompletionCallback m_finished;
  CompletionCallback m_failed;
  std::unique_ptr<UploadTransferClient> m_client;
  std::unique_ptr<HTTPTransfer> m_transfer;
  int m_statusCode = 0;
  std::uint64_t m_bodySize = 0;
  std::uint64_t m_lastReportedTotal = 0;
  std::chrono::steady_clock::time_point m_lastReportTime;
  std::optional<KMError> m_error;
  bool m_completed = false;
  bool m_cancelledBeforeStart = false;
  std::shared_ptr<KMUploadTransfer> m_self;
  SequenceChecker m_sequence;
};

}  // namespace kdisk::webdav
