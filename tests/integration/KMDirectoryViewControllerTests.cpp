// The folder screen against kdisk-service: listings, thumbnails, navigation
// with real taps, the footers following the service's answers, search.
#include <set>

#include "BrowserFixture.h"
#include "NotificationRecorder.h"
#include "foundation/KLApplicationLocale.h"
#include "uikit/UISearchDisplayController.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMFile.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

using BrowserTestAtBothScales = AtBothScales<BrowserTest>;

TEST_P(BrowserTestAtBothScales, AFolderShowsFoldersThenFilesWithSizesDatesAndThumbnailsOfVisibleRowsOnly) {
  ASSERT_EQ(dav("MKCOL", "/disk/Docs/").status, 201);
  ASSERT_EQ(dav("MKCOL", "/disk/Tunes/").status, 201);
  ASSERT_EQ(put("/disk/notes.txt", std::string(922, 'n')).status, 201);
  std::vector<std::string> pictures;
  for (int i = 1; i <= 12; ++i) {
    pictures.push_back("photo" + std::to_string(i) + ".png");
    ASSERT_EQ(put("/disk/" + pictures.back(), picture(i)).status, 201);
  }
  ASSERT_TRUE(m_service.faults().forgetServedRequests());

  auto browser = show();
  UITableView& table = *browser->tableView();
  ASSERT_EQ(table.numberOfSections(), 1);
  ASSERT_EQ(table.numberOfRowsInSection(0), 15);
  // The store's order: folders, then files by name with digit runs by value.
  auto titles = rowTitles(table, 0);
  EXPECT_THAT(std::vector<std::string>(titles.begin(), titles.begin() + 4),
              ElementsAre("Docs", "Tunes", "notes.txt", "photo1.png"));
  auto notes = table.cellForRowAtIndexPath(row(0, 2));
  ASSERT_TRUE(notes && notes->detailTextLabel());
  EXPECT_THAT(notes->detailTextLabel()->text(), ::testing::StartsWith(LocalizedFileSizeStr(922) + "  "));
  expectSizeAndDateShowWhole(*browser, row(0, 2));
  EXPECT_EQ(notes->reuseIdentifier(), std::string("FileCell"));
  EXPECT_EQ(table.cellForRowAtIndexPath(row(0, 0))->reuseIdentifier(), std::string("DirectoryCell"));

  // Thumbnails arrive one request at a time for the visible pictures only.
  std::vector<std::string> visiblePictures;
  for (const auto& path : table.indexPathsForVisibleRows())
    if (path.row >= 3) visiblePictures.push_back(browser->contents()[path.row]->displayName());
  ASSERT_GE(visiblePictures.size(), 3u);
  ASSERT_LT(visiblePictures.size(), pictures.size());
  auto previewed = [&](const std::string& name) {
    return std::filesystem::exists(*m_storage->previewPathForWebURL(root().appendingPathComponent(name)));
  };
  ASSERT_TRUE(waitFor([&] { return previewed(visiblePictures.back()) && !browser->downloadingPreviewRequest(); }));
  m_host->advance(0.5);
  EXPECT_EQ(served("GET", "?preview"), visiblePictures.size());
  EXPECT_FALSE(previewed(pictures.back()));
  auto cell = table.cellForRowAtIndexPath(row(0, 3));
  ASSERT_TRUE(cell);
  EXPECT_NE(cell->imageView().image(), m_manager->iconForFileExtension(std::string("png")));
  saveArtifact("browser_folder.png");

  // Scrolling to the end fetches the rest as they come into view.
  m_host->drag({{160, 400}, {160, 60}}, 1.0, 20);
  m_host->advance(2);
  ASSERT_TRUE(waitFor([&] { return previewed(pictures.back()) && !browser->downloadingPreviewRequest(); }));
  EXPECT_LE(served("GET", "?preview"), pictures.size());

  // Thumbnails dropped from memory come back from the files on disk, decoded
  // in the background, without asking the service again.
  const std::size_t requests = served("GET", "?preview");
  NotificationCenter::defaultCenter().post(kKMMemoryWarningNotificationName);
  table.reloadData();
  m_host->settle();
  const auto pngIcon = m_manager->iconForFileExtension(std::string("png"));
  auto last = table.cellForRowAtIndexPath(table.indexPathsForVisibleRows().back());
  ASSERT_TRUE(last);
  EXPECT_TRUE(waitFor([&] { return last->imageView().image() != pngIcon; }));
  EXPECT_EQ(served("GET", "?preview"), requests);
}

TEST_P(BrowserTestAtBothScales, ThreeLevelsDownAndBackWithTapsWhileTheFooterFollowsTheService) {
  for (const char* path : {"/disk/Alpha/", "/disk/Alpha/Beta/", "/disk/Alpha/Beta/Gamma/"})
    ASSERT_EQ(dav("MKCOL", path).status, 201);
  ASSERT_EQ(put("/disk/Alpha/Beta/beta.txt", "b").status, 201);
  ASSERT_EQ(put("/disk/Alpha/Beta/Gamma/gamma.txt", "g").status, 201);
  KMSettings::mainSettings().setWasSuccessfullyAuthorized(true);
  NotificationRecorder auth({kKMXConnectionDidFailAuthenticateWithError});

  auto browser = show();
  ASSERT_TRUE(m_host->tapText("Alpha"));
  m_host->advance(1);
  ASSERT_EQ(m_navigation->viewControllers().size(), 2u);
  ASSERT_TRUE(waitUntilIdle(*top()));
  EXPECT_EQ(top()->navigationItem().title(), "Alpha");
  EXPECT_EQ(top()->navigationItem().leftBarButtonItem(), nullptr) << "settings only at the root";
  ASSERT_TRUE(m_host->tapText("Beta"));
  m_host->advance(1);
  auto* beta = top();
  ASSERT_TRUE(waitUntilIdle(*beta));
  EXPECT_THAT(rowTitles(*beta->tableView(), 0), ElementsAre("Gamma", "beta.txt"));

  // A slow answer: the loading footer until it comes.
  ASSERT_TRUE(m_service.faults().addLatency(std::chrono::milliseconds(1500), "PROPFIND", "/disk/Alpha/Beta/Gamma/", 1));
  ASSERT_TRUE(m_host->tapText("Gamma"));
  m_host->advance(1);
  auto* gamma = top();
  ASSERT_NE(gamma, beta);
  ASSERT_TRUE(waitFor([&] { return gamma->waitingRequest(); }));
  EXPECT_EQ(gamma->tableView()->tableFooterView().get(), gamma->loadingFooter());
  ASSERT_TRUE(waitUntilIdle(*gamma));
  EXPECT_THAT(rowTitles(*gamma->tableView(), 0), ElementsAre("gamma.txt"));
  EXPECT_EQ(gamma->tableView()->tableFooterView().get(), gamma->emptyFooter());

  // Back one level; a failing refresh keeps the cached rows under the failed footer.
  m_navigation->popViewControllerAnimated(KMAnimated::Yes);
  m_host->advance(1);
  ASSERT_EQ(top(), beta);
  // A listing still on its way when the app becomes active is not asked for
  // again: the fault must meet the activation's own request.
  ASSERT_TRUE(waitUntilIdle(*beta));
  ASSERT_TRUE(m_service.faults().failNext("PROPFIND", "/disk/Alpha/Beta/", 500));
  UIApplication::sharedApplication().resignActive();
  UIApplication::sharedApplication().becomeActive();
  ASSERT_TRUE(waitFor([&] { return beta->loadingState() == KMLoadingStateFailed; }));
  m_host->advance(0.5);
  EXPECT_THAT(rowTitles(*beta->tableView(), 0), ElementsAre("Gamma", "beta.txt"));
  EXPECT_EQ(beta->tableView()->tableFooterView().get(), beta->loadingFailedFooter());
  EXPECT_TRUE(m_host->findViewWithText(*beta->textLoadingFailed()));
  saveArtifact("browser_failed.png");

  // Back again; a refused token reaches the sign-out notification.
  m_navigation->popViewControllerAnimated(KMAnimated::Yes);
  m_host->advance(1);
  auto* alpha = top();
  ASSERT_TRUE(waitUntilIdle(*alpha));
  ASSERT_TRUE(m_service.faults().failNext("PROPFIND", "/disk/Alpha/", 401));
  UIApplication::sharedApplication().resignActive();
  UIApplication::sharedApplication().becomeActive();
  ASSERT_TRUE(auth.waitFor(kKMXConnectionDidFailAuthenticateWithError, 1));
  ASSERT_TRUE(waitFor([&] { return alpha->loadingState() == KMLoadingStateFailed; }));
  EXPECT_EQ(rowTitles(*alpha->tableView(), 0), std::vector<std::string>{"Beta"});
  m_navigation->popViewControllerAnimated(KMAnimated::Yes);
  m_host->advance(1);
  EXPECT_EQ(top(), browser.get());
  EXPECT_NE(browser->navigationItem().leftBarButtonItem(), nullptr);
  EXPECT_NE(browser->navigationItem().titleView(), nullptr) << "the root shows the logo";
}

TEST_F(BrowserTest, ReenteringAFolderShowsTheCacheFirstThenLoads) {
  ASSERT_EQ(dav("MKCOL", "/disk/Box/").status, 201);
  ASSERT_EQ(put("/disk/Box/one.txt", "1").status, 201);
  auto browser = show();
  ASSERT_TRUE(m_host->tapText("Box")) << ::testing::PrintToString(m_host->visibleTexts());
  m_host->advance(1);
  ASSERT_TRUE(waitUntilIdle(*top()));
  m_navigation->popViewControllerAnimated(KMAnimated::Yes);
  m_host->advance(1);

  ASSERT_EQ(put("/disk/Box/two.txt", "2").status, 201);
  ASSERT_TRUE(m_service.faults().stall("PROPFIND", "/disk/Box/", std::chrono::milliseconds(1500)));
  ASSERT_TRUE(m_host->tapText("Box"));
  m_host->advance(1);
  auto* box = top();
  ASSERT_NE(box, browser.get());
  ASSERT_TRUE(waitFor([&] { return !box->waitingFetch() && box->waitingRequest(); }));
  EXPECT_THAT(rowTitles(*box->tableView(), 0), ElementsAre("one.txt"));
  EXPECT_EQ(box->tableView()->tableFooterView().get(), box->loadingFooter());
  ASSERT_TRUE(waitUntilIdle(*box, 2));
  EXPECT_THAT(rowTitles(*box->tableView(), 0), ElementsAre("one.txt", "two.txt"));
  // Reset for a new sign-in, its table keeps no count of the old rows (laid
  // out with them, it asked for rows that were gone).
  box->reset();
  EXPECT_EQ(box->tableView()->numberOfRowsInSection(0), 0);
  m_host->drag({{160, 300}, {160, 100}}, 0.3);
}

TEST_P(BrowserTestAtBothScales, SearchIgnoresCaseAndAccentsKeepsTheOrderAndShowsNoUploads) {
  for (const char* name : {"Caf%C3%A9.txt", "cafeteria.pdf", "report.txt", "%D0%81%D0%B6%D0%B8%D0%BA.txt",
                           "%D0%B5%D0%B6%D0%B5%D0%B2%D0%B8%D0%BA%D0%B0.txt"})
    ASSERT_EQ(put(std::string("/disk/") + name, "x").status, 201);
  m_manager->reachabilityChanged(0);  // the queue waits, so the upload stays queued
  auto queued = KMUploadFile::uploadFileWithURL(root().appendingPathComponent("waiting.txt"));
  queued->setSize(100);
  ASSERT_TRUE(m_storage->addUploadFiles({queued}).hasValue());
  auto browser = show();
  ASSERT_EQ(browser->tableView()->numberOfSections(), 2);
  EXPECT_EQ(KMAnalytics::sharedInstance().recordedEvents().size(), 0u);

  UISearchBar& bar = browser->searchDisplay()->searchBar();
  ASSERT_TRUE(m_host->tapView(bar.searchField()));
  m_host->typeText("CAFE");
  m_host->advance(1);
  UITableView& results = browser->searchDisplay()->searchResultsTableView();
  EXPECT_EQ(browser->currentTableView(), &results);
  EXPECT_EQ(results.numberOfSections(), 1);
  auto inListingOrder = [&](std::set<std::string> names) {
    std::vector<std::string> ordered;
    for (const auto& item : browser->contents())
      if (names.count(item->displayName())) ordered.push_back(item->displayName());
    return ordered;
  };
  EXPECT_THAT(rowTitles(results, 0), ElementsAreArray(inListingOrder({"Café.txt", "cafeteria.pdf"})));
  EXPECT_FALSE(browser->hasActiveUploads());
  EXPECT_FALSE(browser->pullRefreshEnabled());
  // The folder's table behind the results counts the same rows: laid out
  // with the old counts it asked for rows that were gone.
  EXPECT_EQ(browser->tableView()->numberOfSections(), 1);
  EXPECT_EQ(browser->tableView()->numberOfRowsInSection(0), 2);
  saveArtifact("browser_search.png");

  for (int i = 0; i < 4; ++i) m_host->pressBackspace();
  m_host->typeText("еж");
  m_host->advance(0.5);
  EXPECT_THAT(rowTitles(results, 0), ElementsAreArray(inListingOrder({"Ёжик.txt", "ежевика.txt"})));

  // The queued upload finishing during the search lands in the results table's data.
  NotificationCenter::defaultCenter().post(kKMKMWebDAVFileManagerDidUploadFile, m_manager.get(),
                                           {{"URL", queued->URL().absoluteString()}});
  m_host->advance(0.5);
  EXPECT_TRUE(browser->uploadingFiles().empty());
  EXPECT_EQ(results.numberOfSections(), 1);
  EXPECT_EQ(rowTitles(results, 0).size(), 2u);

  ASSERT_TRUE(m_host->tapView(bar.cancelButton()));
  m_host->advance(1);
  EXPECT_FALSE(browser->filteredContents());
  EXPECT_TRUE(browser->pullRefreshEnabled());
  EXPECT_EQ(browser->tableView()->numberOfSections(), 1);
  EXPECT_EQ(browser->tableView()->numberOfRowsInSection(0), 6);
  const auto& events = KMAnalytics::sharedInstance().recordedEvents();
  EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const auto& e) { return e.name == kKMMVDiskSearch; }));
}

TEST_F(BrowserTest, PreviewsBackOffAfterFailuresAndRestNoWhileTheHostIsUnreachable) {
  for (int i = 1; i <= 3; ++i)
    ASSERT_EQ(put("/disk/p" + std::to_string(i) + ".png", picture(i)).status, 201);
  m_manager->reachabilityChanged(0);
  auto browser = show();
  EXPECT_FALSE(browser->downloadingPreviewRequest()) << "no preview work while unreachable";
  ASSERT_TRUE(m_service.faults().failNext("GET", "/disk/p*", 500, 3));
  m_manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable);
  browser->downloadNextPreview();
  // Each failure moves on to the next picture after the delay, which grows.
  ASSERT_TRUE(waitFor([&] { return browser->failedPreviewURLs().size() == 1 && !browser->downloadingPreviewRequest(); }));
  EXPECT_DOUBLE_EQ(browser->previewTimeoutInterval(), 1.25);
  m_host->advance(0.9);
  EXPECT_FALSE(browser->downloadingPreviewRequest()) << "nothing before the delay";
  m_host->advance(0.2);
  ASSERT_TRUE(waitFor([&] { return browser->failedPreviewURLs().size() == 2 && !browser->downloadingPreviewRequest(); }));
  EXPECT_DOUBLE_EQ(browser->previewTimeoutInterval(), 1.5625);
  m_host->advance(1.3);
  ASSERT_TRUE(waitFor([&] { return browser->failedPreviewURLs().size() == 3 && !browser->downloadingPreviewRequest(); }));
  m_host->advance(5);
  EXPECT_EQ(served("GET", "?preview"), 3u) << "a failed preview waits for the next scroll end";

  // Unreachable: the failure is remembered but nothing is scheduled.
  m_manager->reachabilityChanged(0);
  const double before = browser->previewTimeoutInterval();
  const URL other = m_manager->previewURLForFileURL(root().appendingPathComponent("elsewhere.png"));
  NotificationCenter::defaultCenter().post(kKMKMWebDAVFileManagerDidFailToDownloadPreview, m_manager.get(),
                                           {{"URL", other.absoluteString()}});
  EXPECT_TRUE(browser->failedPreviewURLs().count(other.absoluteString()));
  EXPECT_DOUBLE_EQ(browser->previewTimeoutInterval(), before);
  m_manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable);
  // A scroll that ends forgets the failures and tries again.
  m_host->drag({{160, 300}, {160, 310}}, 1.0, 10);
  m_host->advance(1);
  ASSERT_TRUE(waitFor([&] {
    return std::filesystem::exists(*m_storage->previewPathForWebURL(root().appendingPathComponent("p3.png")));
  }));
}

INSTANTIATE_TEST_SUITE_P(Screens, BrowserTestAtBothScales, ::testing::Values(1.0, 2.0), scaleName);

}  // namespace
}  // namespace kdisk::test
