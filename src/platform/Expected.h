#pragma once
// A value or the error that kept it from being made. Deliberately no operator
// bool: callers say hasValue() so a reader sees which way the branch goes.

#include <cassert>
#include <utility>
#include <variant>

#include "platform/KMError.h"

namespace kdisk {

template <typename T> class Expected {
 public:
  Expected(T value) : m_storage(std::move(value)) {}
  Expected(KMError error) : m_storage(std::move(error)) {}

  bool hasValue() const { return m_storage.index() == 0; }
  T& value() { assert(hasValue()); return std::get<0>(m_storage); }
  const T& value() const { assert(hasValue()); return std::get<0>(m_storage); }
  const KMError& error() const { assert(!hasValue()); return std::get<1>(m_storage); }
  T valueOr(T fallback) const { return hasValue() ? value() : std::move(fallback); }

 private:
  std::variant<T, KMError> m_storage;
};

// For operations that give nothing but may fail.
struct Done {};
using Status = Expected<Done>;
inline Status success() { return Done{}; }

}  // namespace kdisk
