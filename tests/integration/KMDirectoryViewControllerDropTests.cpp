// Files dragged from the desktop onto a folder screen, through the window's
// drop entry the GTK host calls, arriving on kdisk-service.
#include <algorithm>
#include <filesystem>

#include "BrowserFixture.h"
#include "uikit/KMAlertPanel.h"
#include "uikit/UIAlertView.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

UIAlertView* visibleAlert() {
  for (const auto& panel : KMAlertPanel::visiblePanels())
    if (auto* alert = dynamic_cast<UIAlertView*>(panel.get())) return alert;
  return nullptr;
}

// What the host is told about keeping the desktop awake, while it lasts.
struct KeepAwakeRecorder {
  std::vector<bool> calls;
  KeepAwakeRecorder() {
    UIApplication::sharedApplication().setIdleTimerHandler([this](bool on) { calls.push_back(on); });
  }
  ~KeepAwakeRecorder() { UIApplication::sharedApplication().setIdleTimerHandler(nullptr); }
};

using BrowserDropTestAtBothScales = AtBothScales<BrowserTest>;

TEST_P(BrowserDropTestAtBothScales, FilesDroppedOnAFolderArriveThereOnceUnderTheirNamesAndFoldersAreRefused) {
  ASSERT_EQ(dav("MKCOL", "/disk/Docs/").status, 201);
  const fs::path report = scratchFile("report 2026.pdf", 300 * 1024);
  const fs::path notes = scratchFile("notes.txt", 1200);
  const fs::path album = report.parent_path() / "Album";
  fs::create_directories(album);
  KeepAwakeRecorder keptAwake;
  auto browser = show(folder("Docs"));

  // Onto the navigation bar: the stack's visible folder takes them.
  auto& window = m_host->window();
  ASSERT_EQ(window.fileDropTargetAtPoint({160, 40}), browser.get());
  EXPECT_TRUE(window.dropFilesAtPoint(
      {160, 40}, {URL::fileURLWithPath(report.string()), URL::fileURLWithPath(album.string()),
                  URL::fileURLWithPath(notes.string()), *URL::fromString("sftp://host/remote.txt"),
                  URL::fileURLWithPath((report.parent_path() / "gone.txt").string())}));
  m_host->advance(0.5);
  auto* alert = visibleAlert();
  ASSERT_TRUE(alert);
  EXPECT_THAT(alert->message(), HasSubstr("“Album”"));
  EXPECT_THAT(alert->message(), HasSubstr("“remote.txt”, “gone.txt”"));
  saveArtifact("browser_drop_refused.png");
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("OK", "")));

  ASSERT_TRUE(waitFor([&] {
    return fs::exists(aliceRoot() / "Docs" / "notes.txt") && browser->uploadingFiles().empty() &&
           !browser->hasActiveUploads();
  }));
  auto listed = [&] {
    auto titles = rowTitles(*browser->tableView(), 0);
    return std::count(titles.begin(), titles.end(), "notes.txt") == 1 &&
           std::count(titles.begin(), titles.end(), "report 2026.pdf") == 1;
  };
  EXPECT_TRUE(waitFor(listed));
  EXPECT_EQ(fileContent(aliceRoot() / "Docs" / "report 2026.pdf"), fileContent(report));
  EXPECT_EQ(fileContent(aliceRoot() / "Docs" / "notes.txt"), fileContent(notes));
  EXPECT_EQ(served("PUT", "/disk/Docs/report%202026.pdf"), 1u);
  EXPECT_EQ(served("PUT", "/disk/Docs/notes.txt"), 1u);
  EXPECT_FALSE(fs::exists(aliceRoot() / "Docs" / "Album"));
  // The desktop stayed awake while they went, and may sleep again.
  ASSERT_FALSE(keptAwake.calls.empty());
  EXPECT_TRUE(keptAwake.calls.front());
  EXPECT_FALSE(keptAwake.calls.back());

  // Folders alone: nothing taken. A modal screen over the folder takes no drop.
  EXPECT_FALSE(window.dropFilesAtPoint({160, 200}, {URL::fileURLWithPath(album.string())}));
  m_host->advance(0.5);
  ASSERT_TRUE(visibleAlert());
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("OK", "")));
  browser->navigationItem().rightBarButtonItem()->performAction();
  m_host->advance(1);
  ASSERT_TRUE(m_navigation->presentedViewController());
  EXPECT_EQ(window.fileDropTargetAtPoint({160, 200}), nullptr);
  EXPECT_FALSE(window.dropFilesAtPoint({160, 200}, {URL::fileURLWithPath(notes.string())}));
  EXPECT_EQ(served("PUT", "/disk/Docs/notes"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Screens, BrowserDropTestAtBothScales, ::testing::Values(1.0, 2.0), scaleName);

}  // namespace
}  // namespace kdisk::test
