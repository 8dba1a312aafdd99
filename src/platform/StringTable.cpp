#include "platform/StringTable.h"

#include <glib.h>

#include "platform/GLibOwners.h"
#include "platform/Paths.h"

namespace kdisk {
namespace {

void appendUTF8(std::string& out, std::uint32_t codePoint) {
  char buffer[6];
  const int length = g_unichar_to_utf8(codePoint, buffer);
  out.append(buffer, static_cast<std::size_t>(length));
}

// A cursor over the table's text that knows its line for error messages.
class Parser {
 public:
  explicit Parser(std::string_view text) : m_text(text) {}

  Expected<StringTable> run(std::map<std::string, std::string, std::less<>>& entries) {
    for (;;) {
      if (!skipSpaceAndComments()) return failure("unterminated comment");
      if (atEnd()) return StringTable();
      std::string key, value;
      if (!readToken(key)) return failure("expected a quoted key");
      if (!skipSpaceAndComments()) return failure("unterminated comment");
      if (peek() == ';') {
        // "key"; alone maps the key to itself.
        ++m_position;
        entries.insert_or_assign(key, key);
        continue;
      }
      if (peek() != '=') return failure("expected '='");
      ++m_position;
      if (!skipSpaceAndComments()) return failure("unterminated comment");
      if (!readToken(value)) return failure("expected a quoted value");
      if (!skipSpaceAndComments()) return failure("unterminated comment");
      if (peek() != ';') return failure("expected ';'");
      ++m_position;
      entries.insert_or_assign(std::move(key), std::move(value));
    }
  }

 private:
  bool atEnd() const { return m_position >= m_text.size(); }
  char peek() const { return atEnd() ? '\0' : m_text[m_position]; }

  KMError failure(std::string_view what) const {
    int line = 1;
    for (std::size_t i = 0; i < m_position && i < m_text.size(); ++i)
      if (m_text[i] == '\n') ++line;
    return KMError(kKMStringTableErrorDomain, 1,
                   "Damaged string table at line " + std::to_string(line) + ": " +
                       std::string(what));
  }

  // False when a block comment never ends.
  bool skipSpaceAndComments() {
    while (!atEnd()) {
      const char c = peek();
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++m_position;
      } else if (m_text.substr(m_position, 2) == "//") {
        const auto end = m_text.find('\n', m_position);
        m_position = end == std::string_view::npos ? m_text.size() : end + 1;
      } else if (m_text.substr(m_position, 2) == "/*") {
        const auto end = m_text.find("*/", m_position + 2);
        if (end == std::string_view::npos) return false;
        m_position = end + 2;
      } else {
        break;
      }
    }
    return true;
  }

  static bool isBareCharacter(char c) {
    return g_ascii_isalnum(c) || c == '_' || c == '.' || c == '-' || c == '$' || c == ':' ||
           c == '/';
  }

  bool readToken(std::string& out) {
    if (peek() != '"') {
      const std::size_t start = m_position;
      while (!atEnd() && isBareCharacter(peek())) ++m_position;
      out.assign(m_text.substr(start, m_position - start));
      return !out.empty();
    }
    ++m_position;
    while (!atEnd()) {
      const char c = m_text[m_position++];
      if (c == '"') return true;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (atEnd()) return false;
      const char escaped = m_text[m_position++];
      switch (escaped) {
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case '0':
        out.push_back('\0');
        break;
      case 'u':
      case 'U': {
        std::uint32_t codePoint = 0;
        if (!readHex4(codePoint)) return false;
        // A surrogate pair spelled as two escapes makes one character.
        if (codePoint >= 0xD800 && codePoint < 0xDC00 && m_text.substr(m_position, 2).size() == 2 &&
            m_text[m_position] == '\\' &&
            (m_text[m_position + 1] == 'U' || m_text[m_position + 1] == 'u')) {
          const std::size_t saved = m_position;
          m_position += 2;
          std::uint32_t low = 0;
          if (readHex4(low) && low >= 0xDC00 && low < 0xE000)
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
          else
            m_position = saved;
        }
        if (codePoint >= 0xD800 && codePoint < 0xE000) codePoint = 0xFFFD;
        appendUTF8(out, codePoint);
        break;
      }
      default:
        out.push_back(escaped);
        break;
      }
    }
    return false;
  }

  bool readHex4(std::uint32_t& codePoint) {
    if (m_position + 4 > m_text.size()) return false;
    codePoint = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = g_ascii_xdigit_value(m_text[m_position++]);
      if (digit < 0) return false;
      codePoint = codePoint * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
  }

  std::string_view m_text;
  std::size_t m_position = 0;
};

// UTF-8 text of the table, or nothing when it is not valid text.
std::optional<std::string> decode(std::string_view raw) {
  auto convert = [&](const char* from, std::size_t skip) -> std::optional<std::string> {
    gsize written = 0;
    glib::Text converted(g_convert(raw.data() + skip, static_cast<gssize>(raw.size() - skip), "UTF-8",
                                   from, nullptr, &written, nullptr));
    if (!converted) return std::nullopt;
    return std::string(converted.get(), written);
  };
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
      static_cast<unsigned char>(raw[1]) == 0xFE)
    return convert("UTF-16LE", 2);
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFE &&
      static_cast<unsigned char>(raw[1]) == 0xFF)
    return convert("UTF-16BE", 2);
  if (raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
  if (!g_utf8_validate(raw.data(), static_cast<gssize>(raw.size()), nullptr)) return std::nullopt;
  return std::string(raw);
}

}  // namespace

Expected<StringTable> StringTable::parse(std::string_view raw) {
  std::optional<std::string> text = decode(raw);
  if (!text)
    return KMError(kKMStringTableErrorDomain, 1, "The string table is not UTF-8 or UTF-16 text");
  StringTable table;
  Parser parser(*text);
  Expected<StringTable> outcome = parser.run(table.m_entries);
  if (!outcome.hasValue()) return outcome.error();
  return table;
}

Expected<StringTable> StringTable::readFile(const std::string& path) {
  Expected<std::string> contents = paths::readFile(path);
  if (!contents.hasValue()) return contents.error();
  Expected<StringTable> table = parse(contents.value());
  if (!table.hasValue())
    return KMError(table.error().domain, table.error().code,
                   table.error().localizedDescription + " (" + path + ")");
  return table;
}

std::optional<std::string> StringTable::lookup(std::string_view key) const {
  auto found = m_entries.find(key);
  if (found == m_entries.end()) return std::nullopt;
  return found->second;
}

}  // namespace kdisk
