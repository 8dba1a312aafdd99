#pragma once
// Named notifications with user info. Observers run on the thread that posts;
// the two main-thread operations make sure that is the main thread, which is
// where every observer of the manager and of authorization expects to run.
// Observers may be added or removed (their token dropped) while a notification
// is being delivered: a removed observer is not called again, an added one
// first hears the next posting.

#include <functional>
#include <memory>
#include <string>

#include "platform/ObserverToken.h"
#include "platform/Value.h"

namespace kdisk {

struct Notification {
  std::string name;
  // Identity of the sender, for observers that filter by it; may be null.
  const void* object = nullptr;
  Dictionary userInfo;
};

class NotificationCenter {
 public:
  using Observer = std::function<void(const Notification&)>;

  static NotificationCenter& defaultCenter();
  NotificationCenter();
  ~NotificationCenter();

  // `object` null observes every sender of `name`.
  [[nodiscard]] ObserverToken addObserver(std::string name, const void* object, Observer observer);
  [[nodiscard]] ObserverToken addObserver(std::string name, Observer observer) {
    return addObserver(std::move(name), nullptr, std::move(observer));
  }

  // Delivers now, on the calling thread.
  void post(const Notification& notification);
  void post(std::string name, const void* object = nullptr, Dictionary userInfo = {}) {
    post(Notification{std::move(name), object, std::move(userInfo)});
  }

  // Posts at once when the caller runs on the main queue, otherwise queues the
  // posting asynchronously on the main queue.
  void postNotificationInMainQueueWithNameObjectUserInfo(std::string name, const void* object,
                                                         Dictionary userInfo);
  // Posts at once on the main thread, otherwise hands the posting to the main
  // thread.
  void postNotificationInMainThreadWithNameObjectUserInfo(std::string name, const void* object,
                                                          Dictionary userInfo);

 private:
  struct State;
  std::shared_ptr<State> m_state;
};

}  // namespace kdisk
