#include <sys/stat.h>

#include <filesystem>

#include "PreviewTestFiles.h"
#include "UIKitTestSupport.h"
#include "platform/Bundle.h"
#include "platform/RunLoop.h"
#include "screens/viewing/KACustomViewer.h"
#include "support/DesktopRegistry.h"
#include "uikit/KMAlertPanel.h"
#include "uikit/UIActivityIndicatorView.h"
#include "uikit/UIAlertView.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UIControl.h"
#include "uikit/UINavigationController.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

std::string viewerText(const char* key, const char* fallback) {
  return KMLocalizedString(key, fallback, "KACustomViewer");
}

class KACustomViewerTest : public UIKitTest {
protected:
  // GIO reads the desktop's applications once per process.
  static void SetUpTestSuite() {
    registry = std::make_unique<DesktopRegistry>();
    readerMarker =
        registry->addApplication("org.example.TextReader", "Text Reader", {"text/plain"});
  }
  static void TearDownTestSuite() { registry.reset(); }
  static inline std::unique_ptr<DesktopRegistry> registry;
  static inline std::string readerMarker;

  // A shown panel keeps itself alive; none may outlive its test.
  ~KACustomViewerTest() override {
    for (auto& panel : KMAlertPanel::visiblePanels())
      panel->dismissWithClickedButtonIndexAnimated(panel->cancelButtonIndex(), KMAnimated::No);
  }

  std::filesystem::path file(const std::string& name, const std::string& bytes) {
    auto path = std::filesystem::path(m_files.path()) / name;
    writeFile(path, bytes);
    return path;
  }

  void show(const std::filesystem::path& path) {
    m_source->files = {URL::fileURLWithPath(path.string())};
    m_viewer = std::make_shared<KACustomViewer>();
    m_viewer->setDataSource(m_source);
    m_viewer->setCurrentPreviewItemIndex(0);
    m_viewer->setPhotoLibrary(PhotoLibrary({m_album.string()}));
    m_host->setRootViewController(std::make_shared<UINavigationController>(m_viewer));
    m_host->settle();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return m_viewer->isShowingContent(); }, 30));
    m_host->settle();
  }

  // The panel on top: its button titles.
  static std::vector<std::string> panelButtons() {
    auto panels = KMAlertPanel::visiblePanels();
    std::vector<std::string> titles;
    if (!panels.empty())
      for (int index = 0; index < panels.back()->numberOfButtons(); ++index)
        titles.push_back(panels.back()->buttonTitleAtIndex(index));
    return titles;
  }
  static std::string alertMessage() {
    auto panels = KMAlertPanel::visiblePanels();
    auto* alert = panels.empty() ? nullptr : dynamic_cast<UIAlertView*>(panels.back().get());
    return alert ? alert->message() : std::string();
  }
  void tapShareButton() {
    m_viewer->shareButton()->performAction();
    m_host->advance(0.5);
  }
  void saveAndWait() {
    tapShareButton();
    // The button's own event, not a tap: the host would let the save finish
    // before the state in between could be seen.
    UIView* shown = m_host->findViewWithText(viewerText("Save to the gallery", "Сохранить в галерею"));
    while (shown && !dynamic_cast<UIControl*>(shown)) shown = shown->superview();
    auto* save = dynamic_cast<UIControl*>(shown);
    ASSERT_NE(save, nullptr);
    save->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_TRUE(m_viewer->saveSpinner()->isAnimating());
    EXPECT_FALSE(m_viewer->shareButton()->isEnabled());
    ASSERT_TRUE(
        RunLoop::main().runUntil([&] { return !m_viewer->saveSpinner()->isAnimating(); }, 30));
    m_host->advance(0.5);
    EXPECT_TRUE(m_viewer->shareButton()->isEnabled());
  }

  TemporaryDirectory m_files;
  std::filesystem::path m_album = std::filesystem::path(m_files.path()) / "Pictures";
  std::shared_ptr<FileList> m_source = std::make_shared<FileList>();
  std::shared_ptr<KACustomViewer> m_viewer;
};

TEST_F(KACustomViewerTest, OnlyPicturesTheAlbumTakesOfferSavingToTheGallery) {
  for (const char* name : {"a.jpg", "b.JPEG", "c.png", "d.Gif"})
    EXPECT_TRUE(
        KACustomViewer::canSaveToTheGallary(*URL::fromString(std::string("file:///tmp/") + name)))
        << name;
  for (const char* name : {"e.webp", "f.pdf", "g", "jpg"})
    EXPECT_FALSE(
        KACustomViewer::canSaveToTheGallary(*URL::fromString(std::string("file:///tmp/") + name)))
        << name;

  show(file("photo.jpg", jpegBytes(300, 200)));
  tapShareButton();
  const std::string cancel = KMLocalizedString("Cancel", "Отмена");
  EXPECT_THAT(panelButtons(), ElementsAre(viewerText("Save to the gallery", "Сохранить в галерею"),
                                          viewerText("Open in...", "Открыть в..."), cancel));
  EXPECT_EQ(KMAlertPanel::visiblePanels().back()->tag(), KACustomViewer::kPictureSheetTag);
  ASSERT_TRUE(m_host->savePNG(
      (std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "viewing" / "viewer-share-sheet.png")
          .string()));
  ASSERT_TRUE(m_host->tapText(cancel));
  m_host->advance(0.5);

  show(file("notes.txt", "a few words\n"));
  tapShareButton();
  EXPECT_THAT(panelButtons(), ElementsAre(viewerText("Open in...", "Открыть в..."), cancel));
  EXPECT_EQ(KMAlertPanel::visiblePanels().back()->tag(), KACustomViewer::kDocumentSheetTag);
}

TEST_F(KACustomViewerTest, OpenInListsTheApplicationsOfTheTypeAndStartsTheChosenOneWithTheFile) {
  const auto notes = file("notes.txt", "a few words\n");
  show(notes);
  tapShareButton();
  ASSERT_TRUE(m_host->tapText(viewerText("Open in...", "Открыть в...")));
  m_host->advance(0.5);
  EXPECT_THAT(panelButtons(), ElementsAre("Text Reader", KMLocalizedString("Cancel", "Отмена")));
  ASSERT_TRUE(m_host->tapText("Text Reader"));
  m_host->advance(0.5);
  auto argument = DesktopRegistry::waitForMarker(readerMarker);
  ASSERT_TRUE(argument.has_value());
  EXPECT_NE(argument->find(notes.filename().string()), std::string::npos) << *argument;
  EXPECT_TRUE(KMAlertPanel::visiblePanels().empty());
}

TEST_F(KACustomViewerTest, APictureNoApplicationOpensGivesTheCannotShowAlert) {
  show(file("photo.png", pngBytes(100, 100)));
  tapShareButton();
  ASSERT_TRUE(m_host->tapText(viewerText("Open in...", "Открыть в...")));
  m_host->advance(0.5);
  EXPECT_EQ(alertMessage(),
            KMLocalizedString("AttachCantShowAlertMessage", "", "KMFileLoadingViewController"));
}

TEST_F(KACustomViewerTest, SavingACopyNeverReplacesAPictureOfTheSameName) {
  std::filesystem::create_directories(m_album);
  writeFile(m_album / "photo.jpg", "the user's own photo");
  const std::string picture = jpegBytes(300, 200);
  show(file("photo.jpg", picture));
  saveAndWait();
  saveAndWait();
  EXPECT_TRUE(alertMessage().empty());
  std::ifstream kept(m_album / "photo.jpg", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "the user's own photo");
  for (const char* copy : {"photo (1).jpg", "photo (2).jpg"}) {
    std::ifstream in(m_album / copy, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), picture) << copy;
  }
}

TEST_F(KACustomViewerTest, SavingIntoAMissingOrUnwritableAlbumShowsTheFailureAlert) {
  show(file("photo.jpg", jpegBytes(300, 200)));
  saveAndWait();
  const std::string failure = viewerText("Failed to save the picture in the gallery",
                                         "Не удалось сохранить картинку в галерею");
  EXPECT_EQ(alertMessage(), failure);
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("OK", "OK")));
  m_host->advance(0.5);

  // A file where the folder should be cannot take pictures either.
  writeFile(m_album, "not a folder");
  saveAndWait();
  EXPECT_EQ(alertMessage(), failure);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(m_files.path()) / "Pictures (1)"));
}

} // namespace
} // namespace kdisk::test
