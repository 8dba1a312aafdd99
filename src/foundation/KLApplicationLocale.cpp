#include "foundation/KLApplicationLocale.h"

#include <spdlog/fmt/fmt.h>

#include "platform/Bundle.h"
#include "platform/Localization.h"

namespace kdisk {

std::string KLApplicationLocale::applicationLanguage() {
  static const std::string language = [] {
    std::vector<std::string> languages = preferredLanguages();
    return languages.empty() ? std::string("ru") : languages.front();
  }();
  return language;
}

std::string KLApplicationLocale::localeIdentifier() {
  const std::string language = applicationLanguage();
  std::string country;
  for (const LocaleName& locale : preferredLocales()) {
    if (!locale.country.empty()) {
      country = locale.country;
      break;
    }
  }
  if (country.empty()) country = language == "ru" ? "RU" : "US";
  return language + "-" + country;
}

int KLApplicationLocale::pluralFormForNumber(std::int64_t number) {
  return pluralFormForNumberInLanguage(number, applicationLanguage());
}

int KLApplicationLocale::pluralFormForNumberInLanguage(std::int64_t number,
                                                       std::string_view language) {
  // "uk" is how Linux locales name Ukrainian; "ukr" is kept for stored names.
  if (language == "ru" || language == "ukr" || language == "uk") {
    const std::uint64_t magnitude =
        number < 0 ? 0 - static_cast<std::uint64_t>(number) : static_cast<std::uint64_t>(number);
    const std::uint64_t lastDigit = magnitude % 10, lastTwo = magnitude % 100;
    if (lastDigit == 1 && lastTwo != 11) return 0;
    if (lastDigit >= 2 && lastDigit <= 4 && !(lastTwo >= 10 && lastTwo <= 19)) return 1;
    return 2;
  }
  return number > 1 ? 1 : 0;
}

std::string KLApplicationLocale::localizedFileSizeStr(std::uint64_t bytes) {
  const double size = static_cast<double>(bytes);
  auto scaled = [&](double unit, const char* key) {
    return fmt::format("{:.1f} {}", size / unit, KMLocalizedString(key, key));
  };
  if (size > 966367641.6) return scaled(1073741824.0, "GB");
  if (size > 943718.4) return scaled(1048576.0, "MB");
  if (size > 921.6) return scaled(1024.0, "KB");
  // "Bytes" is the many form; "1 bytes" and "2 байт" read wrong.
  const std::vector<std::string> languages = preferredLanguages();
  const int form = bytes == 0 ? 2
                              : pluralFormForNumberInLanguage(static_cast<std::int64_t>(bytes),
                                                              languages.empty() ? "ru" : languages.front());
  const std::string many = KMLocalizedString("Bytes", "Bytes");
  const char* key = form == 0 ? "BytesOne" : form == 1 ? "BytesFew" : "Bytes";
  return fmt::format("{} {}", bytes, form == 2 ? many : KMLocalizedString(key, many));
}

std::string LocalizedFileSizeStr(std::uint64_t bytes) {
  return KLApplicationLocale::localizedFileSizeStr(bytes);
}

}  // namespace kdisk
