#include "webdav/XMLPendingToken.h"

#include <algorithm>

void XMLPendingToken::reset(std::string_view carry, bool documentStart) {
  m_kind = Kind::Unknown;
  m_scanned = 0;
  m_quote = 0;
  if (carry.empty()) return;
  std::size_t searchFrom = 0;
  std::size_t terminator = 1;
  auto instruction = [&] {
    m_kind = Kind::Instruction;
    searchFrom = 2;
    terminator = 2;
  };
  if (documentStart) {
    // The XML declaration, perhaps after a byte order mark, once long enough to tell.
    if (carry.size() >= 16 && carry.find("<?") <= 3) instruction();
  } else if (carry[0] == '&') {
    m_kind = Kind::Reference;
  } else if (carry[0] != '<') {
    m_kind = Kind::Text;
  } else if (carry.size() < 2) {
  } else if (carry[1] == '/') {
    m_kind = Kind::EndTag;
  } else if (carry[1] == '?') {
    instruction();
  } else if (carry.starts_with("<!--")) {
    m_kind = Kind::Comment, searchFrom = 4, terminator = 3;
  } else if (carry.starts_with("<![CDATA[")) {
    m_kind = Kind::CData, searchFrom = 9, terminator = 3;
  } else if (carry[1] != '!') {
    m_kind = Kind::StartTag;
    // An unfinished tag holds no '>' outside quotes: only the quote state counts.
    for (std::size_t i = 1; i < carry.size(); ++i) (void)endsStartTag(carry[i]);
    return;
  }
  m_scanned = std::max(searchFrom, carry.size() >= terminator - 1 ? carry.size() - (terminator - 1) : 0);
}

bool XMLPendingToken::endsStartTag(char c) {
  if (m_quote) {
    if (c == m_quote) m_quote = 0;
    return false;
  }
  if (c == '"' || c == '\'') {
    m_quote = c;
    return false;
  }
  return c == '>';
}

std::size_t XMLPendingToken::end(std::string_view carry, std::string_view bytes) {
  constexpr auto npos = std::string_view::npos;
  const std::size_t carried = carry.size();
  auto at = [&](std::size_t i) { return i < carried ? carry[i] : bytes[i - carried]; };
  const std::size_t total = carried + bytes.size();
  switch (m_kind) {
    case Kind::Unknown:
      // Short: a few more bytes tell what it is.
      return std::min<std::size_t>(bytes.size(), 16);
    case Kind::Text:
      // A character cut short, a CR or "]]" waiting for what follows.
      return std::min<std::size_t>(bytes.size(), 4);
    case Kind::Reference: {
      const std::size_t found = bytes.find_first_of(";<&");
      return found == npos ? npos : found + 1;
    }
    case Kind::EndTag: {
      const std::size_t found = bytes.find('>');
      return found == npos ? npos : found + 1;
    }
    case Kind::StartTag:
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (endsStartTag(bytes[i])) return i + 1;
      }
      return npos;
    case Kind::Instruction:
    case Kind::Comment:
    case Kind::CData: {
      // "?>"; "--" and the byte after it (it ends the comment or refuses it); "]]>".
      for (std::size_t i = m_scanned; i < total; ++i) {
        const char c = at(i);
        if (m_kind == Kind::Instruction) {
          if (c == '?' && i + 1 < total && at(i + 1) == '>') return i + 2 - carried;
        } else if (m_kind == Kind::Comment) {
          if (c == '-' && i + 2 < total && at(i + 1) == '-') return i + 3 - carried;
        } else if (c == ']' && i + 2 < total && at(i + 1) == ']' && at(i + 2) == '>') {
          return i + 3 - carried;
        }
      }
      const std::size_t keep = m_kind == Kind::Instruction ? 1 : 2;
      m_scanned = std::max(m_scanned, total >= keep ? total - keep : 0);
      return npos;
    }
  }
  return npos;
}
