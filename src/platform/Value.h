#pragma once
// A small variant value for notification user info, property lists and the
// settings store. `Null` is an explicit "nothing" marker that a dictionary can
// hold, distinct from a missing key and from the empty text.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct KMError;

namespace kdisk {

struct Null {
  bool operator==(const Null&) const = default;
};

// Seconds since 1970-01-01T00:00:00Z, the way dates travel through the system.
struct Date {
  double secondsSince1970 = 0;
  auto operator<=>(const Date&) const = default;
};

using Bytes = std::vector<std::uint8_t>;
class Value;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value, std::less<>>;

class Value {
 public:
  // Errors travel in notifications' user info under "error"; they are shared
  // and immutable once made.
  using ErrorPointer = std::shared_ptr<const KMError>;
  using Storage = std::variant<Null, bool, std::int64_t, double, std::string, Bytes, Date, Array,
                               Dictionary, ErrorPointer>;

  Value() : m_storage(Null{}) {}
  Value(Null) : m_storage(Null{}) {}
  Value(bool value) : m_storage(value) {}
  Value(int value) : m_storage(std::int64_t{value}) {}
  Value(unsigned value) : m_storage(std::int64_t{value}) {}
  Value(long value) : m_storage(std::int64_t{value}) {}
  Value(long long value) : m_storage(std::int64_t{value}) {}
  Value(unsigned long value) : m_storage(static_cast<std::int64_t>(value)) {}
  Value(unsigned long long value) : m_storage(static_cast<std::int64_t>(value)) {}
  Value(double value) : m_storage(value) {}
  Value(const char* value) : m_storage(std::string(value)) {}
  Value(std::string value) : m_storage(std::move(value)) {}
  Value(std::string_view value) : m_storage(std::string(value)) {}
  Value(Bytes value) : m_storage(std::move(value)) {}
  Value(Date value) : m_storage(value) {}
  Value(Array value) : m_storage(std::move(value)) {}
  Value(Dictionary value) : m_storage(std::move(value)) {}
  Value(const KMError& error);

  bool isNull() const { return std::holds_alternative<Null>(m_storage); }
  template <typename T> bool is() const { return std::holds_alternative<T>(m_storage); }
  template <typename T> const T* get() const { return std::get_if<T>(&m_storage); }
  template <typename T> T* get() { return std::get_if<T>(&m_storage); }

  // Lenient readers: numbers convert between integer, real and flag; anything
  // else gives nothing.
  std::optional<std::int64_t> integerValue() const;
  std::optional<double> doubleValue() const;
  std::optional<bool> boolValue() const;
  const std::string* stringValue() const { return get<std::string>(); }
  const Dictionary* dictionaryValue() const { return get<Dictionary>(); }
  const Array* arrayValue() const { return get<Array>(); }
  const KMError* errorValue() const;

  const Storage& storage() const { return m_storage; }
  bool operator==(const Value& other) const { return m_storage == other.m_storage; }

  // A short readable form for logs.
  std::string description() const;

 private:
  Storage m_storage;
};

// Looks a key up; nullptr when absent (a present Null is returned as a value).
const Value* find(const Dictionary& dictionary, std::string_view key);
std::optional<std::string> stringForKey(const Dictionary& dictionary, std::string_view key);
std::optional<std::int64_t> integerForKey(const Dictionary& dictionary, std::string_view key);
// The error stored under "error", the convention of every failure notification.
const KMError* errorForKey(const Dictionary& dictionary, std::string_view key = "error");

}  // namespace kdisk
