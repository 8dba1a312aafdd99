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
}  // namespace

KMUserVisibleDateFormatter::KMUserVisibleDateFormatter(std::string language) : m_language(std::move(language)) {}

std::string KMUserVisibleDateFormatter::stringFromDate(Date date) const {
  const std::time_t seconds = static_cast<std::time_t>(std::floor(date.secondsSince1970));
  std::tm local{};
  localtime_r(&seconds, &local);
  char buffer[96];
  if (m_language == "ru") {
    std::snprintf(buffer, sizeof buffer, "%d %s %d г., %d:%02d", local.tm_mday, kRussianMonths[local.tm_mon],
                  local.tm_year + 1900, local.tm_hour, local.tm_min);
  } else {
    const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    std::snprintf(buffer, sizeof buffer, "%s %d, %d %d:%02d %s", kEnglishMonths[local.tm_mon], local.tm_mday,
                  local.tm_year + 1900, hour12, local.tm_min, local.tm_hour < 12 ? "AM" : "PM");
  }
  return buffer;
}

}  // namespace kdisk
