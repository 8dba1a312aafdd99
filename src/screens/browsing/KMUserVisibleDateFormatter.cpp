#include "screens/browsing/KMUserVisibleDateFormatter.h"

#include <cmath>
#include <ctime>
#include <cstdio>

namespace kdisk {

namespace {
constexpr const char* kEnglishMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
// Genitive, as a date names them.
constexpr const char* kRussianMonths[] = {"января", "февраля", "марта",    "апреля",  "мая",    "июня",
                                          "июля",   "августа", "сентября", "октября", "ноября", "декабря"};
constexpr const char* kRussianShortMonths[] = {"янв.", "февр.", "мар.",  "апр.",  "мая",   "июн.",
                                               "июл.", "авг.",  "сент.", "окт.", "нояб.", "дек."};
}  // namespace

KMUserVisibleDateFormatter::KMUserVisibleDateFormatter(std::string language) : m_language(std::move(language)) {}

std::string KMUserVisibleDateFormatter::stringFromDate(Date date, KMDateStyle style) const {
  const std::time_t seconds = static_cast<std::time_t>(std::floor(date.secondsSince1970));
  std::tm local{};
  localtime_r(&seconds, &local);
  const int year = local.tm_year + 1900, month = local.tm_mon, day = local.tm_mday;
  char buffer[96];
  if (m_language == "ru") {
    switch (style) {
      case KMDateStyle::Long:
        std::snprintf(buffer, sizeof buffer, "%d %s %d г., %d:%02d", day, kRussianMonths[month], year, local.tm_hour,
                      local.tm_min);
        break;
      case KMDateStyle::Medium:
        std::snprintf(buffer, sizeof buffer, "%d %s %d г., %d:%02d", day, kRussianShortMonths[month], year,
                      local.tm_hour, local.tm_min);
        break;
      case KMDateStyle::Short:
        std::snprintf(buffer, sizeof buffer, "%02d.%02d.%d, %d:%02d", day, month + 1, year, local.tm_hour,
                      local.tm_min);
        break;
    }
    return buffer;
  }
  const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
  const char* half = local.tm_hour < 12 ? "AM" : "PM";
  switch (style) {
    case KMDateStyle::Long:
      std::snprintf(buffer, sizeof buffer, "%s %d, %d %d:%02d %s", kEnglishMonths[month], day, year, hour12,
                    local.tm_min, half);
      break;
    case KMDateStyle::Medium:
      std::snprintf(buffer, sizeof buffer, "%.3s %d, %d, %d:%02d %s", kEnglishMonths[month], day, year, hour12,
                    local.tm_min, half);
      break;
    case KMDateStyle::Short:
      std::snprintf(buffer, sizeof buffer, "%d/%d/%02d, %d:%02d %s", month + 1, day, year % 100, hour12,
                    local.tm_min, half);
      break;
  }
  return buffer;
}

}  // namespace kdisk
