// The folder screen's upload rows and actions against kdisk-service: the
// uploads section, uploads finishing, the failed-upload sheet, group delete,
// the share refusal, the bar buttons and the sharing overlay.
#include "BrowserFixture.h"
#include "screens/viewing/KMUploadFileCell.h"
#include "screens/viewing/KACustomViewer.h"
#include "screens/viewing/KMFileLoadingViewController.h"
#include "uikit/KMAlertPanel.h"
#include "uikit/UIAlertView.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIPasteboard.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

class BrowserActionsTest : public BrowserTest {
 protected:
  // The queue pauses while the host is unreachable, so the uploads these tests
  // put in the store stay as they are and the notifications come from the test.
  void SetUp() override {
    BrowserTest::SetUp();
    if (m_manager) m_manager->reachabilityChanged(0);
  }
  std::shared_ptr<KMUploadFile> queue(const URL& directory, const std::string& name, std::uint64_t size) {
    auto upload = KMUploadFile::uploadFileWithURL(directory.appendingPathComponent(name));
    upload->setSize(size);
    EXPECT_TRUE(m_storage->addUploadFiles({upload}).hasValue());
    return upload;
  }
  void post(const char* name, const URL& url, Dictionary extra = {}) {
    extra["URL"] = url.absoluteString();
    NotificationCenter::defaultCenter().post(name, m_manager.get(), std::move(extra));
    m_host->advance(0.5);
  }
  // As the queue does: the store learns of the failure before anyone is told,
  // so a re-read of the store in the meantime agrees with the notification.
  void failUpload(const URL& url) {
    m_storage->markUploadFileWithURLFailedWithReason(url, true, std::nullopt);
    post(kKMKMWebDAVFileManagerDidFailToUploadFile, url);
  }
  void tapCircle(KMDirectoryViewController& browser, NSIndexPath path) {
    auto cell = std::dynamic_pointer_cast<KMGroupEditCell>(browser.tableView()->cellForRowAtIndexPath(path));
    ASSERT_TRUE(cell) << path.description();
    ASSERT_TRUE(m_host->tapView(cell->selectionButton()));
    m_host->advance(0.5);
  }
  UIAlertView* visibleAlert() {
    for (const auto& panel : KMAlertPanel::visiblePanels())
      if (auto* alert = dynamic_cast<UIAlertView*>(panel.get())) return alert;
    return nullptr;
  }
};

using BrowserActionsTestAtBothScales = AtBothScales<BrowserActionsTest>;

TEST_P(BrowserActionsTestAtBothScales, UploadsShowAboveAnEmptyFolderWithProgressAndFailureMatchedByURL) {
  ASSERT_EQ(dav("MKCOL", "/disk/Inbox/").status, 201);
  const URL inbox = folder("Inbox");
  auto first = queue(inbox, "holiday.mov", 50'000'000);
  auto second = queue(inbox, "scan.pdf", 2'000'000);
  auto browser = show(inbox);
  UITableView& table = *browser->tableView();
  ASSERT_EQ(table.numberOfSections(), 2);
  ASSERT_EQ(table.numberOfRowsInSection(0), 2);
  EXPECT_EQ(table.numberOfRowsInSection(1), 0);
  EXPECT_DOUBLE_EQ(browser->tableViewHeightForHeaderInSection(table, 0), 22);
  EXPECT_DOUBLE_EQ(browser->tableViewHeightForHeaderInSection(table, 1), 0);
  EXPECT_TRUE(UIApplication::sharedApplication().isIdleTimerDisabled());
  // Rows are matched by URL: progress for the second upload lands in its row.
  const int secondRow = browser->uploadingFiles()[0]->URL() == second->URL() ? 0 : 1;
  post(kKMKMWebDAVFileManagerDidSendBytesForUploadFile, second->URL(), {{"uploadedSize", std::int64_t(1'000'000)}});
  auto progress = std::dynamic_pointer_cast<KMUploadFileCell>(table.cellForRowAtIndexPath(row(0, secondRow)));
  ASSERT_TRUE(progress);
  EXPECT_EQ(progress->reuseIdentifier(), std::string("UploadCell"));
  EXPECT_EQ(progress->URL(), second->URL());
  EXPECT_EQ(progress->uploadedSize(), 1'000'000u);
  EXPECT_EQ(progress->state(), KMUploadFileCellStateUploading);
  auto waiting = std::dynamic_pointer_cast<KMUploadFileCell>(table.cellForRowAtIndexPath(row(0, 1 - secondRow)));
  ASSERT_TRUE(waiting);
  EXPECT_EQ(waiting->uploadedSize(), 0u) << "the other row is untouched";
  EXPECT_EQ(waiting->state(), KMUploadFileCellStateWaiting);
  failUpload(first->URL());
  auto failed = std::dynamic_pointer_cast<KMUploadFileCell>(table.cellForRowAtIndexPath(row(0, 1 - secondRow)));
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->state(), KMUploadFileCellStateFailed);
  EXPECT_EQ(failed->errorDescription(), KMLocalizedString("FailedToUploadFile", "", "KMDirectoryViewController"));
  EXPECT_TRUE(UIApplication::sharedApplication().isIdleTimerDisabled()) << "one upload still runs";
  saveArtifact("browser_uploads.png");

  // The failed row's sheet: cancel leaves it failed and forgets the row.
  ASSERT_TRUE(m_host->tapText("holiday.mov"));
  m_host->advance(0.5);
  ASSERT_EQ(browser->selectedIndexPath(), row(0, 1 - secondRow));
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("ActionSheetRetryUploadConfirmationButtonTitleCancel", "",
                                                "KMDirectoryViewController")));
  m_host->advance(0.5);
  EXPECT_FALSE(browser->selectedIndexPath());
  EXPECT_TRUE(browser->uploadingFiles()[1 - secondRow]->failed());
  EXPECT_FALSE(table.indexPathForSelectedRow());

  // Delete from the sheet: the row goes, the store forgets it.
  ASSERT_TRUE(m_host->tapText("holiday.mov"));
  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("ActionSheetRetryUploadConfirmationButtonTitleDelete", "",
                                                "KMDirectoryViewController")));
  m_host->advance(0.5);
  EXPECT_EQ(table.numberOfRowsInSection(0), 1);
  EXPECT_FALSE(m_storage->existUploadFileWithURL(first->URL()));
  // The last upload failing lets the device sleep again.
  failUpload(second->URL());
  EXPECT_FALSE(UIApplication::sharedApplication().isIdleTimerDisabled());
}

TEST_F(BrowserActionsTest, FinishedUploadsMoveIntoTheListingAndTheSelectionFollows) {
  ASSERT_EQ(dav("MKCOL", "/disk/Work/").status, 201);
  const URL work = folder("Work");
  auto a = queue(work, "a.txt", 10);
  auto m = queue(work, "m.txt", 10);
  auto z = queue(work, "z.txt", 10);
  auto browser = show(work);
  UITableView& table = *browser->tableView();
  ASSERT_EQ(table.numberOfRowsInSection(0), 3);
  auto rowOf = [&](const std::shared_ptr<KMUploadFile>& upload) {
    for (std::size_t i = 0; i < browser->uploadingFiles().size(); ++i)
      if (browser->uploadingFiles()[i]->URL() == upload->URL()) return int(i);
    return -1;
  };

  // The first item of an empty folder arrives while others remain: a reload.
  ASSERT_EQ(put("/disk/Work/m.txt", "0123456789").status, 201);
  post(kKMKMWebDAVFileManagerDidUploadFile, m->URL());
  EXPECT_EQ(table.numberOfSections(), 2);
  EXPECT_THAT(rowTitles(table, 1), ElementsAre("m.txt"));
  EXPECT_EQ(table.numberOfRowsInSection(0), 2);

  // Select the z upload and the listed file, then a finishes: the upload path
  // above it moves up, the file's path moves down behind the new a.txt.
  tapCircle(*browser, row(0, rowOf(z)));
  tapCircle(*browser, row(1, 0));
  const int zRowBefore = rowOf(z);
  post(kKMKMWebDAVFileManagerDidUploadFile, a->URL());
  EXPECT_THAT(rowTitles(table, 1), ElementsAre("a.txt", "m.txt"));
  EXPECT_THAT(browser->indexPathsForSelectedRows(), ElementsAre(row(0, rowOf(z)), row(1, 1)));
  EXPECT_LE(rowOf(z), zRowBefore);

  // The last upload finishes: one section, its selection dropped, the rest move up.
  post(kKMKMWebDAVFileManagerDidUploadFile, z->URL());
  EXPECT_EQ(table.numberOfSections(), 1);
  EXPECT_THAT(rowTitles(table, 0), ElementsAre("a.txt", "m.txt", "z.txt"));
  EXPECT_THAT(browser->indexPathsForSelectedRows(), ElementsAre(row(0, 1)));
  EXPECT_FALSE(UIApplication::sharedApplication().isIdleTimerDisabled());
}

TEST_P(BrowserActionsTestAtBothScales, GroupDeleteRemovesTheRowsAtOnceAndTheServerFollows) {
  ASSERT_EQ(dav("MKCOL", "/disk/Trash%20me/").status, 201);
  for (const char* name : {"keep.txt", "old1.txt", "old2.txt"})
    ASSERT_EQ(put(std::string("/disk/Trash%20me/") + name, "x").status / 100, 2) << name;
  const URL trash = folder("Trash me");
  auto other = queue(trash, "pending.bin", 5);
  auto browser = show(trash);
  UITableView& table = *browser->tableView();
  ASSERT_EQ(table.numberOfSections(), 2);

  tapCircle(*browser, row(1, 1));
  tapCircle(*browser, row(1, 2));
  EXPECT_TRUE(browser->isShowingGroupEditToolbar());
  auto right = browser->navigationItem().rightBarButtonItem();
  ASSERT_TRUE(right);
  EXPECT_EQ(right->title(), KMLocalizedString("Cancel", ""));
  EXPECT_EQ(browser->navigationItem().leftBarButtonItem(), nullptr);
  EXPECT_DOUBLE_EQ(browser->shareButton()->frame().origin.x, 5);
  EXPECT_DOUBLE_EQ(browser->trashButton()->frame().origin.x, browser->groupEditToolbar()->bounds().size.width - 70);
  for (int i = 0; i < 3; ++i) expectSizeAndDateShowWhole(*browser, row(1, i));
  saveArtifact("browser_group_edit.png");

  // The deletes are slow: a refresh is answered before them, with the items still in it.
  ASSERT_TRUE(m_service.faults().addLatency(std::chrono::milliseconds(800), "DELETE", "/disk/Trash%20me/*", 2));
  ASSERT_TRUE(m_host->tapView(*browser->trashButton()));
  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("Delete", "")));
  m_host->advance(1);
  EXPECT_THAT(rowTitles(table, 1), ElementsAre("keep.txt"));
  EXPECT_EQ(table.numberOfRowsInSection(0), 1) << "the unselected upload stays";
  EXPECT_FALSE(browser->isShowingGroupEditToolbar());
  EXPECT_EQ(m_storage->contentsOfDirectoryAtURLIncludeHidden(trash, true).size(), 1u);
  // A refresh answered before the deletes are through does not bring them back.
  browser->updateData();
  ASSERT_TRUE(waitUntilIdle(*browser, 2));
  EXPECT_THAT(rowTitles(table, 1), ElementsAre("keep.txt"));
  EXPECT_TRUE(std::filesystem::exists(aliceRoot() / "Trash me" / "old2.txt")) << "the service has not deleted yet";
  ASSERT_TRUE(waitFor([&] {
    return !std::filesystem::exists(aliceRoot() / "Trash me" / "old1.txt") &&
           !std::filesystem::exists(aliceRoot() / "Trash me" / "old2.txt");
  }));
  browser->updateData();
  ASSERT_TRUE(waitUntilIdle(*browser, 3));
  EXPECT_THAT(rowTitles(table, 1), ElementsAre("keep.txt"));

  // Items and an upload together while another upload remains: exactly those rows go.
  auto second = queue(trash, "second.bin", 5);
  browser->refetchAndReloadData();
  ASSERT_TRUE(waitUntilIdle(*browser, 3));
  ASSERT_EQ(table.numberOfRowsInSection(0), 2);
  const int secondRow = browser->uploadingFiles()[0]->URL() == second->URL() ? 0 : 1;
  tapCircle(*browser, row(0, secondRow));
  tapCircle(*browser, row(1, 0));
  browser->deleteSelectedItems();
  m_host->advance(1);
  EXPECT_EQ(table.numberOfSections(), 2);
  ASSERT_EQ(table.numberOfRowsInSection(0), 1);
  EXPECT_EQ(browser->uploadingFiles()[0]->URL(), other->URL());
  EXPECT_EQ(table.numberOfRowsInSection(1), 0);
  EXPECT_FALSE(m_storage->existUploadFileWithURL(second->URL()));

  // The only selected upload, the last one: the table reloads without the section.
  tapCircle(*browser, row(0, 0));
  browser->deleteSelectedItems();
  m_host->advance(1);
  EXPECT_EQ(table.numberOfSections(), 1);
  EXPECT_TRUE(browser->uploadingFiles().empty());
  EXPECT_EQ(table.tableFooterView().get(), browser->noItemsFooter());
}

TEST_P(BrowserActionsTestAtBothScales, SharingUploadsIsRefusedAndTheOverlayCoversTheScreen) {
  ASSERT_EQ(put("/disk/a.txt", "a").status, 201);
  auto upload = queue(root(), "b.txt", 5);
  auto browser = show();
  tapCircle(*browser, row(0, 0));
  ASSERT_TRUE(m_host->tapView(*browser->shareButton()));
  m_host->advance(0.5);
  auto* alert = visibleAlert();
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->message(), KMLocalizedString("You can't share files that uploading now.", "", "DiskCommon"));
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("OK", "")));
  m_host->advance(0.5);
  const auto& events = KMAnalytics::sharedInstance().recordedEvents();
  EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                          [](const auto& e) { return e.name == kKMMVDiskUploadingFileShare; }));
  EXPECT_TRUE(browser->isSelecting()) << "the refusal keeps the selection";

  // Sharing the file instead: the overlay covers the screen while its link is pending.
  tapCircle(*browser, row(0, 0));
  tapCircle(*browser, row(1, 0));
  auto held = m_service.faults().hold("POST", "/disk/a.txt");
  ASSERT_TRUE(held);
  ASSERT_TRUE(m_host->tapView(*browser->shareButton()));
  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("Copy to Pasteboard", "", "DiskCommon")));
  // The sheet slides away first; the batch starts when it is gone.
  for (int step = 0; step < 20 && !browser->isSharingSomethingNow(); ++step) m_host->advance(0.05);
  ASSERT_TRUE(browser->isSharingSomethingNow());
  ASSERT_TRUE(browser->splashScreenShadeView()->superview());
  EXPECT_LT(browser->splashScreenShadeView()->presentationAlpha(), 0.8);
  m_host->advance(0.4);
  EXPECT_DOUBLE_EQ(browser->splashScreenShadeView()->alpha(), 0.8);
  auto* popup = browser->activityPopupView();
  ASSERT_TRUE(popup);
  EXPECT_DOUBLE_EQ(popup->frame().origin.y, 110);
  EXPECT_DOUBLE_EQ(popup->frame().origin.x, std::floor((browser->view()->bounds().size.width - 150) / 2));
  EXPECT_FALSE(browser->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::LandscapeLeft));
  saveArtifact("browser_sharing.png");

  // Cancel in the bar gives the share up and keeps the selection.
  browser->navigationItem().rightBarButtonItem()->performAction();
  m_host->advance(0.5);
  EXPECT_FALSE(browser->isSharingSomethingNow());
  EXPECT_EQ(browser->splashScreenShadeView()->superview(), nullptr);
  EXPECT_EQ(browser->activityPopupView(), nullptr);
  EXPECT_THAT(browser->indexPathsForSelectedRows(), ElementsAre(row(1, 0)));
  ASSERT_TRUE(m_service.faults().release(*held));

  // Shared to the end: the links are on the clipboard and the selection goes.
  ASSERT_TRUE(m_host->tapView(*browser->shareButton()));
  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("Copy to Pasteboard", "", "DiskCommon")));
  m_host->advance(0.5);
  ASSERT_TRUE(waitFor([&] { return !browser->isSharingSomethingNow(); }));
  m_host->advance(1);
  EXPECT_NE(UIPasteboard::generalPasteboard().string().value_or("").find("a.txt: "), std::string::npos);
  EXPECT_FALSE(browser->isSelecting());
  EXPECT_FALSE(browser->cancelButtonAdded());
  EXPECT_NE(browser->navigationItem().leftBarButtonItem(), nullptr);
  EXPECT_EQ(browser->splashScreenShadeView()->superview(), nullptr);
  if (visibleAlert()) {
    ASSERT_TRUE(m_host->tapText(KMLocalizedString("OK", "")));
  }
  m_host->advance(0.5);
}

TEST_F(BrowserActionsTest, ASubfolderNeverShowsTheSettingsButton) {
  ASSERT_EQ(dav("MKCOL", "/disk/Sub/").status, 201);
  ASSERT_EQ(put("/disk/Sub/x.txt", "x").status / 100, 2);
  auto browser = show(folder("Sub"));
  EXPECT_EQ(browser->navigationItem().leftBarButtonItem(), nullptr);
  EXPECT_EQ(browser->navigationItem().titleView(), nullptr);
  EXPECT_EQ(browser->navigationItem().title(), "Sub");
  tapCircle(*browser, row(0, 0));
  browser->clearMultiselectionAnimated(KMAnimated::Yes);
  m_host->advance(0.5);
  EXPECT_EQ(browser->navigationItem().leftBarButtonItem(), nullptr);
  EXPECT_NE(browser->navigationItem().rightBarButtonItem(), nullptr);
}

TEST_F(BrowserActionsTest, FilesOpenInTheViewerOnceDownloadedAndTheLoadingScreenOtherwise) {
  ASSERT_EQ(put("/disk/readme.txt", "Hello from the disk\n").status, 201);
  ASSERT_EQ(put("/disk/blob.bin", std::string(64, '\x01')).status, 201);
  m_manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable);
  auto browser = show();
  const URL readme = root().appendingPathComponent("readme.txt");

  // Not cached: the loading screen downloads it and the viewer takes its place.
  ASSERT_TRUE(m_host->tapText("readme.txt"));
  m_host->advance(1);
  EXPECT_EQ(browser->currentPreviewURL(), readme);
  EXPECT_TRUE(dynamic_cast<KMFileLoadingViewController*>(m_navigation->topViewController()) ||
              dynamic_cast<KACustomViewer*>(m_navigation->topViewController()));
  ASSERT_TRUE(waitFor([&] { return dynamic_cast<KACustomViewer*>(m_navigation->topViewController()) != nullptr; }));
  m_host->advance(1);
  ASSERT_EQ(m_navigation->viewControllers().size(), 2u) << "the loading screen was replaced";
  EXPECT_EQ(browser->numberOfPreviewItemsInPreviewController(
                *dynamic_cast<KACustomViewer*>(m_navigation->topViewController())),
            1u);
  EXPECT_EQ(browser->previewControllerPreviewItemAtIndex(
                *dynamic_cast<KACustomViewer*>(m_navigation->topViewController()), 0),
            m_storage->fileURLForWebURL(readme));
  m_navigation->popViewControllerAnimated(KMAnimated::Yes);
  m_host->advance(1);

  // Cached and previewable: straight to the viewer.
  ASSERT_TRUE(m_host->tapText("readme.txt"));
  m_host->advance(1);
  EXPECT_TRUE(dynamic_cast<KACustomViewer*>(m_navigation->topViewController()));
  m_navigation->popViewControllerAnimated(KMAnimated::Yes);
  m_host->advance(1);

  // Cached but not previewable: the loading screen in its cannot-preview state.
  ASSERT_TRUE(m_storage->saveDataForURL(std::string(64, '\x01'), root().appendingPathComponent("blob.bin")));
  ASSERT_TRUE(m_host->tapText("blob.bin"));
  m_host->advance(1);
  auto* loading = dynamic_cast<KMFileLoadingViewController*>(m_navigation->topViewController());
  ASSERT_TRUE(loading);
  EXPECT_EQ(loading->state(), KMFileLoadingStateCannotPreview);
}

TEST_F(BrowserActionsTest, ThePlusButtonPresentsTheUploadDialogForThisFolder) {
  ASSERT_EQ(dav("MKCOL", "/disk/Camera/").status, 201);
  auto browser = show(folder("Camera"));
  browser->navigationItem().rightBarButtonItem()->performAction();
  m_host->advance(1);
  auto* modal = dynamic_cast<UINavigationController*>(m_navigation->presentedViewController());
  ASSERT_TRUE(modal);
  auto* dialog = dynamic_cast<KMUploadFileDialog*>(modal->topViewController());
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->dirURL(), folder("Camera"));
  dialog->cancelButtonTouched();
  m_host->advance(1);
  EXPECT_EQ(m_navigation->presentedViewController(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Screens, BrowserActionsTestAtBothScales, ::testing::Values(1.0, 2.0), scaleName);

}  // namespace
}  // namespace kdisk::test
