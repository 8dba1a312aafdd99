#pragma once
// Key-value observation of named properties: an object announces a change of
// one of its properties and every observer of that name hears it, synchronously,
// on the thread of the change. Safe to use from several threads.

#include <functional>
#include <memory>
#include <string>

#include "platform/ObserverToken.h"

namespace kdisk {

class KeyValueObservable {
 public:
  using Observer = std::function<void(const std::string& key)>;

  KeyValueObservable();
  virtual ~KeyValueObservable();

  [[nodiscard]] ObserverToken observeValueForKey(std::string key, Observer observer);

 protected:
  void didChangeValueForKey(const std::string& key);

 private:
  struct State;
  std::shared_ptr<State> m_state;
};

}  // namespace kdisk
