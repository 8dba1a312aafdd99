#include "storage/FileNameSortKeys.h"

#include <glib.h>

#include "platform/GLibOwners.h"

namespace kdisk::storage {

namespace {

// Sorts before any byte a collation key holds.
constexpr std::string_view kSentinel = "\1\1\1";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string casefolded(std::string_view text) {
  const glib::Text folded(g_utf8_casefold(text.data(), static_cast<gssize>(text.size())));
  return folded ? folded.get() : "";
}

}  // namespace

// Case folding maps each character on its own and never makes or removes an
// ASCII digit or dot, so a run may be folded and collated apart from the rest.
const std::string& FileNameSortKeys::collatedRun(std::string_view run) {
  if (auto found = m_runs.find(run); found != m_runs.end()) return found->second;
  const std::string folded = casefolded(run);
  const glib::Text key(g_utf8_collate_key(folded.c_str(), static_cast<gssize>(folded.size())));
  return m_runs.emplace(std::string(run), key ? key.get() : "").first->second;
}

// Digit runs compare as numbers (more digits sort later; leading zeros break
// ties at the very end), a dot sorts before any other character. Byte for
// byte what glib builds, which the tests hold it to.
std::string FileNameSortKeys::keyForName(std::string_view name) {
  name = name.substr(0, name.find('\0'));  // where glib's key ends
  if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) {
    // A broken sequence may swallow a digit or dot when the whole is folded:
    // only glib itself gives the same bytes then.
    const std::string folded = casefolded(name);
    const glib::Text key(g_utf8_collate_key_for_filename(folded.c_str(), -1));
    return key ? key.get() : "";
  }
  std::string result;
  result.reserve(name.size() * 2);
  std::string zeros;
  std::size_t previous = 0;
  std::size_t at = 0;
  auto flushRun = [&](std::size_t end) {
    if (end > previous) result += collatedRun(name.substr(previous, end - previous));
  };
  while (at < name.size()) {
    const char c = name[at];
    if (c == '.') {
      flushRun(at);
      result += kSentinel;
      result += '\1';
      previous = ++at;
      continue;
    }
    if (!isDigit(c)) {
      ++at;
      continue;
    }
    flushRun(at);
    result += kSentinel;
    result += '\2';
    previous = at;
    int leadingZeros = c == '0' ? 1 : 0;
    int digits = c == '0' ? 0 : 1;
    while (++at < name.size()) {
      if (name[at] == '0' && digits == 0) {
        ++leadingZeros;
      } else if (isDigit(name[at])) {
        ++digits;
      } else {
        break;
      }
    }
    if (digits == 0 && at < name.size()) {
      // An all-zero run counts as one digit plus leading zeros, unless it
      // ends the name.
      ++digits;
      --leadingZeros;
    }
    for (; digits > 1; --digits) result += ':';
    if (leadingZeros > 0) {
      zeros += static_cast<char>(leadingZeros);
      previous += static_cast<std::size_t>(leadingZeros);
    }
    result += name.substr(previous, at - previous);
    previous = at;
  }
  flushRun(at);
  result += zeros;
  return result;
}

}  // namespace kdisk::storage
