#pragma once
// Texts and terminal talk of the commands.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "cli/CliSession.h"
#include "platform/Value.h"

namespace kdisk::cli {

// kdisk's own message in the user's language, from the string table "kdisk":
// the English text is the key and the fallback; arguments fill its "{}" in
// order (a translation may number them, "{1}").
std::string say(std::string_view english);
std::string sayFormatted(std::string_view english, fmt::format_args arguments);
template <typename... Arguments>
std::string say(std::string_view english, const Arguments&... arguments) {
  return sayFormatted(english, fmt::make_format_args(arguments...));
}

bool stdoutIsTerminal();
bool stdinIsTerminal();

std::string jsonString(std::string_view text);
// "2026-12-08 09:30" in local time, or a quoted ISO 8601 UTC text (null when unknown).
std::string dateText(const std::optional<Date>& date, bool iso);
// The local-time texts of dateText for a column of dates; a date equal to the
// one before is not converted again. One listing at a time.
class LocalDateTexts {
public:
  const std::string& text(const std::optional<Date>& date);

private:
  std::optional<long long> m_seconds;
  std::string m_text;
};
// The folding of "CONTAINS[cd]": case and diacritics both dropped.
std::string folded(std::string_view text);
std::string failReasonInWords(const std::optional<std::string>& reason);

Result<std::string> readPassword(bool fromStdin);
bool confirm(const std::string& question);

// One line redrawn in place: bytes, rate and time left.
class ProgressLine {
public:
  explicit ProgressLine(std::string name);
  void update(std::uint64_t done, std::uint64_t total);
  void finish();

private:
  std::string m_name;
  std::chrono::steady_clock::time_point m_start;
  bool m_drawn = false;
};

} // namespace kdisk::cli
