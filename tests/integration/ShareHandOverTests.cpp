// Sharing against kdisk-service on a desktop with a mail application for
// "kalumomailto:" and a messaging application for "sms:", each writing the
// URL it was started with into its marker file.
#include <filesystem>

#include "ShareManagerFixture.h"
#include "support/DesktopRegistry.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

class ShareHandOverTest : public ShareManagerTest {
protected:
  static void SetUpTestSuite() {
    registry = std::make_unique<DesktopRegistry>();
    mailMarker = registry->addApplication("test.Mail", "Mail", {"x-scheme-handler/kalumomailto"});
    messagesMarker =
        registry->addApplication("test.Messages", "Messages", {"x-scheme-handler/sms"});
  }
  static void TearDownTestSuite() { registry.reset(); }
  static inline std::unique_ptr<DesktopRegistry> registry;
  static inline std::string mailMarker, messagesMarker;

  void SetUp() override {
    ShareManagerTest::SetUp();
    std::filesystem::remove(mailMarker);
    std::filesystem::remove(messagesMarker);
  }

  // The public link the manager reported last for `item`.
  std::string linkOf(const KMFileItem& item) const {
    std::string link;
    for (auto& published : m_recorder.named(kKMKMWebDAVFileManagerDidPublishFile))
      if (published.string("URL") == item.URLString())
        link = published.string("locationURL");
    EXPECT_FALSE(link.empty()) << "no link for " << item.URLString();
    return link;
  }
  // A link as it stands inside an escaped query value.
  static std::string escapedLink(std::string link) {
    std::string escaped;
    for (char c : link)
      escaped += c == ':' ? "%3A" : c == '/' ? "%2F" : std::string(1, c);
    return escaped;
  }
};

TEST_F(ShareHandOverTest, MailAndMessagesAreOfferedBeforeTheClipboardAndMailGetsSubjectThenBody) {
  auto document = file("a%20b.txt", "alpha");
  m_share->showShareActionSheetForFilesInView({document}, m_host->window());
  m_host->advance(0.5);
  EXPECT_THAT(shownTexts(), ElementsAre("How do you want to send the links?", "Email",
                                        "Text Message", "Copy Links", "Cancel"));
  saveArtefact("channel-sheet-three.png");
  ASSERT_TRUE(m_host->tapText("Email"));
  m_host->advance(0.5); // the sheet slides away first
  ASSERT_TRUE(waitForEvent("shared"));
  EXPECT_THAT(m_delegate->events,
              ElementsAre("start", "published a b.txt", "all published", "shared"));

  auto handed = DesktopRegistry::waitForMarker(mailMarker);
  ASSERT_TRUE(handed);
  EXPECT_EQ(*handed,
            "kalumomailto://qwe?subject=Kalumo.Disk%3A%20files%20shared%20with%20you"
            "&body=I%20am%20sharing%20these%20files%20with%20you%20on%20Kalumo.Disk%3A%0A%0A"
            "a%20b.txt%3A%20" +
                escapedLink(linkOf(*document)) + "%0A");
  m_host->advance(0.5);
  EXPECT_TRUE(KMAlertPanel::visiblePanels().empty());
  EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "earlier text");
}

TEST_F(ShareHandOverTest, TheRussianSheetNamesTheSameChannels) {
  setPreferredLocalesForTesting(std::vector<LocaleName>{{"ru", ""}});
  m_share->showShareActionSheetForFilesInView({file("doc.txt", "words")}, m_host->window());
  m_host->advance(0.5);
  EXPECT_THAT(shownTexts(),
              ElementsAre("Как отправить ссылки?", "Почта", "SMS", "Скопировать ссылки", "Отмена"));
  saveArtefact("channel-sheet-ru.png");
}

TEST_F(ShareHandOverTest, TheMessagingApplicationGetsTheLinksAsTheBody) {
  auto first = file("one.txt", "1");
  auto second = file("two%26more.txt", "2");
  m_share->shareFilesVia({first, second}, KAShareMethod::SMS);
  ASSERT_TRUE(waitForEvent("shared"));
  auto handed = DesktopRegistry::waitForMarker(messagesMarker);
  ASSERT_TRUE(handed);
  EXPECT_EQ(*handed, "sms:?body=one.txt%3A%20" + escapedLink(linkOf(*first)) +
                         "%0Atwo%26more.txt%3A%20" + escapedLink(linkOf(*second)) + "%0A");
  // The messaging application never says whether it sent anything.
  m_host->advance(5);
  EXPECT_EQ(m_delegate->count("shared"), 1u);
}

TEST_F(ShareHandOverTest, LinksNoApplicationTookGoToTheClipboard) {
  // The mail application's program is gone, though its desktop file stays.
  const std::string program = registry->path() + "/bin/test.Mail";
  std::filesystem::rename(program, program + ".away");
  auto document = file("doc.txt", "words");
  m_share->shareFilesVia({document}, KAShareMethod::Email);
  ASSERT_TRUE(waitForEvent("shared"));
  std::filesystem::rename(program + ".away", program);
  EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "doc.txt: " + linkOf(*document) + "\n");
  m_host->advance(0.5);
  EXPECT_NE(m_host->findViewWithText("The public links are on the clipboard."), nullptr);

  // A screen that is closing has nowhere to show a message from.
  UIPasteboard::generalPasteboard().setString("earlier text");
  m_delegate->presenter = nullptr;
  m_share->shareFilesVia({document}, KAShareMethod::SMS);
  ASSERT_TRUE(waitForEvent("shared", 2));
  EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "doc.txt: " + linkOf(*document) + "\n");
  EXPECT_FALSE(std::filesystem::exists(messagesMarker));
}

} // namespace
} // namespace kdisk::test
