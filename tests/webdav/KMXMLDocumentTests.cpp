#include "webdav/KMXMLDocument.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/TemporaryDirectory.h"

namespace {

TEST(KMXMLDocumentTests, ElementsAreNamespaceAwareAndInDocumentOrder) {
  auto document = KMXMLDocument::parse(
      "<?xml version=\"1.0\"?><a:multistatus xmlns:a=\"DAV:\"><a:response>1</a:response>"
      "<x:response xmlns:x=\"other\">2</x:response><response xmlns=\"DAV:\">3</response></a:multistatus>");
  ASSERT_TRUE(document);
  auto root = document->rootElement();
  EXPECT_TRUE(root.isNamed("multistatus", "DAV:"));
  auto children = root.childElements();
  ASSERT_EQ(children.size(), 3u);
  EXPECT_EQ(children[0].textContent(), "1");
  EXPECT_EQ(children[1].namespaceURI(), "other");
  EXPECT_TRUE(children[2].isNamed("response", "DAV:"));
  EXPECT_EQ(root.firstChildElementNamed("response", "DAV:").textContent(), "1");
  EXPECT_TRUE(root.firstChildElementNamed("missing", "DAV:").isNull());
}

TEST(KMXMLDocumentTests, MalformedTruncatedAndNonUTF8BodiesGiveNoDocument) {
  EXPECT_FALSE(KMXMLDocument::parse(""));
  EXPECT_FALSE(KMXMLDocument::parse("<a xmlns=\"DAV:\"><b></a>"));
  EXPECT_FALSE(KMXMLDocument::parse("<a xmlns=\"DAV:\"><b>text"));
  EXPECT_FALSE(KMXMLDocument::parse("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xff\xfe</a>"));
  EXPECT_FALSE(KMXMLDocument::parse("<u:a>undeclared prefix</u:a>"));
  EXPECT_FALSE(KMXMLDocument::parse("not xml at all"));
}

TEST(KMXMLDocumentTests, ExternalEntitiesAreNeverLoaded) {
  kdisk::test::TemporaryDirectory directory;
  const std::string secret = directory.file("secret.txt");
  std::ofstream(secret) << "TOP-SECRET";
  const std::string body = "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x SYSTEM \"file://" + secret +
                           "\">]><a xmlns=\"DAV:\">&x;</a>";
  auto document = KMXMLDocument::parse(body);
  // A document with a DTD is refused outright; nothing of the file leaks either way.
  if (document) {
    EXPECT_EQ(document->rootElement().textContent().find("TOP-SECRET"), std::string::npos);
  }
  EXPECT_FALSE(document);
}

TEST(KMXMLDocumentTests, EntityExpansionBombIsRefused) {
  std::string body = "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY l0 \"lollollollollollollollollol\">";
  for (int i = 1; i < 10; ++i) {
    body += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) body += "&l" + std::to_string(i - 1) + ";";
    body += "\">";
  }
  body += "]><a xmlns=\"DAV:\">&l9;</a>";
  EXPECT_FALSE(KMXMLDocument::parse(body));
}

TEST(KMXMLDocumentTests, DeepNestingAndOversizedBodiesAreRefused) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<a xmlns=\"DAV:\">";
  for (int i = 0; i < 5000; ++i) deep += "</a>";
  EXPECT_FALSE(KMXMLDocument::parse(deep));

  std::string moderate;
  for (int i = 0; i < 20; ++i) moderate += "<a>";
  for (int i = 0; i < 20; ++i) moderate += "</a>";
  EXPECT_TRUE(KMXMLDocument::parse(moderate));
  EXPECT_FALSE(KMXMLDocument::parse(moderate, {.maxBytes = 10, .maxDepth = 128}));
  EXPECT_FALSE(KMXMLDocument::parse(moderate, {.maxBytes = 1 << 20, .maxDepth = 10}));
}

}  // namespace
