#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kdisk::service {

// "a=1&b=x%20y&flag" decoded; a field without "=" has an empty value. nullopt
// when an escape is broken.
class FormFields {
public:
  static std::optional<FormFields> parse(std::string_view text);

  bool has(std::string_view name) const;
  std::optional<std::string> value(std::string_view name) const;
  std::string valueOr(std::string_view name, std::string fallback) const;

private:
  std::vector<std::pair<std::string, std::string>> m_fields;
};

} // namespace kdisk::service
