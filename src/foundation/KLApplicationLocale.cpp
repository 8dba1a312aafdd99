#include "foundation/KLApplicationLocale.h"

#include <spdlog/fmt/fmt.h>

#include <memory>
#include <mutex>
#include <vector>

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

// The unit texts of one language list, looked up once: a folder's listing
// formats a size per row, and each lookup goes through the bundle.
struct KLSizeUnits {
  std::vector<std::string> languages;
  std::string gigabytes, megabytes, kilobytes, bytesMany, bytesOne, bytesFew;
};

namespace {

using SizeUnits = KLSizeUnits;

std::shared_ptr<const SizeUnits> sizeUnitsFor(std::vector<std::string> languages) {
  static std::mutex mutex;
  static std::shared_ptr<const SizeUnits> cached;
  {
    std::lock_guard lock(mutex);
    if (cached && cached->languages == languages) return cached;
  }
  auto units = std::make_shared<SizeUnits>();
  units->gigabytes = KMLocalizedString("GB", "GB");
  units->megabytes = KMLocalizedString("MB", "MB");
  units->kilobytes = KMLocalizedString("KB", "KB");
  units->bytesMany = KMLocalizedString("Bytes", "Bytes");
  units->bytesOne = KMLocalizedString("BytesOne", units->bytesMany);
  units->bytesFew = KMLocalizedString("BytesFew", units->bytesMany);
  units->languages = std::move(languages);
  std::lock_guard lock(mutex);
  cached = units;
  return units;
}

}  // namespace

std::string KLApplicationLocale::localizedFileSizeStr(std::uint64_t bytes) {
  return KLFileSizeTexts().text(bytes);
}

KLFileSizeTexts::KLFileSizeTexts() {
  std::vector<std::string> languages = preferredLanguages();
  m_language = languages.empty() ? "ru" : languages.front();
  m_units = sizeUnitsFor(std::move(languages));
}

KLFileSizeTexts::~KLFileSizeTexts() = default;

std::string KLFileSizeTexts::text(std::uint64_t bytes) const {
  const double size = static_cast<double>(bytes);
  const SizeUnits& units = *m_units;
  auto scaled = [&](double unit, const std::string& name) { return fmt::format("{:.1f} {}", size / unit, name); };
  if (size > 966367641.6) return scaled(1073741824.0, units.gigabytes);
  if (size > 943718.4) return scaled(1048576.0, units.megabytes);
  if (size > 921.6) return scaled(1024.0, units.kilobytes);
  // "Bytes" is the many form; "1 bytes" and "2 байт" read wrong.
  const int form =
      bytes == 0 ? 2 : KLApplicationLocale::pluralFormForNumberInLanguage(static_cast<std::int64_t>(bytes), m_language);
  return fmt::format("{} {}", bytes, form == 0 ? units.bytesOne : form == 1 ? units.bytesFew : units.bytesMany);
}

std::string LocalizedFileSizeStr(std::uint64_t bytes) {
  return KLApplicationLocale::localizedFileSizeStr(bytes);
}

}  // namespace kdisk
