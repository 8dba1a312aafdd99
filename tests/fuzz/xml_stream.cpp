// The streaming parser against the document parser (libxml2). The first byte
// chooses how the rest is cut into pieces; the two must agree on whether the
// rest is an acceptable document and, when it is, on every child of the root:
// names, namespaces, text and structure.
#include <cctype>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "webdav/KMXMLDocument.h"

namespace {

// libxml2, keeping entity references, hands a namespace name holding '&'
// back with "&#38;" in its place; the name is the attribute's value, '&'.
std::string namespaceOf(const KMXMLElement& element, bool fromLibXML2) {
  std::string uri(element.namespaceURI());
  if (!fromLibXML2) return uri;
  for (std::size_t at = uri.find("&#38;"); at != std::string::npos; at = uri.find("&#38;", at + 1)) {
    uri.replace(at, 5, "&");
  }
  return uri;
}

void describe(const KMXMLElement& element, std::string& out, bool fromLibXML2 = false) {
  out += '{';
  out += namespaceOf(element, fromLibXML2);
  out += '}';
  out += element.localName();
  out += '[';
  out += element.textContent();
  out += "](";
  for (const KMXMLElement& child : element.childElements()) describe(child, out, fromLibXML2);
  out += ')';
}

// The quoted value of `name` in the XML declaration, if the body has one.
std::string_view declared(std::string_view body, std::string_view name) {
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  if (!body.starts_with("<?xml")) return {};
  const std::string_view declaration = body.substr(0, body.find("?>"));
  std::size_t at = declaration.find(name);
  if (at == std::string_view::npos) return {};
  at = declaration.find_first_of("\"'", at);
  if (at == std::string_view::npos) return {};
  const std::size_t close = declaration.find(declaration[at], at + 1);
  return close == std::string_view::npos ? std::string_view() : declaration.substr(at + 1, close - at - 1);
}

// Documents in other encodings go through libxml2 on both sides (push and
// whole): not what this target compares. Its two modes disagree where the
// bytes do not decode: the whole-document parse stops there and keeps what
// came before.
bool inOtherEncoding(std::string_view body) {
  if (body.empty()) return false;
  const auto first = static_cast<unsigned char>(body[0]);
  if (first == 0x00 || first == 0xFE || first == 0xFF || first == 0x4C) return true;
  if (body.size() > 1 && first == '<' && body[1] == '\0') return true;
  std::string encoding(declared(body, "encoding"));
  for (char& c : encoding) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return !encoding.empty() && encoding != "utf-8";
}

// Documents libxml2 accepts though XML 1.0 makes them not well-formed; the
// streaming parser refuses them.
bool libxml2AcceptsWrongly(std::string_view body) {
  // VersionNum is '1.' [0-9]+: libxml2 takes "1." with no digit after it.
  if (declared(body, "version") == "1.") return true;
  // White space must precede standalone; libxml2 does without it after an
  // encoding of UTF-8.
  if (body.find("?>") != std::string_view::npos) {
    const std::string_view declaration = body.substr(0, body.find("?>"));
    if (declaration.find("\"standalone") != std::string_view::npos ||
        declaration.find("'standalone") != std::string_view::npos) {
      return true;
    }
  }
  // An attribute may not appear twice in a tag: libxml2 lets a second
  // xmlns:xml (bound to its own namespace) through.
  for (std::size_t open = body.find('<'); open != std::string_view::npos; open = body.find('<', open + 1)) {
    const std::string_view tag = body.substr(open, body.find('>', open) - open);
    const std::size_t first = tag.find("xmlns:xml");
    if (first != std::string_view::npos && tag.find("xmlns:xml", first + 1) != std::string_view::npos) return true;
  }
  // It also checks the re-escaped "&#38;" form of a namespace name holding '&'
  // for being a URI reference ('#' starts a fragment there), not the name.
  for (std::size_t at = body.find("xmlns"); at != std::string_view::npos; at = body.find("xmlns", at + 1)) {
    const std::size_t open = body.find_first_of("\"'", at);
    if (open == std::string_view::npos) break;
    const std::string_view value = body.substr(open + 1, body.find(body[open], open + 1) - open - 1);
    if (value.find("&amp;") != std::string_view::npos || value.find("&#") != std::string_view::npos) return true;
  }
  // NUL is no XML character: libxml2 stops reading at one after the root
  // element and accepts the document without what follows.
  const std::size_t nul = body.find('\0');
  if (nul != std::string_view::npos && KMXMLDocument::parse(body.substr(0, nul))) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned cut = data[0];
  const std::string_view body = kdisk::fuzz::text(data + 1, size - 1);
  if (inOtherEncoding(body)) return 0;

  std::vector<std::string> streamed;
  KMXMLStreamParser parser([&](const KMXMLElement& child) {
    streamed.emplace_back();
    describe(child, streamed.back());
  });
  kdisk::fuzz::SplitMix random(cut);
  bool fed = true;
  for (std::size_t at = 0; at < body.size() && fed;) {
    const std::size_t length = cut == 0 ? body.size() : 1 + random.next() % cut;
    fed = parser.feed(body.substr(at, length));
    at += length;
  }
  const bool streamAccepted = fed && parser.finish();

  const auto document = KMXMLDocument::parse(body);
  if (!streamAccepted && document && libxml2AcceptsWrongly(body)) return 0;
  KDISK_FUZZ_CHECK(streamAccepted == document.has_value());
  if (!document) return 0;
  std::vector<std::string> whole;
  for (const KMXMLElement& child : document->rootElement().childElements()) {
    whole.emplace_back();
    describe(child, whole.back(), true);
  }
  KDISK_FUZZ_CHECK(streamed == whole);
  return 0;
}
