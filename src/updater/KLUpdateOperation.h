#pragma once
// One update check: GET the update manifest for a branch, a name and a build
// number, and read the newest build number and its download URL from the
// answer. start() blocks the calling thread for the request, then runs the
// completion on that same thread; startOnNewThread() does both on a thread of
// its own.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/KMError.h"
#include "platform/URL.h"

inline constexpr const char* kKLUpdateOperationErrorDomain = "kKLUpdateOperationErrorDomain";
// The request failed without a transport error (a status other than 200, an
// empty answer).
inline constexpr int kKLUpdateOperationRequestFailed = 0;
// The same, while the operation was cancelled.
inline constexpr int kKLUpdateOperationCancelled = 1;
// The answer lacks "build_number" or "url".
inline constexpr int kKLUpdateOperationBadAnswer = 2;

// Used when the caller gives a time-out of 0.
inline constexpr unsigned kKLUpdateOperationDefaultTimeOut = 10;

class KLUpdateOperation : public std::enable_shared_from_this<KLUpdateOperation> {
 public:
  using Parameters = std::vector<std::pair<std::string, std::string>>;

  KLUpdateOperation(std::string brunch, std::string appName, unsigned buildNumber,
                    unsigned timeOutInSec);

  const std::string& brunch() const { return m_brunch; }
  const std::string& appName() const { return m_appName; }
  unsigned buildNumber() const { return m_buildNumber; }
  unsigned timeOutInSec() const { return m_timeOutInSec; }

  // Results; read them in the completion or after start() returned.
  unsigned newBuildNumber() const { return m_newBuildNumber; }
  const std::optional<kdisk::URL>& url() const { return m_url; }
  const std::optional<KMError>& lastError() const { return m_lastError; }

  void setCompletionBlock(std::function<void(KLUpdateOperation&)> completion) {
    m_completion = std::move(completion);
  }
  void cancel() { m_cancelled = true; }
  bool isCancelled() const { return m_cancelled; }

  void start();
  void startOnNewThread();

  void sendUpdateRequest();
  void handleAnswer(const std::string& body);

  Parameters updateParameters() const;
  // "/update/" below the environment's update origin, or the test's endpoint.
  std::string endpointString() const;
  void setEndpointForTesting(std::string endpoint) { m_endpointForTesting = std::move(endpoint); }

 private:
  std::string m_brunch;
  std::string m_appName;
  unsigned m_buildNumber;
  unsigned m_timeOutInSec;
  unsigned m_newBuildNumber = 0;
  std::optional<kdisk::URL> m_url;
  std::optional<KMError> m_lastError;
  std::function<void(KLUpdateOperation&)> m_completion;
  std::atomic<bool> m_cancelled{false};
  std::optional<std::string> m_endpointForTesting;
};
