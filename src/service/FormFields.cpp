#include "service/FormFields.h"

#include "service/WebPath.h"

namespace kdisk::service {

std::optional<FormFields> FormFields::parse(std::string_view text) {
  FormFields form;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view pair = text.substr(start, end - start);
    if (!pair.empty()) {
      std::size_t equals = pair.find('=');
      auto name = percentDecode(pair.substr(0, equals), true);
      auto value = equals == std::string_view::npos
                       ? std::optional<std::string>("")
                       : percentDecode(pair.substr(equals + 1), true);
      if (!name || !value) return std::nullopt;
      form.m_fields.emplace_back(std::move(*name), std::move(*value));
    }
    start = end + 1;
  }
  return form;
}

bool FormFields::has(std::string_view name) const { return value(name).has_value(); }

std::optional<std::string> FormFields::value(std::string_view name) const {
  for (const auto& field : m_fields)
    if (field.first == name) return field.second;
  return std::nullopt;
}

std::string FormFields::valueOr(std::string_view name, std::string fallback) const {
  auto found = value(name);
  return found ? *found : fallback;
}

} // namespace kdisk::service
