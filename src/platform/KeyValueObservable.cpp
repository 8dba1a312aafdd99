#include "platform/KeyValueObservable.h"

#include "platform/NotificationCenter.h"

namespace kdisk {

// A private notification centre keyed by property name gives the same rules
// for adding and removing observers while a change is announced.
struct KeyValueObservable::State {
  NotificationCenter center;
};

KeyValueObservable::KeyValueObservable() : m_state(std::make_shared<State>()) {}
KeyValueObservable::~KeyValueObservable() = default;

ObserverToken KeyValueObservable::observeValueForKey(std::string key, Observer observer) {
  return m_state->center.addObserver(std::move(key), [observer = std::move(observer)](
                                                         const Notification& notification) {
    observer(notification.name);
  });
}

void KeyValueObservable::didChangeValueForKey(const std::string& key) {
  m_state->center.post(key, this);
}

}  // namespace kdisk
