// The create-folder dialog typed into on the headless host, with the folders
// it names made by kdisk-service.
#include "ScreenServiceFixture.h"
#include "screens/browsing/KMCreateDirectoryDialog.h"
#include "uikit/UINavigationController.h"

namespace kdisk::test {
namespace {

struct DialogAnswers : KMCreateDirectoryDialogDelegate {
  std::vector<std::string> created;
  int cancels = 0;
  void createDirectoryDialogDidCreateDirectoryWithName(KMCreateDirectoryDialog&, const std::string& name) override {
    created.push_back(name);
  }
  void createDirectoryDialogDidCancel(KMCreateDirectoryDialog&) override { ++cancels; }
};

class CreateDirectoryDialogTest : public ScreenServiceTest {
 protected:
  std::shared_ptr<KMCreateDirectoryDialog> show() {
    auto dialog = std::make_shared<KMCreateDirectoryDialog>();
    dialog->setDelegate(m_answers);
    dialog->setParentDirURL(root());
    dialog->setFileManagerForTesting(m_manager);
    m_host->setRootViewController(std::make_shared<UINavigationController>(dialog));
    m_host->advance(0.5);
    return dialog;
  }
  // Waits until the service answered every MKCOL sent so far.
  void waitForCreations(std::size_t total) {
    ASSERT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidCreateDirectory,
                                    kKMKMWebDAVFileManagerDidFailToCreateDirectory},
                                   total));
    EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidFailToCreateDirectory), 0u);
  }
  std::shared_ptr<DialogAnswers> m_answers = std::make_shared<DialogAnswers>();
};

TEST_F(CreateDirectoryDialogTest, TypedNamesAreTrimmedAndBlankOnesGetTheDefaultName) {
  auto dialog = show();
  ASSERT_NE(dialog->folderName(), nullptr);
  EXPECT_TRUE(dialog->folderName()->isFirstResponder());
  EXPECT_DOUBLE_EQ(dialog->folderName()->frame().size.height, 41);
  EXPECT_EQ(dialog->folderName()->textInsets(), (UIEdgeInsets{0, 11, 0, 11}));
  EXPECT_EQ(dialog->folderName()->placeholder(), "New folder");
  EXPECT_FALSE(dialog->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::PortraitUpsideDown));
  saveArtifact("create_directory_dialog_empty.png");

  m_host->typeText("  ");
  m_host->typeText("Holiday");
  m_host->typeText(" \n ");
  saveArtifact("create_directory_dialog_typed.png");
  m_host->pressReturn();
  EXPECT_FALSE(dialog->folderName()->isFirstResponder());
  ASSERT_EQ(m_answers->created, std::vector<std::string>{"Holiday"});

  auto second = show();
  m_host->typeText("   ");
  ASSERT_TRUE(m_host->tapText("Done"));
  ASSERT_EQ(m_answers->created, (std::vector<std::string>{"Holiday", "New folder"}));
  waitForCreations(2);
  EXPECT_TRUE(existsOnService("Holiday"));
  EXPECT_TRUE(existsOnService("New folder"));
}

TEST_F(CreateDirectoryDialogTest, AnEditThatWouldPassTheLimitIsRefusedWhole) {
  auto dialog = show();
  const std::string start(250, 'x');
  m_host->typeText(start);
  m_host->typeText("йцуке!");  // would make 256 characters
  EXPECT_EQ(dialog->folderName()->text(), start);
  m_host->typeText("йцуке");  // exactly 255
  const std::string full = start + "йцуке";
  EXPECT_EQ(dialog->folderName()->text(), full);
  m_host->typeText("a");
  EXPECT_EQ(dialog->folderName()->text(), full);
  // Set by code past the limit, the name is cut to 255 characters, whole letters kept.
  EXPECT_EQ(KMCreateDirectoryDialog::folderNameForText(std::string(254, 'y') + "жж"), std::string(254, 'y') + "ж");
  dialog->folderName()->setText(std::string(300, 'y'));
  ASSERT_TRUE(m_host->tapText("Done"));
  waitForCreations(1);
  EXPECT_EQ(m_answers->created, (std::vector<std::string>{std::string(255, 'y')}));
  EXPECT_TRUE(existsOnService(std::string(255, 'y')));
}

TEST_F(CreateDirectoryDialogTest, ASlashIsRefusedWithAnAlertAndCancelSendsNothing) {
  auto dialog = show();
  m_service.faults().forgetServedRequests();
  m_host->typeText(" a/b ");
  ASSERT_TRUE(m_host->tapText("Done"));
  m_host->advance(0.5);
  EXPECT_NE(m_host->findViewWithText("Folder name contains invalid symbols."), nullptr);
  EXPECT_NE(m_host->findViewWithText("Disk"), nullptr);
  saveArtifact("create_directory_dialog_invalid.png");
  ASSERT_TRUE(m_host->tapText("OK"));
  m_host->advance(0.5);
  EXPECT_TRUE(dialog->folderName()->isFirstResponder());
  EXPECT_EQ(dialog->folderName()->text(), " a/b ");

  ASSERT_TRUE(m_host->tapText("Cancel"));
  EXPECT_EQ(m_answers->cancels, 1);
  EXPECT_TRUE(m_answers->created.empty());
  m_recorder.drain();
  EXPECT_EQ(servedCount("MKCOL"), 0u);
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidSendCreateDirectoryRequest), 0u);
  EXPECT_FALSE(existsOnService("a"));
}

}  // namespace
}  // namespace kdisk::test
