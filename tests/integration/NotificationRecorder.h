#pragma once
// Records notifications of chosen names from the default centre, with the
// thread they arrived on, and turns the main loop until the expected ones are in.

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/KMError.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

namespace kdisk::test {

// The error a failure notification carries under "error", copied out.
inline std::optional<KMError> errorIn(const Dictionary& userInfo) {
  const KMError* error = errorForKey(userInfo);
  return error ? std::optional<KMError>(*error) : std::nullopt;
}

struct ObservedNotification {
  std::string name;
  const void* object = nullptr;
  Dictionary userInfo;
  bool onMainThread = false;

  std::string string(const char* key) const { return stringForKey(userInfo, key).value_or(""); }
  bool has(const char* key) const { return find(userInfo, key) != nullptr; }
};

class NotificationRecorder {
 public:
  explicit NotificationRecorder(std::vector<std::string> names) {
    for (auto& name : names) {
      m_tokens.push_back(NotificationCenter::defaultCenter().addObserver(
          name, [this](const Notification& notification) {
            std::lock_guard guard(m_lock);
            m_seen.push_back({notification.name, notification.object, notification.userInfo,
                              RunLoop::isMainThread()});
          }));
    }
  }

  std::vector<ObservedNotification> all() const {
    std::lock_guard guard(m_lock);
    return m_seen;
  }
  std::vector<ObservedNotification> named(const std::string& name) const {
    std::vector<ObservedNotification> matching;
    for (auto& seen : all())
      if (seen.name == name) matching.push_back(seen);
    return matching;
  }
  std::size_t count(const std::string& name) const { return named(name).size(); }
  // Names in arrival order.
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (auto& seen : all()) result.push_back(seen.name);
    return result;
  }
  bool allOnMainThread() const {
    auto seen = all();
    return std::all_of(seen.begin(), seen.end(), [](auto& s) { return s.onMainThread; });
  }
  // Turns the main loop until `total` notifications of the given names are in.
  bool waitFor(const std::vector<std::string>& names, std::size_t total = 1, double seconds = 30) {
    return RunLoop::main().runUntil(
        [&] {
          std::size_t n = 0;
          for (auto& name : names) n += count(name);
          return n >= total;
        },
        seconds);
  }
  bool waitFor(const char* name, std::size_t total = 1, double seconds = 30) {
    return waitFor(std::vector<std::string>{std::string(name)}, total, seconds);
  }
  // Lets already queued postings arrive, so a test can check none more came.
  void drain() {
    for (int i = 0; i < 5; ++i) RunLoop::main().runPending();
  }
  void clear() {
    std::lock_guard guard(m_lock);
    m_seen.clear();
  }

 private:
  mutable std::mutex m_lock;
  std::vector<ObservedNotification> m_seen;
  std::vector<ObserverToken> m_tokens;
};

}  // namespace kdisk::test
