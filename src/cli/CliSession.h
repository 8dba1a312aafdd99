#pragma once
// What every command shares: failures in plain words, the notifications a
// command waits for, and the session over the application's engine.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/NotificationCenter.h"
#include "platform/ObserverToken.h"
#include "platform/URL.h"

class KMFileItem;
class KMWebDAVFileManager;
class KMWebDAVStorage;

namespace kdisk::cli {

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;
// Long enough for any transfer: the requests carry their own time-outs.
constexpr double kTransferWait = 24 * 3600;
constexpr double kRequestWait = 120;

// A failed operation with its message in plain words.
struct Failure {
  std::string message;
  int status = kFailed;
};

// A value, or the failure that kept it from being made. No operator bool:
// callers say hasValue() so a reader sees which way the branch goes.
template <typename T> class Result {
public:
  Result(T value) : m_value(std::move(value)) {}
  Result(Failure failure) : m_failure(std::move(failure)) {}
  bool hasValue() const { return m_value.has_value(); }
  T& value() { return *m_value; }
  const T& value() const { return *m_value; }
  const Failure& failure() const { return *m_failure; }

private:
  std::optional<T> m_value;
  std::optional<Failure> m_failure;
};
// For steps that give nothing but may fail.
struct Passed {};
using Step = Result<Passed>;
inline Step passed() { return Passed{}; }

// Says why a command failed on stderr and gives its exit status.
int report(const Failure& failure);

std::string hostOf(const URL& url);

// Every notification of interest to one command, in arrival order.
class Outcomes {
public:
  explicit Outcomes(std::vector<std::string> names);
  std::size_t count(std::string_view name) const;
  // The first notification received, or null.
  const Notification* first() const { return received.empty() ? nullptr : &received.front(); }
  // Waits until `done` or a refused token; false when time ran out.
  bool waitFor(const std::function<bool()>& done, double seconds = kRequestWait);
  // Waits for the first notification.
  bool waitForFirst(double seconds = kRequestWait) {
    return waitFor([this] { return !received.empty(); }, seconds);
  }

  std::vector<Notification> received;
  bool authenticationFailed = false;
  std::function<void(const Notification&)> onNotification;

private:
  std::vector<ObserverToken> m_tokens;
};

class Session {
public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  KMWebDAVStorage& storage();
  URL root() const;
  Step requireToken() const;

  // A remote path below the root ("/Documents/a.txt") or a URL.
  Result<URL> resolve(const std::string& path, bool directory = false) const;
  // The path below the root, decoded, for messages.
  std::string remotePath(const URL& url) const;

  // The failure of `what`, in the words the outcomes allow.
  Failure failureOf(const Outcomes& outcomes, const Notification* failure, const std::string& what) const;
  // Unless the first notification is `success`, fails with `what`.
  Step expectFirst(const Outcomes& outcomes, std::string_view success, const std::string& what) const;

  // Refreshes `directory` into the store.
  Step refresh(const URL& directory);
  // The item at `path` as its parent's listing names it.
  Result<std::shared_ptr<KMFileItem>> item(const std::string& path, bool offline);

  std::shared_ptr<KMWebDAVFileManager> manager;
};

} // namespace kdisk::cli
