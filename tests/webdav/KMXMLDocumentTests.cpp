#include "webdav/KMXMLDocument.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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

// Feeds `body` in pieces of `piece` bytes; the children's texts, or nothing
// when the stream refused the document.
std::optional<std::vector<std::string>> streamed(const std::string& body, std::size_t piece,
                                                 KMXMLDocument::Limits limits = {}) {
  std::vector<std::string> texts;
  KMXMLStreamParser parser([&](const KMXMLElement& child) {
    texts.push_back(std::string(child.localName()) + "=" + child.textContent());
  }, limits);
  for (std::size_t at = 0; at < body.size(); at += piece) {
    if (!parser.feed(std::string_view(body).substr(at, piece))) return std::nullopt;
  }
  if (!parser.finish()) return std::nullopt;
  return texts;
}

TEST(KMXMLStreamParserTests, HandsOnRootChildrenInOrderWhateverTheChunks) {
  const std::string body =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<D:multistatus xmlns:D=\"DAV:\">\n"
      "  <D:response>один<D:x>два</D:x></D:response>\n  <D:other>три</D:other>\n"
      "  <D:response><![CDATA[<четыре>]]></D:response>\n</D:multistatus>";
  const std::vector<std::string> expected{"response=одиндва", "other=три", "response=<четыре>"};
  for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{17}, body.size()}) {
    EXPECT_EQ(streamed(body, piece), expected) << "pieces of " << piece;
  }
}

TEST(KMXMLStreamParserTests, MalformedTruncatedAndEmptyStreamsAreRefused) {
  for (const std::string body : {"<a xmlns=\"DAV:\"><b></a>", "<a xmlns=\"DAV:\"><b>text</b>",
                                 "<u:a>undeclared prefix</u:a>", "not xml at all",
                                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xff\xfe</a>"}) {
    EXPECT_FALSE(streamed(body, 2)) << body;
    EXPECT_FALSE(streamed(body, body.size())) << body;
  }
  KMXMLStreamParser parser([](const KMXMLElement&) {});
  EXPECT_FALSE(parser.finish());
}

TEST(KMXMLStreamParserTests, TruncatedBodiesInLegacyEncodingsAreRefused) {
  // "日本" in each encoding: a cut may fall inside a character.
  const std::pair<std::string, std::string> encodings[] = {
      {"UTF-7", "+ZeVnLA-"}, {"Shift_JIS", "\x93\xfa\x96\x7b"}, {"ISO-2022-JP", "\x1b$BF|K\\\x1b(B"},
      {"UTF-8", "日本"}};
  for (const auto& [encoding, name] : encodings) {
    std::string body = "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n<D:multistatus xmlns:D=\"DAV:\">";
    for (int i = 0; i < 5; ++i) body += "<D:response><D:href>/disk/" + name + std::to_string(i) + "</D:href></D:response>";
    // Cut anywhere after the root opened: never a document, however it is fed.
    for (std::size_t cut = body.find("<D:response>"); cut < body.size(); ++cut) {
      for (std::size_t piece : {std::size_t{7}, cut}) {
        EXPECT_FALSE(streamed(body.substr(0, cut), piece)) << encoding << " cut at " << cut << " in pieces of " << piece;
      }
    }
    auto whole = streamed(body + "</D:multistatus>", 7);
    ASSERT_TRUE(whole) << encoding;
    EXPECT_EQ(whole->size(), 5u) << encoding;
  }
}

TEST(KMXMLStreamParserTests, ValidBodiesOfTensOfMegabytesAreReadWhole) {
  std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<D:multistatus xmlns:D=\"DAV:\">";
  const std::string entry = "<D:response><D:href>/disk/a-file-with-a-fairly-long-name-number-";
  std::size_t count = 0;
  while (body.size() < 12u * 1024 * 1024) {
    body += entry + std::to_string(count++) + "</D:href><D:propstat><D:status>HTTP/1.1 200 OK</D:status>"
            "</D:propstat></D:response>\n";
  }
  body += "</D:multistatus>";
  auto texts = streamed(body, body.size());
  ASSERT_TRUE(texts);
  EXPECT_EQ(texts->size(), count);
  auto document = KMXMLDocument::parse(body);
  ASSERT_TRUE(document);
  EXPECT_EQ(document->rootElement().childElements().size(), count);
}

TEST(KMXMLStreamParserTests, DocumentTypeDeclarationsAndExternalEntitiesAreRefused) {
  kdisk::test::TemporaryDirectory directory;
  const std::string secret = directory.file("secret.txt");
  std::ofstream(secret) << "TOP-SECRET";
  const std::string body = "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x SYSTEM \"file://" + secret +
                           "\">]><a xmlns=\"DAV:\"><b>&x;</b><c/></a>";
  std::string seen;
  KMXMLStreamParser parser([&](const KMXMLElement& child) { seen += child.textContent(); });
  bool accepted = true;
  for (std::size_t at = 0; at < body.size() && accepted; at += 5) accepted = parser.feed(body.substr(at, 5));
  if (accepted) accepted = parser.finish();
  EXPECT_FALSE(accepted);
  EXPECT_EQ(seen.find("TOP-SECRET"), std::string::npos);

  std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY l0 \"lollollollollollollollollol\">";
  for (int i = 1; i < 10; ++i) {
    bomb += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) bomb += "&l" + std::to_string(i - 1) + ";";
    bomb += "\">";
  }
  bomb += "]><a xmlns=\"DAV:\"><b>&l9;</b></a>";
  EXPECT_FALSE(streamed(bomb, 64));
}

TEST(KMXMLStreamParserTests, SizeAndDepthAreBoundedWhileStreaming) {
  std::string nested = "<r>";
  for (int i = 0; i < 20; ++i) nested += "<a>";
  for (int i = 0; i < 20; ++i) nested += "</a>";
  nested += "<b/></r>";
  EXPECT_TRUE(streamed(nested, 4));
  EXPECT_FALSE(streamed(nested, 4, {.maxBytes = 10, .maxDepth = 128}));
  // Deep inside a complete child, and deep along the still-open path.
  EXPECT_FALSE(streamed(nested, 4, {.maxBytes = 1 << 20, .maxDepth = 10}));
  std::string open = "<r>";
  for (int i = 0; i < 50; ++i) open += "<a>";
  KMXMLStreamParser parser([](const KMXMLElement&) {}, {.maxBytes = 1 << 20, .maxDepth = 10});
  EXPECT_FALSE(parser.feed(open));
  EXPECT_FALSE(parser.feed("</a>"));

  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<a xmlns=\"DAV:\">";
  for (int i = 0; i < 5000; ++i) deep += "</a>";
  EXPECT_FALSE(streamed(deep, 1000));
}

// A listing may still be parsed on a pool thread when the program ends; the
// exit must neither crash nor touch libxml2's freed globals (the thread
// sanitizer build reports the latter).
TEST(KMXMLStreamParserTests, ParsesRunningAtExitEndCleanly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::string body = "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\">";
        for (int i = 0; i < 50; ++i)
          body += "<d:response><d:href>/f" + std::to_string(i) + "</d:href></d:response>";
        body += "</d:multistatus>";
        constexpr int kThreads = 4;
        std::atomic<int> parsed{0};
        for (int i = 0; i < kThreads; ++i)
          std::thread([&body, &parsed] {
            for (;;) {
              if (streamed(body, 7)) parsed.fetch_add(1);
            }
          }).detach();
        while (parsed.load() < 4 * kThreads) std::this_thread::yield();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
