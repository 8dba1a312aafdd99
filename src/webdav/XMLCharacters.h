#pragma once
// Character rules of XML 1.0 (fifth edition) for the streaming tokenizer:
// which bytes need no second look, UTF-8 decoding limited to XML characters,
// name characters, and the URI-reference check a namespace name must pass.

#include <cstdint>
#include <string_view>

namespace kdisk::xml {

// Classes of a byte, as bit flags in kByteClass.
enum ByteClass : std::uint8_t {
  kNameStartByte = 1,   // an ASCII name start character (letters, '_'; not ':')
  kNameByte = 2,        // an ASCII name character (not ':')
  kPlainTextByte = 4,   // content text that needs nothing: ASCII Chars but < & ] CR
  kPlainValueByte = 8,  // an attribute value byte that needs nothing: ASCII Chars but < & " ' tab LF CR
  kPlainMarkupByte = 16,  // a comment, PI or CDATA byte that needs nothing: ASCII Chars but - ? ] CR
  kSpaceByte = 32,      // S: space, tab, LF, CR
};
extern const std::uint8_t kByteClass[256];

inline bool hasClass(char byte, std::uint8_t classes) {
  return (kByteClass[static_cast<unsigned char>(byte)] & classes) != 0;
}

// Decodes the character at `at` (a byte of 0x80 or more). The length of the
// sequence; 0 when the bytes end inside it; -1 when it is not well-formed
// UTF-8 (overlong, surrogate, beyond U+10FFFF) or not an XML character.
int decodeCharacter(const char* at, const char* end, std::uint32_t& codePoint);

bool isXMLCharacter(std::uint32_t codePoint);
bool isNameStartCharacter(std::uint32_t codePoint);
bool isNameCharacter(std::uint32_t codePoint);

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b);

// Whether a namespace name is a URI reference (RFC 3986): a URI, or a relative
// reference whose first segment holds no colon.
bool isURIReference(std::string_view text);

}  // namespace kdisk::xml
