#include "platform/DateFormat.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace kdisk {

namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int monthIndex(const char* name) {
  for (int i = 0; i < 12; ++i) {
    if (strncasecmp(name, kMonths[i], 3) == 0) return i;
  }
  return -1;
}

std::optional<Date> makeDate(int year, int month, int day, int hour, int minute, int second,
                             double fraction = 0, int offsetSeconds = 0) {
  if (month < 0 || month > 11 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 60 || year < 1 || year > 9999) {
    return std::nullopt;
  }
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  time_t seconds = timegm(&tm);
  return Date{static_cast<double>(seconds) + fraction - offsetSeconds};
}

}  // namespace

Date currentDate() {
  using namespace std::chrono;
  return Date{duration<double>(system_clock::now().time_since_epoch()).count()};
}

std::optional<Date> parseRFC1123(std::string_view input) {
  if (input.size() > 64) return std::nullopt;
  char text[80];
  std::memcpy(text, input.data(), input.size());
  text[input.size()] = 0;
  char weekday[16], month[4], zone[8];
  int day, year, hour, minute, second, consumed = 0;
  // RFC 1123: "Sun, 06 Nov 1994 08:49:37 GMT"
  if (std::sscanf(text, "%15[A-Za-z], %d %3s %d %d:%d:%d %7s%n", weekday, &day, month, &year, &hour,
                  &minute, &second, zone, &consumed) == 8 &&
      static_cast<std::size_t>(consumed) == input.size()) {
    if (strcmp(zone, "GMT") != 0 && strcmp(zone, "UTC") != 0 && strcmp(zone, "+0000") != 0) {
      return std::nullopt;
    }
    return makeDate(year, monthIndex(month), day, hour, minute, second);
  }
  // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT"
  if (std::sscanf(text, "%15[A-Za-z], %d-%3s-%d %d:%d:%d %7s%n", weekday, &day, month, &year, &hour,
                  &minute, &second, zone, &consumed) == 8 &&
      static_cast<std::size_t>(consumed) == input.size()) {
    if (year < 100) year += year < 70 ? 2000 : 1900;
    return makeDate(year, monthIndex(month), day, hour, minute, second);
  }
  // asctime: "Sun Nov  6 08:49:37 1994"
  if (std::sscanf(text, "%15[A-Za-z] %3s %d %d:%d:%d %d%n", weekday, month, &day, &hour, &minute,
                  &second, &year, &consumed) == 7 &&
      static_cast<std::size_t>(consumed) == input.size()) {
    return makeDate(year, monthIndex(month), day, hour, minute, second);
  }
  return std::nullopt;
}

std::string formatRFC1123(Date date) {
  time_t seconds = static_cast<time_t>(std::floor(date.secondsSince1970));
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday],
                tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buffer;
}

std::optional<Date> parseISO8601(std::string_view input) {
  if (input.size() > 40) return std::nullopt;
  char text[48];
  std::memcpy(text, input.data(), input.size());
  text[input.size()] = 0;
  int year, month, day, hour, minute, second, consumed = 0;
  if (std::sscanf(text, "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute, &second,
                  &consumed) != 6) {
    return std::nullopt;
  }
  const char* rest = text + consumed;
  double fraction = 0;
  if (*rest == '.') {
    double scale = 0.1;
    for (++rest; *rest >= '0' && *rest <= '9'; ++rest, scale /= 10) fraction += (*rest - '0') * scale;
  }
  int offset = 0;
  if (*rest == 'Z') {
    ++rest;
  } else if (*rest == '+' || *rest == '-') {
    // Exactly "hh:mm": stepping over a shorter offset would read past the text's end.
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!digit(rest[1]) || !digit(rest[2]) || rest[3] != ':' || !digit(rest[4]) || !digit(rest[5])) {
      return std::nullopt;
    }
    const int hours = (rest[1] - '0') * 10 + (rest[2] - '0');
    const int minutes = (rest[4] - '0') * 10 + (rest[5] - '0');
    offset = (hours * 3600 + minutes * 60) * (*rest == '-' ? -1 : 1);
    rest += 6;
  } else {
    return std::nullopt;
  }
  if (*rest != 0) return std::nullopt;
  return makeDate(year, month - 1, day, hour, minute, second, fraction, offset);
}

std::string formatISO8601(Date date) {
  time_t seconds = static_cast<time_t>(std::floor(date.secondsSince1970));
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buffer;
}

}  // namespace kdisk
