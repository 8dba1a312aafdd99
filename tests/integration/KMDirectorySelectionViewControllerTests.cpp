// The folder picker against kdisk-service: one answer from the first screen
// whatever the depth, dimmed file rows, and a folder made from the picker.
#include "BrowserFixture.h"
#include "screens/browsing/KMCreateDirectoryDialog.h"
#include "screens/browsing/KMDirectorySelectionViewController.h"
#include "uikit/UIToolbar.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

struct SelectionAnswers : KMDirectorySelectionViewControllerDelegate {
  void directorySelectionViewControllerDidSelectDirectoryWithURL(KMDirectorySelectionViewController& sender,
                                                                 const URL& url) override {
    senders.push_back(&sender);
    chosen.push_back(url.absoluteString());
  }
  void directorySelectionViewControllerDidCancel(KMDirectorySelectionViewController& sender) override {
    senders.push_back(&sender);
    ++cancels;
  }
  std::vector<KMDirectorySelectionViewController*> senders;
  std::vector<std::string> chosen;
  int cancels = 0;
};

class DirectorySelectionTest : public BrowserTest {
 protected:
  std::shared_ptr<KMDirectorySelectionViewController> showPicker() {
    auto picker = std::make_shared<KMDirectorySelectionViewController>(std::nullopt, m_manager);
    picker->setDelegate(m_answers);
    picker->setFileURL(*URL::fromString("file:///tmp/holiday.jpg"));
    m_navigation = std::make_shared<UINavigationController>(picker);
    m_host->setRootViewController(m_navigation);
    m_host->settle();
    waitUntilIdle(*picker);
    return picker;
  }
  KMDirectorySelectionViewController* topPicker() {
    return dynamic_cast<KMDirectorySelectionViewController*>(m_navigation->topViewController());
  }
  bool open(const std::string& name) {
    auto* before = topPicker();
    if (!m_host->tapText(name)) return false;
    m_host->advance(1);
    return topPicker() != before && waitUntilIdle(*topPicker());
  }
  std::shared_ptr<SelectionAnswers> m_answers = std::make_shared<SelectionAnswers>();
};

TEST_F(DirectorySelectionTest, DoneOnTheThirdLevelAnswersOnceFromTheFirstScreen) {
  for (const char* path : {"/disk/Alpha/", "/disk/Alpha/Beta/", "/disk/Alpha/Beta/Gamma/"})
    ASSERT_EQ(dav("MKCOL", path).status, 201);
  ASSERT_EQ(put("/disk/Alpha/a.txt", "a").status, 201);
  // An upload queued into the folder is not the picker's business.
  auto queued = std::make_shared<KMUploadFile>(folder("Alpha").appendingPathComponent("queued.png"));
  queued->setLocalURL(URL::fromString("file:///nowhere/queued.png"));
  queued->setSize(4);
  queued->setFailed(true);
  ASSERT_TRUE(m_storage->addUploadFiles({queued}).hasValue());

  auto picker = showPicker();
  EXPECT_EQ(picker->navigationItem().prompt(), std::optional<std::string>("Choose a folder to upload to"));
  EXPECT_EQ(picker->navigationItem().leftBarButtonItem(), nullptr);
  EXPECT_NE(picker->navigationItem().rightBarButtonItem(), nullptr) << "the plus button stays";
  ASSERT_NE(picker->toolbar(), nullptr);
  EXPECT_DOUBLE_EQ(CGRectGetMaxY(picker->tableView()->frame()), picker->toolbar()->frame().origin.y);
  EXPECT_DOUBLE_EQ(CGRectGetMaxY(picker->toolbar()->frame()), picker->view()->bounds().size.height);

  ASSERT_TRUE(open("Alpha"));
  auto* alpha = topPicker();
  EXPECT_EQ(alpha->navigationItem().title(), "Alpha");
  EXPECT_EQ(alpha->tableView()->numberOfSections(), 1);
  EXPECT_THAT(rowTitles(*alpha->tableView(), 0), ElementsAre("Beta", "a.txt"));
  ASSERT_TRUE(open("Beta"));
  ASSERT_TRUE(open("Gamma"));
  auto* gamma = topPicker();
  EXPECT_EQ(gamma->navigationItem().title(), "Gamma");
  EXPECT_EQ(m_navigation->viewControllers().size(), 4u);
  saveArtifact("directory_selection_gamma.png");

  ASSERT_TRUE(m_host->tapText("Done"));
  ASSERT_EQ(m_answers->chosen.size(), 1u);
  EXPECT_EQ(m_answers->senders, std::vector<KMDirectorySelectionViewController*>{picker.get()});
  EXPECT_EQ(m_answers->chosen[0], gamma->URL().absoluteString());
  EXPECT_NE(m_answers->chosen[0].find("/Alpha/Beta/Gamma"), std::string::npos);
  EXPECT_EQ(picker->fileURL()->absoluteString(), "file:///tmp/holiday.jpg");

  ASSERT_TRUE(m_host->tapText("Cancel"));
  EXPECT_EQ(m_answers->cancels, 1);
  EXPECT_EQ(m_answers->senders.back(), picker.get());
}

TEST_F(DirectorySelectionTest, AFilesOnlyFolderShowsDimmedRowsThatDoNotOpenAndCanBeChosen) {
  ASSERT_EQ(dav("MKCOL", "/disk/Papers/").status, 201);
  ASSERT_EQ(put("/disk/Papers/one.pdf", "1").status, 201);
  ASSERT_EQ(put("/disk/Papers/two.pdf", "22").status, 201);
  showPicker();
  ASSERT_TRUE(open("Papers"));
  auto* papers = topPicker();
  UITableView& table = *papers->tableView();
  ASSERT_THAT(rowTitles(table, 0), ElementsAre("one.pdf", "two.pdf"));
  auto cell = table.cellForRowAtIndexPath(row(0, 0));
  EXPECT_DOUBLE_EQ(cell->contentView().alpha(), 0.5);
  EXPECT_EQ(cell->selectionStyle(), UITableViewCellSelectionStyle::None);
  saveArtifact("directory_selection_files.png");

  ASSERT_TRUE(m_host->tapText("one.pdf"));
  m_host->advance(1);
  EXPECT_EQ(topPicker(), papers);
  EXPECT_EQ(m_navigation->presentedViewController(), nullptr);
  // Rows come back from reuse dimmed once, not twice.
  table.reloadData();
  m_host->advance(0.1);
  EXPECT_DOUBLE_EQ(table.cellForRowAtIndexPath(row(0, 1))->contentView().alpha(), 0.5);

  ASSERT_TRUE(m_host->tapText("Done"));
  EXPECT_EQ(m_answers->chosen, std::vector<std::string>{papers->URL().absoluteString()});
}

TEST_F(DirectorySelectionTest, AFolderMadeFromThePlusButtonClosesTheDialogAndIsListedOnceCreated) {
  ASSERT_EQ(dav("MKCOL", "/disk/Old/").status, 201);
  auto picker = showPicker();
  NotificationRecorder created({kKMKMWebDAVFileManagerDidCreateDirectory});
  picker->navigationItem().rightBarButtonItem()->performAction();
  m_host->advance(1);
  auto* presented = m_navigation->presentedViewController();
  ASSERT_NE(presented, nullptr);
  saveArtifact("directory_selection_new_folder.png");
  m_host->typeText("Fresh");
  m_host->pressReturn();
  m_host->advance(1);
  EXPECT_EQ(m_navigation->presentedViewController(), nullptr);
  ASSERT_TRUE(created.waitFor(kKMKMWebDAVFileManagerDidCreateDirectory, 1));
  ASSERT_TRUE(waitFor([&] { return rowTitles(*picker->tableView(), 0).size() == 2; }));
  EXPECT_THAT(rowTitles(*picker->tableView(), 0), ElementsAre("Fresh", "Old"));
  EXPECT_EQ(dav("PROPFIND", "/disk/Fresh/", "", {"Depth: 0"}).status, 207);
  EXPECT_TRUE(m_answers->senders.empty());
}

}  // namespace
}  // namespace kdisk::test
