// Sharing against kdisk-service on a desktop where no application takes mail
// or text messages, so the clipboard is the one channel.
#include <filesystem>

#include "ShareManagerFixture.h"
#include "support/DesktopRegistry.h"
#include "webdav/KMDirectory.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

class ShareManagerServiceTest : public ShareManagerTest {
protected:
  // GIO reads the registry once per process: an empty desktop for the program.
  static void SetUpTestSuite() { registry = std::make_unique<DesktopRegistry>(); }
  static void TearDownTestSuite() { registry.reset(); }
  static inline std::unique_ptr<DesktopRegistry> registry;

  std::string publicContent(const std::string& link) const {
    HttpCall call;
    call.url = link;
    call.caFile = m_service.endpoints().caCertificate;
    return perform(call).body;
  }
};

TEST_F(ShareManagerServiceTest, ThreeFilesGoOutAsOneTextOnlyAfterTheLastLinkWhateverTheOrder) {
  auto first = file("a.txt", "alpha");
  auto second = file("b.txt", "bravo");
  auto third = file("%D0%BE%D1%82%D1%87%D1%91%D1%82%201.txt", "report");
  auto held = m_service.faults().hold("POST", "/disk/a.txt");
  ASSERT_TRUE(held);

  m_share->shareFilesVia({first, second, third}, KAShareMethod::Pasteboard);
  EXPECT_TRUE(m_share->isSharingSomethingNow());
  ASSERT_TRUE(
      RunLoop::main().runUntil([&] { return m_delegate->countStartingWith("published") == 2; }));
  EXPECT_EQ(m_delegate->events.front(), "start");
  EXPECT_EQ(m_delegate->count("published b.txt") + m_delegate->count("published отчёт 1.txt"), 2u);

  // A link for a file outside the batch is not one of ours.
  NotificationCenter::defaultCenter().post(kKMKMWebDAVFileManagerDidPublishFile, m_manager.get(),
                                           {{"URL", at("/disk/elsewhere.txt").absoluteString()},
                                            {"locationURL", "https://127.0.0.1/public/x"}});
  m_host->advance(1);
  EXPECT_EQ(m_delegate->events.size(), 3u);
  EXPECT_EQ(m_share->publishingURLs().size(), 3u);
  EXPECT_FALSE(m_share->publishingURLs()[0].second.has_value());
  EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "earlier text");

  ASSERT_TRUE(m_service.faults().release(*held));
  ASSERT_TRUE(waitForEvent("shared"));
  ASSERT_EQ(m_delegate->events.size(), 6u);
  EXPECT_THAT(std::vector<std::string>(m_delegate->events.begin() + 3, m_delegate->events.end()),
              ElementsAre("published a.txt", "all published", "shared"));
  EXPECT_FALSE(m_share->isSharingSomethingNow());
  EXPECT_TRUE(m_share->publishingURLs().empty());

  // One line per file in selection order, each link serving its file.
  const std::string text = UIPasteboard::generalPasteboard().string().value_or("");
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1)
    lines.push_back(text.substr(start, end - start));
  ASSERT_EQ(lines.size(), 3u) << text;
  const std::vector<std::pair<std::string, std::string>> expected{
      {"a.txt", "alpha"}, {"b.txt", "bravo"}, {"отчёт 1.txt", "report"}};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::string prefix = expected[i].first + ": ";
    ASSERT_EQ(lines[i].rfind(prefix, 0), 0u) << lines[i];
    EXPECT_EQ(publicContent(lines[i].substr(prefix.size())), expected[i].second);
  }
  m_host->advance(0.5);
  EXPECT_NE(m_host->findViewWithText("The public links are on the clipboard."), nullptr);
  saveArtefact("links-copied.png");
}

TEST_F(ShareManagerServiceTest,
       TheSheetOffersTheClipboardAloneAndCancellingOrAFolderStartsNothing) {
  auto document = file("doc.txt", "words");
  ASSERT_TRUE(m_service.faults().forgetServedRequests());

  m_share->showShareActionSheetForFilesInView({document}, m_host->window());
  m_host->advance(0.5);
  EXPECT_THAT(shownTexts(),
              ElementsAre("How do you want to send the links?", "Copy Links", "Cancel"));
  ASSERT_TRUE(m_host->tapText("Cancel"));
  m_host->advance(0.5);
  EXPECT_TRUE(KMAlertPanel::visiblePanels().empty());

  // A folder anywhere in the selection is refused before any question.
  auto folder = KMDirectory::fileItemWithURL(at("/disk/Photos/"));
  m_share->showShareActionSheetForFilesInView({document, folder}, m_host->window());
  m_share->shareFilesVia({folder, document}, KAShareMethod::Pasteboard);
  m_host->advance(0.5);
  EXPECT_NE(m_host->findViewWithText("You can't share folders in this version of Kalumo.Disk."),
            nullptr);
  EXPECT_EQ(m_host->findViewWithText("Copy Links"), nullptr);
  EXPECT_FALSE(m_share->isSharingSomethingNow());

  m_recorder.drain();
  EXPECT_TRUE(m_delegate->events.empty());
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidPublishFile) +
                m_recorder.count(kKMKMWebDAVFileManagerDidFailWithPublishRequest),
            0u);
  EXPECT_TRUE(m_service.faults().servedRequests().empty());
  EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "earlier text");
}

TEST_F(ShareManagerServiceTest, TheClipboardChosenInTheSheetReceivesTheLink) {
  auto document = file("doc.txt", "words");
  m_share->showShareActionSheetForFilesInView({document}, m_host->window());
  m_host->advance(0.5);
  saveArtefact("channel-sheet.png");
  ASSERT_TRUE(m_host->tapText("Copy Links"));
  m_host->advance(0.5); // the sheet slides away first
  ASSERT_TRUE(waitForEvent("shared"));
  const std::string text = UIPasteboard::generalPasteboard().string().value_or("");
  ASSERT_EQ(text.rfind("doc.txt: ", 0), 0u) << text;
  EXPECT_EQ(publicContent(text.substr(9, text.size() - 10)), "words");
  EXPECT_TRUE(m_share->actionSheetShareActions().empty());
  EXPECT_TRUE(m_share->filesToShare().empty());
}

TEST_F(ShareManagerServiceTest, AFailedPublishAbortsTheBatchClosesTheOtherRequestsAndSaysSo) {
  auto first = file("a.txt", "alpha");
  auto second = file("b.txt", "bravo");
  auto third = file("c.txt", "charlie");
  ASSERT_TRUE(m_service.faults().forgetServedRequests());
  auto refused = m_service.faults().hold("POST", "/disk/b.txt", 500);
  ASSERT_TRUE(refused);
  ASSERT_TRUE(m_service.faults().hold("POST", "/disk/a.txt"));
  ASSERT_TRUE(m_service.faults().hold("POST", "/disk/c.txt"));

  m_share->shareFilesVia({first, second, third}, KAShareMethod::Pasteboard);
  // Every request reached the service before one of them fails.
  ASSERT_TRUE(
      whileTurningTheLoop([this] { return m_service.faults().servedRequestsWhenActive(3); }));
  ASSERT_TRUE(m_service.faults().release(*refused));
  ASSERT_TRUE(waitForEvent("stop"));
  EXPECT_THAT(m_delegate->events, ElementsAre("start", "failed b.txt", "stop"));
  EXPECT_FALSE(m_share->isSharingSomethingNow());
  EXPECT_TRUE(m_share->currentRequests().empty());

  auto served =
      whileTurningTheLoop([this] { return m_service.faults().servedRequestsWhenActive(0); });
  ASSERT_TRUE(served);
  EXPECT_THAT(publishOutcomes(*served),
              UnorderedElementsAre(std::pair<const std::string, long>("/disk/a.txt?publish", 499),
                                   std::pair<const std::string, long>("/disk/b.txt?publish", 500),
                                   std::pair<const std::string, long>("/disk/c.txt?publish", 499)));
  m_host->advance(0.5);
  EXPECT_NE(
      m_host->findViewWithText("Could not get a public link. Check the connection and try again."),
      nullptr);
  EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "earlier text");
  saveArtefact("publish-failed.png");
}

TEST_F(ShareManagerServiceTest, CancelWhilePublishingStopsTheBatchAndALateSecondBatchStillWorks) {
  auto document = file("doc.txt", "words");
  ASSERT_TRUE(m_service.faults().hold("POST", "/disk/doc.txt"));
  m_share->shareFilesVia({document}, KAShareMethod::Pasteboard);
  // One batch at a time: a second one is not mixed in.
  m_share->shareFilesVia({file("other.txt", "more")}, KAShareMethod::Pasteboard);
  EXPECT_EQ(m_share->publishingURLs().size(), 1u);
  ASSERT_TRUE(
      whileTurningTheLoop([this] { return m_service.faults().servedRequestsWhenActive(1); }));

  m_share->cancel();
  EXPECT_THAT(m_delegate->events, ElementsAre("start", "stop"));
  EXPECT_FALSE(m_share->isSharingSomethingNow());
  m_recorder.drain();
  m_host->advance(0.5);
  EXPECT_TRUE(KMAlertPanel::visiblePanels().empty()); // a cancel is no failure to report

  m_share->shareFilesVia({document}, KAShareMethod::Pasteboard);
  ASSERT_TRUE(waitForEvent("shared"));
  EXPECT_EQ(UIPasteboard::generalPasteboard().string().value_or("").rfind("doc.txt: ", 0), 0u);
}

} // namespace
} // namespace kdisk::test
