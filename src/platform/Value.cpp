#include "platform/Value.h"

#include <cmath>
#include <sstream>

#include "platform/KMError.h"

namespace kdisk {

Value::Value(const KMError& error) : m_storage(std::make_shared<const KMError>(error)) {}

const KMError* Value::errorValue() const {
  auto pointer = get<ErrorPointer>();
  return pointer ? pointer->get() : nullptr;
}

std::optional<std::int64_t> Value::integerValue() const {
  if (auto v = get<std::int64_t>()) return *v;
  if (auto v = get<double>()) {
    if (std::isfinite(*v) && *v >= -9.2e18 && *v <= 9.2e18) return static_cast<std::int64_t>(*v);
    return std::nullopt;
  }
  if (auto v = get<bool>()) return *v ? 1 : 0;
  return std::nullopt;
}

std::optional<double> Value::doubleValue() const {
  if (auto v = get<double>()) return *v;
  if (auto v = get<std::int64_t>()) return static_cast<double>(*v);
  if (auto v = get<bool>()) return *v ? 1.0 : 0.0;
  return std::nullopt;
}

std::optional<bool> Value::boolValue() const {
  if (auto v = get<bool>()) return *v;
  if (auto v = get<std::int64_t>()) return *v != 0;
  if (auto v = get<double>()) return *v != 0;
  return std::nullopt;
}

namespace {

void describe(const Value& value, std::ostringstream& out) {
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Null>) {
          out << "<null>";
        } else if constexpr (std::is_same_v<T, bool>) {
          out << (v ? "YES" : "NO");
        } else if constexpr (std::is_same_v<T, std::string>) {
          out << '"' << v << '"';
        } else if constexpr (std::is_same_v<T, Bytes>) {
          out << "<" << v.size() << " bytes>";
        } else if constexpr (std::is_same_v<T, Date>) {
          out << "<date " << std::fixed << v.secondsSince1970 << ">";
        } else if constexpr (std::is_same_v<T, Array>) {
          out << "(";
          for (std::size_t i = 0; i < v.size(); ++i) {
            if (i) out << ", ";
            describe(v[i], out);
          }
          out << ")";
        } else if constexpr (std::is_same_v<T, Value::ErrorPointer>) {
          out << (v ? v->description() : std::string("<no error>"));
        } else if constexpr (std::is_same_v<T, Dictionary>) {
          out << "{";
          bool first = true;
          for (const auto& [key, item] : v) {
            if (!first) out << "; ";
            first = false;
            out << key << " = ";
            describe(item, out);
          }
          out << "}";
        } else {
          out << v;
        }
      },
      value.storage());
}

}  // namespace

std::string Value::description() const {
  std::ostringstream out;
  describe(*this, out);
  return out.str();
}

const Value* find(const Dictionary& dictionary, std::string_view key) {
  auto it = dictionary.find(key);
  return it == dictionary.end() ? nullptr : &it->second;
}

std::optional<std::string> stringForKey(const Dictionary& dictionary, std::string_view key) {
  const Value* value = find(dictionary, key);
  if (!value || !value->stringValue()) return std::nullopt;
  return *value->stringValue();
}

std::optional<std::int64_t> integerForKey(const Dictionary& dictionary, std::string_view key) {
  const Value* value = find(dictionary, key);
  return value ? value->integerValue() : std::nullopt;
}

const KMError* errorForKey(const Dictionary& dictionary, std::string_view key) {
  const Value* value = find(dictionary, key);
  return value ? value->errorValue() : nullptr;
}

}  // namespace kdisk
