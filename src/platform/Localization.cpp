#include "platform/Localization.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>

namespace kdisk {
namespace {

std::mutex g_mutex;
std::optional<std::vector<LocaleName>> g_cached;
std::optional<std::vector<LocaleName>> g_override;

std::string_view environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string_view(value) : std::string_view();
}

}  // namespace

std::optional<LocaleName> parseLocaleName(std::string_view name) {
  const auto end = name.find_first_of(".@");
  if (end != std::string_view::npos) name = name.substr(0, end);
  if (name.empty() || name == "C" || name == "POSIX") return std::nullopt;
  LocaleName locale;
  const auto separator = name.find_first_of("_-");
  locale.language = std::string(name.substr(0, separator));
  if (separator != std::string_view::npos) locale.country = std::string(name.substr(separator + 1));
  std::transform(locale.language.begin(), locale.language.end(), locale.language.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::transform(locale.country.begin(), locale.country.end(), locale.country.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (locale.language.empty()) return std::nullopt;
  return locale;
}

std::vector<LocaleName> preferredLocalesFromEnvironment() {
  std::vector<LocaleName> locales;
  // LANGUAGE is ignored by gettext when the locale is "C"; we honour it anyway,
  // a user who set it wants those languages.
  std::string_view list = environment("LANGUAGE");
  while (!list.empty()) {
    const auto colon = list.find(':');
    if (auto locale = parseLocaleName(list.substr(0, colon))) locales.push_back(*locale);
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    std::string_view value = environment(name);
    if (value.empty()) continue;
    if (auto locale = parseLocaleName(value)) {
      locales.push_back(*locale);
    } else if (value.substr(0, value.find_first_of(".@")) == "C" ||
               value.substr(0, value.find_first_of(".@")) == "POSIX") {
      // On Linux these name the untranslated program, which is English here;
      // many installations and containers run with C.UTF-8.
      locales.push_back({"en", ""});
    }
    // The first variable that is set decides, as for setlocale().
    break;
  }
  return locales;
}

std::vector<LocaleName> preferredLocales() {
  std::lock_guard lock(g_mutex);
  if (g_override) return *g_override;
  if (!g_cached) g_cached = preferredLocalesFromEnvironment();
  return *g_cached;
}

std::vector<std::string> preferredLanguages() {
  std::vector<std::string> languages;
  for (const LocaleName& locale : preferredLocales())
    if (std::find(languages.begin(), languages.end(), locale.language) == languages.end())
      languages.push_back(locale.language);
  return languages;
}

void setPreferredLocalesForTesting(std::optional<std::vector<LocaleName>> locales) {
  std::lock_guard lock(g_mutex);
  g_override = std::move(locales);
}

}  // namespace kdisk
