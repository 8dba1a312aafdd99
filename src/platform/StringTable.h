#pragma once
// One ".strings" table: lines of "key" = "value"; with /* */ and // comments and
// backslash escapes (\" \\ \n \t \r \' and \Uxxxx). UTF-8, or UTF-16 with a byte
// order mark. Immutable once parsed; safe to read from any thread.

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Expected.h"

namespace kdisk {

inline constexpr const char* kKMStringTableErrorDomain = "KMStringTableErrorDomain";

class StringTable {
 public:
  StringTable() = default;
  // A damaged table is an error naming the line; nothing of it is kept.
  static Expected<StringTable> parse(std::string_view text);
  static Expected<StringTable> readFile(const std::string& path);

  std::optional<std::string> lookup(std::string_view key) const;
  std::size_t size() const { return m_entries.size(); }

 private:
  std::map<std::string, std::string, std::less<>> m_entries;
};

}  // namespace kdisk
