#include "webdav/XMLCharacters.h"

#include <algorithm>
#include <array>

namespace kdisk::xml {

namespace {

constexpr std::array<std::uint8_t, 256> makeByteClasses() {
  std::array<std::uint8_t, 256> classes{};
  for (int byte = 0; byte < 0x80; ++byte) {
    const bool letter = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
    const bool digit = byte >= '0' && byte <= '9';
    const bool character = byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r';
    std::uint8_t value = 0;
    if (letter || byte == '_') value |= kNameStartByte;
    if (letter || digit || byte == '_' || byte == '-' || byte == '.') value |= kNameByte;
    if (character && byte != '<' && byte != '&' && byte != ']' && byte != '\r') value |= kPlainTextByte;
    if (byte >= 0x20 && byte != '<' && byte != '&' && byte != '"' && byte != '\'') value |= kPlainValueByte;
    if (character && byte != '-' && byte != '?' && byte != ']' && byte != '\r') value |= kPlainMarkupByte;
    if (byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r') value |= kSpaceByte;
    classes[static_cast<std::size_t>(byte)] = value;
  }
  return classes;
}

constexpr std::array<std::uint8_t, 256> kClasses = makeByteClasses();

bool isContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

const std::uint8_t kByteClass[256] = {
#define KDISK_ROW(n) kClasses[n], kClasses[n + 1], kClasses[n + 2], kClasses[n + 3], \
                     kClasses[n + 4], kClasses[n + 5], kClasses[n + 6], kClasses[n + 7]
#define KDISK_ROWS(n) KDISK_ROW(n), KDISK_ROW(n + 8), KDISK_ROW(n + 16), KDISK_ROW(n + 24)
    KDISK_ROWS(0),   KDISK_ROWS(32),  KDISK_ROWS(64),  KDISK_ROWS(96),
    KDISK_ROWS(128), KDISK_ROWS(160), KDISK_ROWS(192), KDISK_ROWS(224),
#undef KDISK_ROWS
#undef KDISK_ROW
};

int decodeCharacter(const char* at, const char* end, std::uint32_t& codePoint) {
  const auto lead = static_cast<unsigned char>(*at);
  int length;
  std::uint32_t value;
  std::uint32_t least;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07u, least = 0x10000;
  } else {
    return -1;
  }
  for (int i = 1; i < length; ++i) {
    if (at + i == end) return 0;
    if (!isContinuation(at[i])) return -1;
    value = (value << 6) | (static_cast<unsigned char>(at[i]) & 0x3Fu);
  }
  if (value < least || !isXMLCharacter(value)) return -1;
  codePoint = value;
  return length;
}

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

bool isXMLCharacter(std::uint32_t c) {
  if (c < 0x20) return c == 0x9 || c == 0xA || c == 0xD;
  return c <= 0xD7FF || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool isNameStartCharacter(std::uint32_t c) {
  if (c < 0x80) return hasClass(static_cast<char>(c), kNameStartByte) || c == ':';
  return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameCharacter(std::uint32_t c) {
  if (c < 0x80) return hasClass(static_cast<char>(c), kNameByte) || c == ':';
  return isNameStartCharacter(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

namespace {

// A reader over the URI text; past the end reads as NUL, as the text never holds one.
struct URIReader {
  std::string_view text;
  std::size_t at = 0;

  char peek(std::size_t ahead = 0) const { return at + ahead < text.size() ? text[at + ahead] : '\0'; }
  static bool alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool digit(char c) { return c >= '0' && c <= '9'; }
  static bool hex(char c) { return digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
  static bool unreserved(char c) { return alpha(c) || digit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
  static bool subDelimiter(char c) { return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos && c; }
  bool percentEncoded() const { return peek() == '%' && hex(peek(1)) && hex(peek(2)); }
  bool pathCharacter() const {
    const char c = peek();
    return unreserved(c) || percentEncoded() || subDelimiter(c) || c == ':' || c == '@';
  }
  void next() { at += peek() == '%' ? 3 : 1; }

  // A segment; with `forbidden` it stops there. False when it must not be empty and is.
  bool segment(char forbidden, bool mayBeEmpty) {
    if (!pathCharacter()) return mayBeEmpty;
    while (pathCharacter() && peek() != forbidden) next();
    return true;
  }
  void moreSegments() {
    while (peek() == '/') {
      ++at;
      segment('\0', true);
    }
  }
  bool authority() {
    const std::size_t start = at;
    while (unreserved(peek()) || percentEncoded() || subDelimiter(peek()) || peek() == ':') next();
    if (peek() == '@') {
      ++at;
    } else {
      at = start;
    }
    if (peek() == '[') {
      const std::size_t close = text.find(']', at);
      if (close == std::string_view::npos) return false;
      at = close + 1;
    } else {
      while (unreserved(peek()) || percentEncoded() || subDelimiter(peek())) next();
    }
    if (peek() == ':') {
      ++at;
      if (!digit(peek())) return false;
      while (digit(peek())) ++at;
    }
    return true;
  }
  bool queryAndFragment() {
    if (peek() == '?') {
      ++at;
      while (pathCharacter() || peek() == '/' || peek() == '?') next();
    }
    if (peek() == '#') {
      ++at;
      while (pathCharacter() || peek() == '/' || peek() == '?' || peek() == '[' || peek() == ']') next();
    }
    return at == text.size();
  }
  // After the scheme of a URI, or from the start of a relative reference,
  // whose first segment may hold no colon (`forbidden`).
  bool hierarchicalPart(char forbidden) {
    if (peek() == '/' && peek(1) == '/') {
      at += 2;
      if (!authority()) return false;
      moreSegments();
    } else if (peek() == '/') {
      ++at;
      if (segment('\0', false)) moreSegments();
    } else if (pathCharacter()) {
      segment(forbidden, false);
      moreSegments();
    }
    return queryAndFragment();
  }
  bool absolute() {
    at = 0;
    if (!alpha(peek())) return false;
    while (alpha(peek()) || digit(peek()) || peek() == '+' || peek() == '-' || peek() == '.') ++at;
    if (peek() != ':') return false;
    ++at;
    return hierarchicalPart('\0');
  }
  bool relative() {
    at = 0;
    return hierarchicalPart(':');
  }
};

}  // namespace

bool isURIReference(std::string_view text) {
  URIReader reader{text};
  return reader.absolute() || reader.relative();
}

}  // namespace kdisk::xml
