#pragma once
// Keeps an observation alive; the observation ends when the token is destroyed
// or reset. Move-only, so exactly one owner ends it.

#include <functional>

namespace kdisk {

class ObserverToken {
 public:
  ObserverToken() = default;
  explicit ObserverToken(std::function<void()> remove) : m_remove(std::move(remove)) {}
  ObserverToken(ObserverToken&& other) noexcept : m_remove(std::move(other.m_remove)) {
    other.m_remove = nullptr;
  }
  ObserverToken& operator=(ObserverToken&& other) noexcept {
    if (this != &other) {
      reset();
      m_remove = std::move(other.m_remove);
      other.m_remove = nullptr;
    }
    return *this;
  }
  ObserverToken(const ObserverToken&) = delete;
  ObserverToken& operator=(const ObserverToken&) = delete;
  ~ObserverToken() { reset(); }

  void reset() {
    if (m_remove) {
      auto remove = std::move(m_remove);
      m_remove = nullptr;
      remove();
    }
  }
  bool isActive() const { return static_cast<bool>(m_remove); }

 private:
  std::function<void()> m_remove;
};

}  // namespace kdisk
