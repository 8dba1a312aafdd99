#pragma once
// One HTTP request to the service with its completion callbacks: builds the
// request through overridable hooks, runs one transfer at a time, keeps the body
// in memory or streams it into `fileURL`, and reports exactly one outcome per
// transfer: didFinishLoadingBlock or didFailBlock.
//
// Threads: start() and cancel() belong to the main thread (called elsewhere,
// they hop there); every transport event arrives there. Callbacks run on the
// callback queue (the main queue when none is set): redirect, response, finish
// and failure synchronously (inline when already on that queue), partial-data
// asynchronously. The request keeps itself alive from start() until its
// outcome has been reported.
//
// States:   Idle --start--> Running --finish--> Idle (finished)
//                              |------fail----> Idle (failed: code 1, 2, 4, 5, transport or file error)
//           Idle --start, no request or connection--> Idle (code 6, on the next turn)
//           any  --cancel--> Idle (code 3, once per run; nothing after an outcome)

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/DispatchQueue.h"
#include "platform/FileOwners.h"
#include "platform/KMError.h"
#include "platform/SequenceChecker.h"
#include "platform/URL.h"
#include "webdav/KMHTTPMessage.h"

namespace kdisk::webdav {
class HTTPTransfer;
class RequestTransferClient;
}

inline constexpr const char* kKMRequestErrorDomain = "kKMRequestErrorDomain";
inline constexpr int kKMRequestErrorNotAccepted = 1;
inline constexpr int kKMRequestErrorWriteFailed = 2;
inline constexpr int kKMRequestErrorCancelled = 3;
inline constexpr int kKMRequestErrorTooManyRedirects = 4;
inline constexpr int kKMRequestErrorTooLarge = 5;
// The request could not be built or its connection not opened (a bad URL).
inline constexpr int kKMRequestErrorNotStarted = 6;
// What an answer kept in memory may grow to once decoded (the XML parser's own
// bound); downloads into `fileURL` have none.
inline constexpr std::uint64_t kKMRequestMaxInMemoryBodyBytes = 64u * 1024 * 1024;

class KMRequest : public std::enable_shared_from_this<KMRequest> {
 public:
  using HTTPRequest = kdisk::webdav::HTTPRequest;
  using HTTPResponse = kdisk::webdav::HTTPResponse;
  using ShouldRedirectBlock =
      std::function<std::optional<HTTPRequest>(const HTTPResponse& redirect, const HTTPRequest& proposed)>;
  using DidReceiveResponseBlock = std::function<void(const HTTPResponse& response, bool& accept)>;
  using DidGetPartialDataBlock = std::function<void(std::uint64_t received, std::int64_t expected)>;
  // The body, or nothing when it went to `fileURL` or was empty.
  using DidFinishLoadingBlock = std::function<void(const std::optional<std::string>& data)>;
  using DidFailBlock = std::function<void(const KMError& error)>;

  explicit KMRequest(kdisk::URL url);
  virtual ~KMRequest();
  KMRequest(const KMRequest&) = delete;
  KMRequest& operator=(const KMRequest&) = delete;

  void start();
  void cancel();
  bool hasActiveConnection() const;

  const kdisk::URL& URL() const { return m_URL; }
  void setURL(kdisk::URL url) { m_URL = std::move(url); }
  const std::optional<std::string>& OAuthToken() const { return m_OAuthToken; }
  void setOAuthToken(std::optional<std::string> token) { m_OAuthToken = std::move(token); }
  const std::optional<kdisk::URL>& fileURL() const { return m_fileURL; }
  void setFileURL(std::optional<kdisk::URL> url) { m_fileURL = std::move(url); }
  std::uint64_t maxInMemoryBodyBytes() const { return m_maxInMemoryBodyBytes; }
  void setMaxInMemoryBodyBytes(std::uint64_t bytes) { m_maxInMemoryBodyBytes = bytes; }
  // Whether an in-memory body is kept for `receivedData` and the finish
  // callback (by default it is). A request whose body is decoded as it arrives
  // may go without the copy; the finish callback then receives none, and
  // `receivedDataLength` still tells whether there was a body.
  bool keepsReceivedData() const { return m_keepsReceivedData; }
  void setKeepsReceivedData(bool keeps) { m_keepsReceivedData = keeps; }
  double timeoutInterval() const { return m_timeoutInterval; }
  void setTimeoutInterval(double seconds) { m_timeoutInterval = seconds; }
  std::shared_ptr<kdisk::DispatchQueue> callbackQueue() const;
  void setCallbackQueue(std::shared_ptr<kdisk::DispatchQueue> queue);

  void setShouldRedirectBlock(ShouldRedirectBlock block) { m_shouldRedirectBlock = std::move(block); }
  void setDidReceiveResponseBlock(DidReceiveResponseBlock block) { m_didReceiveResponseBlock = std::move(block); }
  void setDidGetPartialDataBlock(DidGetPartialDataBlock block) { m_didGetPartialDataBlock = std::move(block); }
  void setDidFinishLoadingBlock(DidFinishLoadingBlock block) { m_didFinishLoadingBlock = std::move(block); }
  void setDidFailBlock(DidFailBlock block) { m_didFailBlock = std::move(block); }

  const std::optional<HTTPRequest>& lastRequest() const { return m_lastRequest; }
  const std::optional<HTTPResponse>& lastResponse() const { return m_lastResponse; }
  const std::optional<std::string>& receivedData() const { return m_receivedData; }
  std::uint64_t receivedDataLength() const { return m_receivedDataLength.load(); }
  bool isCanceled() const { return m_isCanceled.load(); }

  // "<KMFileListRequest: 0x...> URL: https://..."
  std::string description() const;
  virtual const char* className() const { return "KMRequest"; }

 protected:
  virtual std::string buildHTTPBody() { return {}; }
  virtual void prepareRequest(HTTPRequest& request);
  virtual std::optional<HTTPRequest> buildRequest();
  virtual HTTPRequest buildRedirectRequestUsingDefault(const HTTPRequest& proposed);
  virtual bool acceptResponseCode(int statusCode) { return statusCode >= 200 && statusCode <= 299; }
  virtual void processReceivedData() {}
  virtual void closeConnection();
  virtual void removeFileIfExist();
  // Closes the file the body went into; ::close's result (errno set on failure).
  virtual int closeReceivedFile();
  virtual void callDelegateWithError(const KMError& error);

  // Transport events, on the main thread.
  virtual std::optional<HTTPRequest> connectionWillSendRequest(const HTTPRequest& request,
                                                               const HTTPResponse* redirectResponse);
  virtual void connectionDidReceiveResponse(const HTTPResponse& response);
  virtual void connectionDidReceiveData(std::string_view chunk);
  virtual void connectionDidFinishLoading();
  virtual void connectionDidFailWithError(const KMError& error);

  // Runs `task` on the callback queue and returns when it has run.
  void performSyncOnCallbackQueue(const std::function<void()>& task);
  void performAsyncOnCallbackQueue(std::function<void()> task);
  // Whether this run already reported its outcome (then nothing more is).
  bool outcomeReported() const { return m_outcomeReported; }

 private:
  friend class kdisk::webdav::RequestTransferClient;
  void startOnMainThread();
  void cancelOnMainThread();
  // Marks the run's outcome; false when one was already reported.
  bool claimOutcome();
  void failWithError(const KMError& error);
  void failOnNextTurn(KMError error);
  // Closes, removes the partial file, reports `error`.
  void abortWithError(const KMError& error);
  void releaseSelf();
  // Hands the received total to didGetPartialDataBlock, spaced in time; `final`
  // reports a total not yet reported however recent the last report was.
  void reportPartialData(bool final);
  // Gives the unnamed file the body went into its name; false with errno set.
  bool nameReceivedFile();

  kdisk::URL m_URL;
  std::optional<std::string> m_OAuthToken;
  std::optional<kdisk::URL> m_fileURL;
  double m_timeoutInterval = 0;
  std::uint64_t m_maxInMemoryBodyBytes = kKMRequestMaxInMemoryBodyBytes;
  bool m_keepsReceivedData = true;
  mutable std::mutex m_callbackQueueLock;
  std::shared_ptr<kdisk::DispatchQueue> m_callbackQueue;

  ShouldRedirectBlock m_shouldRedirectBlock;
  DidReceiveResponseBlock m_didReceiveResponseBlock;
  DidGetPartialDataBlock m_didGetPartialDataBlock;
  DidFinishLoadingBlock m_didFinishLoadingBlock;
  DidFailBlock m_didFailBlock;

  std::unique_ptr<kdisk::webdav::RequestTransferClient> m_transferClient;
  std::unique_ptr<kdisk::webdav::HTTPTransfer> m_connection;
  std::optional<HTTPRequest> m_lastRequest;
  std::optional<HTTPResponse> m_lastResponse;
  std::optional<std::string> m_receivedData;
  std::atomic<std::uint64_t> m_receivedDataLength{0};
  std::atomic<bool> m_partialDataReportPending{false};
  std::optional<double> m_lastPartialDataReportTime;
  std::uint64_t m_lastPartialDataReported = 0;
  kdisk::UniqueFd m_fileHandle;
  // The body's file has no name yet (O_TMPFILE); it gets one when whole.
  bool m_fileIsUnnamed = false;
  std::atomic<bool> m_isCanceled{false};
  bool m_outcomeReported = false;
  bool m_hasRun = false;
  int m_redirectCount = 0;
  // Keeps the request alive while it runs; dropped after the outcome.
  std::shared_ptr<KMRequest> m_self;
  // Runs and transport events belong to the main thread.
  kdisk::SequenceChecker m_sequence;
};
