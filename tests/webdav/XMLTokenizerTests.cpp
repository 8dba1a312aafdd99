// The streaming parser's own tokenizer, through KMXMLStreamParser: what it
// accepts and how it reports it, whatever the cut between chunks. The table
// of refusals includes the few documents libxml2 lets through though XML 1.0
// makes them not well-formed (a version of "1.", standalone not set apart, a
// second xmlns:xml, a NUL after the root, a namespace name it checks in a
// re-escaped form).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "webdav/KMXMLDocument.h"

namespace {

void describe(const KMXMLElement& element, std::string& out) {
  out += "{" + std::string(element.namespaceURI()) + "}" + std::string(element.localName());
  out += "[" + element.textContent() + "]";
  const auto children = element.childElements();
  if (children.empty()) return;
  out += "(";
  for (const KMXMLElement& child : children) describe(child, out);
  out += ")";
}

// The root's children described, or nothing when the document was refused;
// fed as `pieces` in order.
std::optional<std::vector<std::string>> parsed(const std::vector<std::string_view>& pieces) {
  std::vector<std::string> children;
  KMXMLStreamParser parser([&](const KMXMLElement& child) {
    children.emplace_back();
    describe(child, children.back());
  });
  for (std::string_view piece : pieces) {
    if (!parser.feed(piece)) return std::nullopt;
  }
  if (!parser.finish()) return std::nullopt;
  return children;
}

// Whole, byte by byte, and cut in two at every offset.
std::vector<std::vector<std::string_view>> everyCut(std::string_view body) {
  std::vector<std::vector<std::string_view>> cuts{{body}};
  std::vector<std::string_view> bytes;
  for (std::size_t at = 0; at < body.size(); ++at) bytes.push_back(body.substr(at, 1));
  cuts.push_back(bytes);
  for (std::size_t at = 1; at < body.size(); ++at) cuts.push_back({body.substr(0, at), body.substr(at)});
  return cuts;
}

TEST(XMLTokenizerTests, AcceptedDocumentsReadTheSameAtEveryCut) {
  struct Case {
    std::string body;
    std::vector<std::string> children;
  };
  const Case cases[] = {
      // Line ends become LF in text and CDATA; references are replaced.
      {"\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8' standalone='no' ?>\r\n<!-- before -->"
       "<D:multistatus xmlns:D=\"DAV:\">\r\n<D:response><D:href>/a&amp;b&#x20;c&#1092;</D:href>"
       "<D:p>one\r\ntwo\rthree\r</D:p><D:c><![CDATA[<x>\r\n]]]></D:c></D:response>"
       "<?pi data?></D:multistatus>\n<!-- after -->\n",
       {"{DAV:}response[/a&b cфone\ntwo\nthree\n<x>\n]]("
        "{DAV:}href[/a&b cф]{DAV:}p[one\ntwo\nthree\n]{DAV:}c[<x>\n]])"}},
      // Default namespaces declared and undeclared; prefixes rebound below;
      // non-ASCII names and characters of every length.
      {"<r xmlns='urn:a' xmlns:p=\"urn:p\"><p:x xmlns:p='urn:q' p:y='1' a=\"&lt;&quot;\">д€😀</p:x>"
       "<y xmlns=''><z xmlns='urn:z'/></y><имя:ключ xmlns:имя='urn:%D0%B8'>t</имя:ключ></r>",
       {"{urn:q}x[д€😀]", "{}y[]({urn:z}z[])", "{urn:%D0%B8}ключ[t]"}},
      // A namespace name is the declaration's value with its references replaced
      // (libxml2 hands such a name back re-escaped).
      {"<r xmlns:p='urn:a&amp;b&#x3d;c'><p:x/></r>", {"{urn:a&b=c}x[]"}},
  };
  for (const Case& c : cases) {
    for (const auto& pieces : everyCut(c.body)) {
      EXPECT_EQ(parsed(pieces), c.children) << c.body << "\nin " << pieces.size() << " pieces, the first of "
                                            << pieces.front().size() << " bytes";
    }
  }
}

TEST(XMLTokenizerTests, DocumentsInOtherEncodingsAreReadAsTheyDeclare) {
  std::string utf16 = "\xFF\xFE";
  for (const char16_t c : std::u16string(u"<r><a>ф</a></r>")) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><a>\xE9</a></r>";
  for (const std::string& body : {utf16, latin1}) {
    for (const auto& pieces : everyCut(body)) {
      const auto children = parsed(pieces);
      ASSERT_TRUE(children) << pieces.front().size();
      EXPECT_EQ(*children, std::vector<std::string>{body == latin1 ? "{}a[é]" : "{}a[ф]"});
    }
  }
}

TEST(XMLTokenizerTests, DocumentsThatAreNotWellFormedAreRefusedAtAnyCut) {
  const std::pair<const char*, std::string> refused[] = {
      {"two root elements", "<a/><b/>"},
      {"an end tag that does not match", "<a><b></a></b>"},
      {"an element left open", "<a><b/>"},
      {"text outside the root", "<a/>x"},
      {"a reference outside the root", "&amp;<a/>"},
      {"a document type declaration", "<!DOCTYPE a><a/>"},
      {"an entity never declared", "<a>&nbsp;</a>"},
      {"a reference to no character", "<a>&#0;</a>"},
      {"a reference to a surrogate", "<a>&#xD800;</a>"},
      {"a reference in upper-case hex", "<a>&#X41;</a>"},
      {"]]> in text", "<a>x]]>y</a>"},
      {"-- in a comment", "<a><!-- x -- y --></a>"},
      {"a comment ending in ---", "<a><!-- x ---></a>"},
      {"a processing instruction named xml", "<a><?XmL x?></a>"},
      {"a colon in a processing instruction's target", "<a><?p:q?></a>"},
      {"a declaration after the start", " <?xml version='1.0'?><a/>"},
      {"a declaration of version 2", "<?xml version='2.0'?><a/>"},
      {"a declaration without its version", "<?xml encoding='UTF-8'?><a/>"},
      {"a version without digits after the point", "<?xml version='1.'?><a/>"},
      {"standalone not set apart", "<?xml version='1.0' encoding='UTF-8'standalone='no'?><a/>"},
      {"xmlns:xml twice", "<a xmlns:xml='http://www.w3.org/XML/1998/namespace' "
                          "xmlns:xml='http://www.w3.org/XML/1998/namespace'/>"},
      {"a standalone neither yes nor no", "<?xml version='1.0' standalone='maybe'?><a/>"},
      {"CDATA outside the root", "<![CDATA[x]]><a/>"},
      {"< in an attribute value", "<a b='<'/>"},
      {"an attribute without a value", "<a b/>"},
      {"attributes not set apart", "<a b='1'c='2'/>"},
      {"a duplicate attribute", "<a b='1' b='2'/>"},
      {"a duplicate among many attributes",
       "<a a0='' a1='' a2='' a3='' a4='' a5='' a6='' a7='' a8='' a9='' b0='' b1='' b2='' a5=''/>"},
      {"a duplicate attribute by namespace", "<a xmlns:p='urn:x' xmlns:q='urn:x' p:b='1' q:b='2'/>"},
      {"an undeclared element prefix", "<p:a/>"},
      {"an undeclared attribute prefix", "<a p:b='1'/>"},
      {"an empty prefixed namespace", "<a xmlns:p=''/>"},
      {"xml bound to another namespace", "<a xmlns:xml='urn:x'/>"},
      {"another prefix bound to xml's namespace", "<a xmlns:p='http://www.w3.org/XML/1998/namespace'/>"},
      {"the xmlns prefix declared", "<a xmlns:xmlns='urn:x'/>"},
      {"the xmlns prefix used", "<xmlns:a/>"},
      {"a namespace name that is no URI reference", "<a xmlns='urn:a b'/>"},
      {"a namespace name with a colon in its first segment", "<a xmlns:p='1:x'/>"},
      {"the same once its references are replaced", "<a xmlns:p='u&amp;x:y'/>"},
      {"two colons in a name", "<a:b:c xmlns:a='urn:a'/>"},
      {"a name ending in a colon", "<a: xmlns:a='urn:a'/>"},
      {"a name starting with a digit", "<1a/>"},
      {"a control character", std::string("<a>\x01</a>")},
      {"a NUL after the root", std::string("<a/>\0", 5)},
      {"an overlong UTF-8 sequence", "<a>\xC0\xAF</a>"},
      {"an encoded surrogate", "<a>\xED\xA0\x80</a>"},
      {"U+FFFE", "<a>\xEF\xBF\xBE</a>"},
      {"beyond U+10FFFF", "<a>\xF4\x90\x80\x80</a>"},
      {"a UTF-8 sequence cut short", "<a>\xD0</a>"},
      {"nothing at all", ""},
      {"only a declaration", "<?xml version='1.0'?>"},
  };
  for (const auto& [reason, body] : refused) {
    for (const auto& pieces : everyCut(body)) {
      EXPECT_FALSE(parsed(pieces)) << reason << " (first piece of " << pieces.front().size() << " bytes)";
    }
  }
}

}  // namespace
