#include "webdav/KMRFC822DateFormatter.h"

#include <array>
#include <cstdint>

namespace {

// ASCII only, without the locale's tables: the texts are English and a
// listing parses one per entry.
bool isASCIILetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isASCIIDigit(char c) { return c >= '0' && c <= '9'; }
bool isASCIISpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Three letters folded to lower case in one number, for case-blind lookups.
constexpr std::uint32_t packedLower(std::string_view word) {
  std::uint32_t packed = 0;
  for (char c : word) packed = packed << 8 | static_cast<unsigned char>(c | 0x20);
  return packed;
}

constexpr std::array<std::uint32_t, 7> kWeekdays = {
    packedLower("Sun"), packedLower("Mon"), packedLower("Tue"), packedLower("Wed"),
    packedLower("Thu"), packedLower("Fri"), packedLower("Sat")};
constexpr std::array<std::uint32_t, 12> kMonths = {
    packedLower("Jan"), packedLower("Feb"), packedLower("Mar"), packedLower("Apr"),
    packedLower("May"), packedLower("Jun"), packedLower("Jul"), packedLower("Aug"),
    packedLower("Sep"), packedLower("Oct"), packedLower("Nov"), packedLower("Dec")};

struct ZoneAbbreviation {
  std::string_view name;
  int offsetMinutes;
};
constexpr std::array<ZoneAbbreviation, 12> kZones = {{{"gmt", 0}, {"utc", 0}, {"ut", 0}, {"z", 0},
                                                      {"est", -300}, {"edt", -240}, {"cst", -360},
                                                      {"cdt", -300}, {"mst", -420}, {"mdt", -360},
                                                      {"pst", -480}, {"pdt", -420}}};

class Scanner {
 public:
  explicit Scanner(std::string_view text) : m_text(text) {}
  bool literal(char c) {
    if (m_text.empty() || m_text.front() != c) return false;
    m_text.remove_prefix(1);
    return true;
  }
  bool spaces() {
    if (m_text.empty() || m_text.front() != ' ') return false;
    while (!m_text.empty() && m_text.front() == ' ') m_text.remove_prefix(1);
    return true;
  }
  std::string_view word() {
    std::size_t length = 0;
    while (length < m_text.size() && isASCIILetter(m_text[length])) ++length;
    auto result = m_text.substr(0, length);
    m_text.remove_prefix(length);
    return result;
  }
  bool number(int minDigits, int maxDigits, int& value) {
    int digits = 0;
    value = 0;
    while (digits < maxDigits && !m_text.empty() && isASCIIDigit(m_text.front())) {
      value = value * 10 + (m_text.front() - '0');
      m_text.remove_prefix(1);
      ++digits;
    }
    return digits >= minDigits;
  }
  std::string_view rest() const { return m_text; }

 private:
  std::string_view m_text;
};

// A word of letters only, so folding each with 0x20 is its lower case.
template <std::size_t N> int indexOf(const std::array<std::uint32_t, N>& names, std::string_view word) {
  if (word.size() != 3) return -1;
  const std::uint32_t packed = packedLower(word);
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == packed) return static_cast<int>(i);
  }
  return -1;
}

bool equalsLowerASCII(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Only a letter folds onto a lower-case letter with 0x20.
    if (!isASCIILetter(text[i]) || (text[i] | 0x20) != lower[i]) return false;
  }
  return true;
}

std::optional<int> zoneOffsetMinutes(std::string_view zone) {
  if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-')) {
    for (std::size_t i = 1; i < 5; ++i) {
      if (!isASCIIDigit(zone[i])) return std::nullopt;
    }
    const int hours = (zone[1] - '0') * 10 + (zone[2] - '0');
    const int minutes = (zone[3] - '0') * 10 + (zone[4] - '0');
    if (hours > 23 || minutes > 59) return std::nullopt;
    const int offset = hours * 60 + minutes;
    return zone[0] == '-' ? -offset : offset;
  }
  for (const auto& entry : kZones) {
    if (equalsLowerASCII(zone, entry.name)) return entry.offsetMinutes;
  }
  return std::nullopt;
}

// Days from 1970-01-01 to a proleptic Gregorian date; `month` counts from 0 and
// days past the month's end run on into the next, as timegm has them. Plain
// arithmetic: timegm costs more than the rest of a listing entry's date.
long long daysFromCivil(long long year, int month, int day) {
  year -= month < 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long yearOfEra = year - era * 400;
  const int shiftedMonth = month < 2 ? month + 10 : month - 2;  // March first
  const long long dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

}  // namespace

std::optional<kdisk::Date> KMRFC822DateFormatter::dateFromString(std::string_view text) const {
  while (!text.empty() && isASCIISpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isASCIISpace(text.back())) text.remove_suffix(1);
  Scanner scanner(text);
  int day = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (indexOf(kWeekdays, scanner.word()) < 0 || !scanner.literal(',') || !scanner.spaces()) return std::nullopt;
  if (!scanner.number(1, 2, day) || !scanner.spaces()) return std::nullopt;
  const int month = indexOf(kMonths, scanner.word());
  if (month < 0 || !scanner.spaces() || !scanner.number(4, 4, year) || !scanner.spaces()) return std::nullopt;
  if (!scanner.number(2, 2, hour) || !scanner.literal(':') || !scanner.number(2, 2, minute) ||
      !scanner.literal(':') || !scanner.number(2, 2, second) || !scanner.spaces()) {
    return std::nullopt;
  }
  auto offset = zoneOffsetMinutes(scanner.rest());
  if (!offset) return std::nullopt;
  if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 || year < 1) return std::nullopt;
  const long long seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return kdisk::Date{static_cast<double>(seconds) - *offset * 60.0};
}

const KMRFC822DateFormatter& rfc822DateFormatter() {
  // A function-local static is built once, thread-safely, on first use.
  static const KMRFC822DateFormatter formatter;
  return formatter;
}
