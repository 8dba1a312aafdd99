#include "webdav/XMLTokenizer.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "webdav/XMLCharacters.h"
#include "webdav/XMLDeclaration.h"

using namespace kdisk::xml;

namespace {

constexpr std::string_view kXMLNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kXMLNSNamespace = "http://www.w3.org/2000/xmlns/";
// Longer names are refused, as by the document parser.
constexpr std::ptrdiff_t kMaxNameLength = 50000;

bool isSpace(char byte) { return hasClass(byte, kSpaceByte); }

// Skips the bytes that need no look in text (ASCII characters but '<', '&',
// ']'), sixteen at a time where the processor allows, stopping at or a little
// before the first one that does.
const char* skipPlainText(const char* at, const char* end) {
#if defined(__SSE2__)
  const __m128i less = _mm_set1_epi8('<'), ampersand = _mm_set1_epi8('&'), bracket = _mm_set1_epi8(']');
  const __m128i space = _mm_set1_epi8(' ');
  while (end - at >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    // Signed: bytes of 0x80 and more count as below the space, with the controls.
    const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(bytes, space), _mm_cmpeq_epi8(bytes, less)),
                                         _mm_or_si128(_mm_cmpeq_epi8(bytes, ampersand), _mm_cmpeq_epi8(bytes, bracket)));
    const int mask = _mm_movemask_epi8(special);
    if (mask != 0) return at + __builtin_ctz(static_cast<unsigned>(mask));
    at += 16;
  }
#endif
  while (at < end && hasClass(*at, kPlainTextByte)) ++at;
  return at;
}

// A two-byte UTF-8 sequence: always an XML character (U+0080 to U+07FF).
bool isTwoByteCharacter(const char* at, const char* end) {
  const auto lead = static_cast<unsigned char>(at[0]);
  return lead >= 0xC2 && lead <= 0xDF && end - at >= 2 && (static_cast<unsigned char>(at[1]) & 0xC0) == 0x80;
}

const char* skipSpaces(const char* at, const char* end) {
  while (at < end && isSpace(*at)) ++at;
  return at;
}

void appendUTF8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool isNamespaceDeclaration(std::string_view name, std::size_t colon) {
  return colon == 0 ? name == "xmlns" : (colon == 5 && name.substr(0, 5) == "xmlns");
}

}  // namespace

XMLTokenizer::XMLTokenizer(Sink& sink) : m_sink(sink) {
  // The xml prefix is bound from the start.
  m_bindingText.append("xml").append(kXMLNamespace);
  m_bindings.push_back({0, 3, 3, static_cast<std::uint32_t>(kXMLNamespace.size())});
}

bool XMLTokenizer::feed(std::string_view bytes) {
  if (m_failed || m_otherEncoding) return false;
  while (!bytes.empty()) {
    if (m_carry.empty()) {
      const std::size_t used = process(bytes.data(), bytes.data() + bytes.size());
      if (m_failed) return false;
      m_carry.assign(bytes.substr(used));
      m_pending.reset(m_carry, m_phase == Phase::Start);
      return true;
    }
    const std::size_t end = m_pending.end(m_carry, bytes);
    if (end == std::string_view::npos) {
      m_carry.append(bytes);
      return true;
    }
    m_carry.append(bytes.substr(0, end));
    bytes.remove_prefix(end);
    const std::size_t used = process(m_carry.data(), m_carry.data() + m_carry.size());
    if (m_failed) return false;
    m_carry.erase(0, used);
    m_pending.reset(m_carry, m_phase == Phase::Start);
  }
  return true;
}

bool XMLTokenizer::finish() {
  if (m_failed || m_otherEncoding) return false;
  m_final = true;
  if (!m_carry.empty() && process(m_carry.data(), m_carry.data() + m_carry.size()) != m_carry.size()) {
    m_failed = true;
  }
  m_carry.clear();
  return !m_failed && m_phase == Phase::Epilog;
}

std::size_t XMLTokenizer::process(const char* begin, const char* end) {
  const char* at = begin;
  while (at < end) {
    const char* next = at;
    Step step;
    if (m_phase == Phase::Start) {
      step = start(at, end, next);
    } else if (*at == '<') {
      step = markup(at, end, next);
    } else {
      step = text(at, end, next);
    }
    if (step == Step::More) break;
    if (step == Step::Fail) {
      m_failed = true;
      break;
    }
    at = next;
  }
  return static_cast<std::size_t>(at - begin);
}

XMLTokenizer::Step XMLTokenizer::start(const char* at, const char* end, const char*& next) {
  // UTF-16 and UTF-32 (with or without a byte order mark) and EBCDIC start so.
  const auto first = static_cast<unsigned char>(*at);
  if (first == 0x00 || first == 0xFE || first == 0xFF || first == 0x4C) {
    m_otherEncoding = true;
    return Step::Fail;
  }
  if (first == '<') {
    if (end - at < 2) return more();
    if (at[1] == '\0') {
      m_otherEncoding = true;
      return Step::Fail;
    }
  }
  const char* p = at;
  if (first == 0xEF) {
    if (end - p < 3) return more();
    if (p[1] != '\xBB' || p[2] != '\xBF') return Step::Fail;
    p += 3;
  }
  constexpr std::string_view open = "<?xml";
  const std::size_t available = static_cast<std::size_t>(end - p);
  if (std::string_view(p, std::min(available, open.size())) == open.substr(0, std::min(available, open.size()))) {
    if (available < open.size() + 1) return more();
    if (isSpace(p[open.size()])) {
      switch (readXMLDeclaration(p, end, m_final, next)) {
        case XMLDeclarationResult::Read:
          m_phase = Phase::Prolog;
          return Step::Done;
        case XMLDeclarationResult::NeedsMore:
          return Step::More;
        case XMLDeclarationResult::OtherEncoding:
          m_otherEncoding = true;
          return Step::Fail;
        case XMLDeclarationResult::Refused:
          return Step::Fail;
      }
    }
  }
  m_phase = Phase::Prolog;
  next = p;
  return Step::Done;
}

XMLTokenizer::Step XMLTokenizer::markup(const char* at, const char* end, const char*& next) {
  if (end - at < 2) return more();
  switch (at[1]) {
    case '/':
      return m_phase == Phase::Content ? endTag(at, end, next) : Step::Fail;
    case '?':
      return instruction(at, end, next);
    case '!': {
      constexpr std::string_view commentOpen = "<!--", cdataOpen = "<![CDATA[";
      const std::string_view head(at, std::min<std::size_t>(static_cast<std::size_t>(end - at), 9));
      if (head.starts_with(commentOpen)) return comment(at, end, next);
      if (head == cdataOpen) return m_phase == Phase::Content ? cdata(at, end, next) : Step::Fail;
      // A document type declaration is refused, whatever it holds.
      if (commentOpen.starts_with(head) || cdataOpen.starts_with(head)) return more();
      return Step::Fail;
    }
    default:
      return m_phase == Phase::Epilog ? Step::Fail : startTag(at, end, next);
  }
}

XMLTokenizer::Step XMLTokenizer::text(const char* at, const char* end, const char*& next) {
  if (m_phase != Phase::Content) {
    // Outside the root element only white space.
    const char* p = skipSpaces(at, end);
    if (p < end && *p != '<') return Step::Fail;
    next = p;
    return Step::Done;
  }
  const char* const first = at;
  const char* run = at;
  auto flush = [&](const char* to) {
    return to == run || m_sink.characters(std::string_view(run, static_cast<std::size_t>(to - run)));
  };
  // Stops before `to`, which needs bytes yet to come.
  auto stop = [&](const char* to) {
    if (!flush(to)) return Step::Fail;
    next = to;
    return to > first ? Step::Done : more();
  };
  const char* p = at;
  for (;;) {
    p = skipPlainText(p, end);
    while (p < end && hasClass(*p, kPlainTextByte)) ++p;
    if (p == end) return stop(p);
    const auto c = static_cast<unsigned char>(*p);
    if (c == '<') {
      if (!flush(p)) return Step::Fail;
      next = p;
      return Step::Done;
    }
    if (c == '&') {
      if (!flush(p)) return Step::Fail;
      run = p;
      m_scratch.clear();
      const char* after = p;
      const Step step = reference(p, end, after, m_scratch);
      if (step == Step::Fail) return Step::Fail;
      if (step == Step::More) return stop(p);
      if (!m_sink.characters(m_scratch)) return Step::Fail;
      p = run = after;
    } else if (c == '\r') {
      if (!flush(p)) return Step::Fail;
      run = p;
      if (p + 1 == end && !m_final) return stop(p);
      if (!m_sink.characters("\n")) return Step::Fail;
      p += p + 1 < end && p[1] == '\n' ? 2 : 1;
      run = p;
    } else if (c == ']') {
      if (end - p < 3 && !m_final) return stop(p);
      if (end - p >= 3 && p[1] == ']' && p[2] == '>') return Step::Fail;
      ++p;
    } else if (c >= 0x80) {
      if (isTwoByteCharacter(p, end)) {
        p += 2;
        continue;
      }
      std::uint32_t codePoint;
      const int length = decodeCharacter(p, end, codePoint);
      if (length < 0) return Step::Fail;
      if (length == 0) return stop(p);
      p += length;
    } else {
      return Step::Fail;  // a control character
    }
  }
}

XMLTokenizer::Step XMLTokenizer::reference(const char* at, const char* end, const char*& next, std::string& out) {
  const char* p = at + 1;
  if (p == end) return more();
  if (*p == '#') {
    if (++p == end) return more();
    const bool hexadecimal = *p == 'x';
    if (hexadecimal) ++p;
    const char* digits = p;
    std::uint32_t value = 0;
    for (;; ++p) {
      if (p == end) return more();
      const char c = *p;
      std::uint32_t digit;
      if (c >= '0' && c <= '9') {
        digit = static_cast<std::uint32_t>(c - '0');
      } else if (hexadecimal && c >= 'a' && c <= 'f') {
        digit = static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (hexadecimal && c >= 'A' && c <= 'F') {
        digit = static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        break;
      }
      value = std::min<std::uint32_t>(value * (hexadecimal ? 16 : 10) + digit, 0x110000);
    }
    if (p == digits || *p != ';' || !isXMLCharacter(value)) return Step::Fail;
    appendUTF8(out, value);
    next = p + 1;
    return Step::Done;
  }
  // Only the predefined entities: with no document type there are no others.
  const char* name = p;
  while (p < end && *p != ';' && p - name < 5) ++p;
  if (p == end) return more();
  const std::string_view entity(name, static_cast<std::size_t>(p - name));
  if (*p != ';') return Step::Fail;
  if (entity == "lt") {
    out += '<';
  } else if (entity == "gt") {
    out += '>';
  } else if (entity == "amp") {
    out += '&';
  } else if (entity == "apos") {
    out += '\'';
  } else if (entity == "quot") {
    out += '"';
  } else {
    return Step::Fail;
  }
  next = p + 1;
  return Step::Done;
}

XMLTokenizer::Step XMLTokenizer::name(const char* at, const char* end, const char*& next, std::size_t& colon,
                                      bool& qualified) {
  const char* p = at;
  // The usual case: ASCII, at most one colon, ended by an ASCII byte.
  if (p < end && hasClass(*p, kNameStartByte)) {
    ++p;
    while (p < end && hasClass(*p, kNameByte)) ++p;
    std::size_t prefix = 0;
    if (p + 1 < end && *p == ':' && hasClass(p[1], kNameStartByte)) {
      prefix = static_cast<std::size_t>(p - at);
      p += 2;
      while (p < end && hasClass(*p, kNameByte)) ++p;
    }
    if (p < end && static_cast<unsigned char>(*p) < 0x80 && *p != ':' && p - at <= kMaxNameLength) {
      colon = prefix;
      qualified = true;
      next = p;
      return Step::Done;
    }
    p = at;
  }
  colon = 0;
  qualified = true;
  int colons = 0;
  bool partStarts = true;  // the next character starts the name or what follows a colon
  for (;;) {
    if (!partStarts) {
      while (p < end && hasClass(*p, kNameByte)) ++p;
    }
    if (p == end) return more();
    if (p - at > kMaxNameLength) return Step::Fail;
    std::uint32_t c = static_cast<unsigned char>(*p);
    int length = 1;
    if (c >= 0x80) {
      length = decodeCharacter(p, end, c);
      if (length == 0) return more();
      if (length < 0) return Step::Fail;
    }
    if (p == at ? !isNameStartCharacter(c) : !isNameCharacter(c)) break;
    if (c == ':') {
      if (colons++ == 0) colon = static_cast<std::size_t>(p - at);
      if (partStarts) qualified = false;
      partStarts = true;
    } else {
      if (partStarts && !isNameStartCharacter(c)) qualified = false;
      partStarts = false;
    }
    p += length;
  }
  if (p == at) return Step::Fail;
  if (partStarts || colons > 1) qualified = false;
  next = p;
  return Step::Done;
}

// Steps over the character at `p`, a byte of 0x80 or more.
XMLTokenizer::Step XMLTokenizer::wideCharacter(const char*& p, const char* end) const {
  std::uint32_t codePoint;
  const int length = decodeCharacter(p, end, codePoint);
  if (length < 0) return Step::Fail;
  if (length == 0) return more();
  p += length;
  return Step::Done;
}

XMLTokenizer::Step XMLTokenizer::attributeValue(const char* at, const char* end, const char*& next) {
  const char quote = *at;
  const char* p = at + 1;
  for (;;) {
    while (p < end && hasClass(*p, kPlainValueByte)) ++p;
    if (p == end) return more();
    const auto c = static_cast<unsigned char>(*p);
    if (c == static_cast<unsigned char>(quote)) {
      next = p + 1;
      return Step::Done;
    }
    if (c == '"' || c == '\'' || c == '\t' || c == '\n' || c == '\r') {
      ++p;
    } else if (c == '&') {
      m_scratch.clear();
      const char* after = p;
      if (const Step step = reference(p, end, after, m_scratch); step != Step::Done) return step;
      p = after;
    } else if (c >= 0x80) {
      if (const Step step = wideCharacter(p, end); step != Step::Done) return step;
    } else {
      return Step::Fail;  // '<' or a control character
    }
  }
}

XMLTokenizer::Step XMLTokenizer::startTag(const char* at, const char* end, const char*& next) {
  const char* p = at + 1;
  const char* after = p;
  std::size_t elementColon = 0;
  bool qualified = false;
  if (const Step step = name(p, end, after, elementColon, qualified); step != Step::Done) return step;
  if (!qualified) return Step::Fail;
  const std::string_view elementName(p, static_cast<std::size_t>(after - p));
  p = after;
  m_attributes.clear();
  bool empty = false;
  for (;;) {
    const char* spaced = p;
    p = skipSpaces(p, end);
    if (p == end) return more();
    if (*p == '>') {
      next = p + 1;
      break;
    }
    if (*p == '/') {
      if (p + 1 == end) return more();
      if (p[1] != '>') return Step::Fail;
      next = p + 2;
      empty = true;
      break;
    }
    if (p == spaced) return Step::Fail;  // attributes stand apart
    Attribute attribute;
    if (const Step step = name(p, end, after, attribute.colon, qualified); step != Step::Done) return step;
    if (!qualified) return Step::Fail;
    attribute.name = std::string_view(p, static_cast<std::size_t>(after - p));
    p = skipSpaces(after, end);
    if (p == end) return more();
    if (*p != '=') return Step::Fail;
    p = skipSpaces(p + 1, end);
    if (p == end) return more();
    if (*p != '"' && *p != '\'') return Step::Fail;
    if (const Step step = attributeValue(p, end, after); step != Step::Done) return step;
    attribute.value = std::string_view(p + 1, static_cast<std::size_t>(after - p - 2));
    p = after;
    m_attributes.push_back(attribute);
  }
  return openElement(elementName, elementColon, empty) ? Step::Done : Step::Fail;
}

bool XMLTokenizer::openElement(std::string_view name, std::size_t colon, bool empty) {
  const auto bindingsBefore = static_cast<std::uint32_t>(m_bindings.size());
  const auto bindingTextBefore = static_cast<std::uint32_t>(m_bindingText.size());
  if (m_attributes.size() > 1 && hasDuplicates([](const Attribute& a) { return Key{a.name, {}}; })) return false;
  // Declarations first: they hold for the element's own name and attributes.
  for (const Attribute& attribute : m_attributes) {
    if (isNamespaceDeclaration(attribute.name, attribute.colon) && !bindNamespace(attribute)) return false;
  }
  std::string_view uri;
  if (!resolve(colon ? name.substr(0, colon) : std::string_view(), uri)) return false;
  for (Attribute& attribute : m_attributes) {
    if (attribute.colon == 0 || isNamespaceDeclaration(attribute.name, attribute.colon)) continue;
    if (!resolve(attribute.name.substr(0, attribute.colon), attribute.namespaceURI)) return false;
  }
  // Two prefixes bound to one namespace do not make two attributes.
  auto expandedName = [](const Attribute& a) {
    if (a.colon == 0 || isNamespaceDeclaration(a.name, a.colon)) return Key{};
    return Key{a.name.substr(a.colon + 1), a.namespaceURI};
  };
  if (m_attributes.size() > 1 && hasDuplicates(expandedName)) return false;
  m_open.push_back({static_cast<std::uint32_t>(m_openNames.size()), static_cast<std::uint32_t>(name.size()),
                    bindingsBefore, bindingTextBefore});
  m_openNames.append(name);
  m_phase = Phase::Content;
  if (!m_sink.startElement(colon ? name.substr(colon + 1) : name, uri)) return false;
  return !empty || closeElement();
}

// Whether two attributes share a key (an empty key stands for none). Sorted
// past a few, so a tag of many attributes costs no quadratic time.
template <typename KeyOf> bool XMLTokenizer::hasDuplicates(KeyOf keyOf) {
  m_keys.clear();
  for (const Attribute& attribute : m_attributes) {
    if (Key key = keyOf(attribute); !key.first.empty()) m_keys.push_back(key);
  }
  if (m_keys.size() <= 8) {
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
      if (std::find(m_keys.begin() + static_cast<std::ptrdiff_t>(i) + 1, m_keys.end(), m_keys[i]) != m_keys.end())
        return true;
    }
    return false;
  }
  std::sort(m_keys.begin(), m_keys.end());
  return std::adjacent_find(m_keys.begin(), m_keys.end()) != m_keys.end();
}

bool XMLTokenizer::closeElement() {
  const OpenElement element = m_open.back();
  m_open.pop_back();
  m_openNames.resize(element.nameOffset);
  m_bindings.resize(element.bindings);
  m_bindingText.resize(element.bindingText);
  if (m_open.empty()) m_phase = Phase::Epilog;
  return m_sink.endElement();
}

bool XMLTokenizer::bindNamespace(const Attribute& attribute) {
  const std::string_view prefix = attribute.colon ? attribute.name.substr(attribute.colon + 1) : std::string_view();
  m_value.clear();
  normalizeValue(attribute.value, m_value);
  if (prefix == "xml") return m_value == kXMLNamespace;
  if (prefix == "xmlns" || m_value == kXMLNamespace || m_value == kXMLNSNamespace) return false;
  if (m_value.empty()) {
    if (!prefix.empty()) return false;  // only the default namespace may be undeclared
  } else if (!isURIReference(m_value)) {
    return false;
  }
  const auto prefixOffset = static_cast<std::uint32_t>(m_bindingText.size());
  m_bindingText.append(prefix).append(m_value);
  m_bindings.push_back({prefixOffset, static_cast<std::uint32_t>(prefix.size()),
                        prefixOffset + static_cast<std::uint32_t>(prefix.size()),
                        static_cast<std::uint32_t>(m_value.size())});
  return true;
}

bool XMLTokenizer::resolve(std::string_view prefix, std::string_view& uri) const {
  const std::string_view text = m_bindingText;
  for (auto it = m_bindings.rbegin(); it != m_bindings.rend(); ++it) {
    if (text.substr(it->prefixOffset, it->prefixLength) == prefix) {
      uri = text.substr(it->uriOffset, it->uriLength);
      return true;
    }
  }
  uri = {};
  return prefix.empty();
}

// Attribute-value normalisation: references replaced, each white-space
// character (a CR LF pair counting as one) becomes a space.
void XMLTokenizer::normalizeValue(std::string_view value, std::string& out) {
  const char* p = value.data();
  const char* const end = p + value.size();
  while (p < end) {
    const char c = *p;
    if (c == '&') {
      const char* after = p;
      reference(p, end, after, out);  // already checked
      p = after;
    } else if (c == '\r') {
      out += ' ';
      p += p + 1 < end && p[1] == '\n' ? 2 : 1;
    } else {
      out += c == '\t' || c == '\n' ? ' ' : c;
      ++p;
    }
  }
}

XMLTokenizer::Step XMLTokenizer::endTag(const char* at, const char* end, const char*& next) {
  const OpenElement& open = m_open.back();
  const char* p = at + 2;
  const char* after = p;
  // The usual case: the open element's name and '>' right after it.
  if (static_cast<std::size_t>(end - p) > open.nameLength &&
      std::memcmp(p, m_openNames.data() + open.nameOffset, open.nameLength) == 0 && p[open.nameLength] == '>') {
    next = p + open.nameLength + 1;
    return closeElement() ? Step::Done : Step::Fail;
  }
  std::size_t colon = 0;
  bool qualified = false;
  if (const Step step = name(p, end, after, colon, qualified); step != Step::Done) return step;
  if (std::string_view(p, static_cast<std::size_t>(after - p)) !=
      std::string_view(m_openNames).substr(open.nameOffset, open.nameLength)) {
    return Step::Fail;
  }
  p = skipSpaces(after, end);
  if (p == end) return more();
  if (*p != '>') return Step::Fail;
  next = p + 1;
  return closeElement() ? Step::Done : Step::Fail;
}

// Advances over the characters of a comment, PI or CDATA section up to the
// next `stop` byte; notes a CR (CDATA reports line ends normalised).
XMLTokenizer::Step XMLTokenizer::markupCharacters(const char*& p, const char* end, char stop,
                                                  bool& carriageReturn) {
  for (;;) {
    while (p < end && hasClass(*p, kPlainMarkupByte)) ++p;
    if (p == end) return more();
    const auto c = static_cast<unsigned char>(*p);
    if (c == static_cast<unsigned char>(stop)) return Step::Done;
    if (c == '-' || c == '?' || c == ']') {
      ++p;
    } else if (c == '\r') {
      carriageReturn = true;
      ++p;
    } else if (c >= 0x80) {
      if (const Step step = wideCharacter(p, end); step != Step::Done) return step;
    } else {
      return Step::Fail;
    }
  }
}

XMLTokenizer::Step XMLTokenizer::comment(const char* at, const char* end, const char*& next) {
  const char* p = at + 4;
  bool carriageReturn = false;
  for (;;) {
    if (const Step step = markupCharacters(p, end, '-', carriageReturn); step != Step::Done) return step;
    if (p + 1 == end) return more();
    if (p[1] == '-') {
      if (p + 2 == end) return more();
      if (p[2] != '>') return Step::Fail;  // "--" inside a comment
      next = p + 3;
      return Step::Done;
    }
    ++p;
  }
}

XMLTokenizer::Step XMLTokenizer::instruction(const char* at, const char* end, const char*& next) {
  const char* p = at + 2;
  const char* after = p;
  std::size_t colon = 0;
  bool qualified = false;
  if (const Step step = name(p, end, after, colon, qualified); step != Step::Done) return step;
  const std::string_view target(p, static_cast<std::size_t>(after - p));
  // No colon in a target, and "xml" in any case is the declaration's alone.
  if (target.find(':') != std::string_view::npos || equalsIgnoringASCIICase(target, "xml")) return Step::Fail;
  p = after;
  if (p == end) return more();
  if (*p != '?' && !isSpace(*p)) return Step::Fail;
  const bool spaced = *p != '?';
  bool carriageReturn = false;
  for (;;) {
    if (const Step step = markupCharacters(p, end, '?', carriageReturn); step != Step::Done) return step;
    if (p + 1 == end) return more();
    if (p[1] == '>') {
      next = p + 2;
      return Step::Done;
    }
    if (!spaced) return Step::Fail;  // the target and the data stand apart
    ++p;
  }
}

XMLTokenizer::Step XMLTokenizer::cdata(const char* at, const char* end, const char*& next) {
  const char* const from = at + 9;
  const char* p = from;
  bool carriageReturn = false;
  for (;;) {
    if (const Step step = markupCharacters(p, end, ']', carriageReturn); step != Step::Done) return step;
    if (end - p < 3) return more();
    if (p[1] == ']' && p[2] == '>') break;
    ++p;
  }
  // Reported only whole: a section cut short is read again from its start.
  next = p + 3;
  std::string_view content(from, static_cast<std::size_t>(p - from));
  if (!carriageReturn) return content.empty() || m_sink.characters(content) ? Step::Done : Step::Fail;
  while (!content.empty()) {
    const std::size_t cr = content.find('\r');
    if (!m_sink.characters(content.substr(0, cr))) return Step::Fail;
    if (cr == std::string_view::npos) break;
    if (!m_sink.characters("\n")) return Step::Fail;
    content.remove_prefix(cr + (cr + 1 < content.size() && content[cr + 1] == '\n' ? 2 : 1));
  }
  return Step::Done;
}
