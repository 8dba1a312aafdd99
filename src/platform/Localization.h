#pragma once
// The user's languages from the environment, in the order GNU gettext reads
// them: LANGUAGE (a colon list), then LC_ALL, LC_MESSAGES, LANG. "C" and
// "POSIX" name no language. Safe from any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kdisk {

struct LocaleName {
  std::string language;  // "ru"
  std::string country;   // "RU"; empty when the name has none
};

// "ru_RU.UTF-8@latin" → {"ru", "RU"}; nothing for "C", "POSIX" or empty text.
std::optional<LocaleName> parseLocaleName(std::string_view name);

// Read from the environment at each call.
std::vector<LocaleName> preferredLocalesFromEnvironment();
// Read once per process (unless replaced for a test).
std::vector<LocaleName> preferredLocales();
// Languages only, first preferred first, without repeats.
std::vector<std::string> preferredLanguages();

// Replaces what preferredLocales() answers; nothing restores the environment's.
void setPreferredLocalesForTesting(std::optional<std::vector<LocaleName>> locales);

}  // namespace kdisk
