#include "webdav/XMLDeclaration.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "webdav/XMLCharacters.h"

using namespace kdisk::xml;

XMLDeclarationResult readXMLDeclaration(const char* at, const char* end, bool final, const char*& next) {
  using Result = XMLDeclarationResult;
  const Result more = final ? Result::Refused : Result::NeedsMore;
  const char* p = at + 5;
  auto spaces = [&] {
    const char* from = p;
    while (p < end && hasClass(*p, kSpaceByte)) ++p;
    return p - from;
  };
  // 1 when `word` is next (and is skipped), 0 when something else is, -1 when the bytes end first.
  auto keyword = [&](std::string_view word) {
    const std::size_t n = std::min(static_cast<std::size_t>(end - p), word.size());
    if (std::string_view(p, n) != word.substr(0, n)) return 0;
    if (n < word.size()) return -1;
    p += n;
    return 1;
  };
  // Eq and a quoted value of allowed bytes.
  auto value = [&](std::string_view& out, auto allowed) {
    spaces();
    if (p == end) return more;
    if (*p != '=') return Result::Refused;
    ++p;
    spaces();
    if (p == end) return more;
    const char quote = *p;
    if (quote != '"' && quote != '\'') return Result::Refused;
    const char* from = ++p;
    for (; p < end && *p != quote; ++p) {
      if (!allowed(*p)) return Result::Refused;
    }
    if (p == end) return more;
    out = std::string_view(from, static_cast<std::size_t>(p - from));
    ++p;
    return Result::Read;
  };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };

  spaces();
  int found = keyword("version");
  if (found <= 0) return found < 0 ? more : Result::Refused;
  std::string_view version;
  if (Result step = value(version, [&](char c) { return digit(c) || c == '.'; }); step != Result::Read) return step;
  if (version.size() < 3 || version.substr(0, 2) != "1." ||
      !std::all_of(version.begin() + 2, version.end(), digit)) {
    return Result::Refused;
  }
  auto gap = spaces();
  if (p == end) return more;
  if (*p != '?') {
    if (gap == 0) return Result::Refused;
    found = keyword("encoding");
    if (found < 0) return more;
    if (found > 0) {
      std::string_view encoding;
      auto encodingByte = [&](char c) { return letter(c) || digit(c) || c == '.' || c == '_' || c == '-'; };
      if (Result step = value(encoding, encodingByte); step != Result::Read) return step;
      if (encoding.empty() || !letter(encoding[0])) return Result::Refused;
      if (!equalsIgnoringASCIICase(encoding, "UTF-8")) return Result::OtherEncoding;
      gap = spaces();
      if (p == end) return more;
    }
    if (*p != '?') {
      if (gap == 0) return Result::Refused;
      found = keyword("standalone");
      if (found < 0) return more;
      if (found > 0) {
        std::string_view standalone;
        if (Result step = value(standalone, letter); step != Result::Read) return step;
        if (standalone != "yes" && standalone != "no") return Result::Refused;
        spaces();
      }
    }
  }
  if (end - p < 2) return more;
  if (p[0] != '?' || p[1] != '>') return Result::Refused;
  next = p + 2;
  return Result::Read;
}
