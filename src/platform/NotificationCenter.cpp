#include "platform/NotificationCenter.h"

#include <map>
#include <mutex>
#include <vector>

#include "platform/DispatchQueue.h"
#include "platform/RunLoop.h"

namespace kdisk {

struct NotificationCenter::State {
  struct Entry {
    std::string name;
    const void* object;
    std::shared_ptr<Observer> observer;
  };
  std::mutex mutex;
  std::map<std::uint64_t, Entry> entries;  // ordered by id: observers hear in the order they came
  std::uint64_t nextId = 1;
};

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter* center = new NotificationCenter();
  return *center;
}

NotificationCenter::NotificationCenter() : m_state(std::make_shared<State>()) {}
NotificationCenter::~NotificationCenter() = default;

ObserverToken NotificationCenter::addObserver(std::string name, const void* object,
                                              Observer observer) {
  std::uint64_t id;
  {
    std::lock_guard lock(m_state->mutex);
    id = m_state->nextId++;
    m_state->entries.emplace(
        id, State::Entry{std::move(name), object, std::make_shared<Observer>(std::move(observer))});
  }
  // The token may outlive the centre (a screen dropped at exit): hold it weakly.
  return ObserverToken([weak = std::weak_ptr<State>(m_state), id] {
    if (auto state = weak.lock()) {
      std::lock_guard lock(state->mutex);
      state->entries.erase(id);
    }
  });
}

void NotificationCenter::post(const Notification& notification) {
  std::vector<std::pair<std::uint64_t, std::shared_ptr<Observer>>> matching;
  {
    std::lock_guard lock(m_state->mutex);
    for (const auto& [id, entry] : m_state->entries) {
      if (entry.name != notification.name) continue;
      if (entry.object && entry.object != notification.object) continue;
      matching.emplace_back(id, entry.observer);
    }
  }
  for (const auto& [id, observer] : matching) {
    {
      // An earlier observer of this same posting may have removed this one.
      std::lock_guard lock(m_state->mutex);
      if (!m_state->entries.count(id)) continue;
    }
    (*observer)(notification);
  }
}

void NotificationCenter::postNotificationInMainQueueWithNameObjectUserInfo(std::string name,
                                                                           const void* object,
                                                                           Dictionary userInfo) {
  auto mainQueue = DispatchQueue::mainQueue();
  Notification notification{std::move(name), object, std::move(userInfo)};
  if (mainQueue->isCurrent()) {
    post(notification);
    return;
  }
  mainQueue->async([this, notification = std::move(notification)] { post(notification); });
}

void NotificationCenter::postNotificationInMainThreadWithNameObjectUserInfo(std::string name,
                                                                            const void* object,
                                                                            Dictionary userInfo) {
  Notification notification{std::move(name), object, std::move(userInfo)};
  if (RunLoop::isMainThread()) {
    post(notification);
    return;
  }
  RunLoop::main().post([this, notification = std::move(notification)] { post(notification); });
}

}  // namespace kdisk
