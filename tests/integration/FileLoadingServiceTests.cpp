// The file loading screen against a running service: the manager downloads
// for real, the screen is on the headless host, the delayed start runs on the
// virtual clock.
#include <gmock/gmock.h>

#include <filesystem>

#include "ManagerFixture.h"
#include "foundation/KLApplicationLocale.h"
#include "platform/Bundle.h"
#include "screens/viewing/KMFileLoadingViewController.h"
#include "support/DesktopRegistry.h"
#include "uikit/KMAlertPanel.h"
#include "uikit/UIActivityIndicatorView.h"
#include "uikit/UIAlertView.h"
#include "uikit/UIApplication.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UILabel.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "graphics/UIGraphicsImageContext.h"
#include "graphics/UIImageRepresentation.h"
#include "uikit/KMHeadlessHost.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {
namespace {

// Bytes no viewer takes for text or a picture.
std::string binary(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; i += 7) bytes[i] = char(i % 251);
  return bytes;
}

std::string screenText(const char* key) { return KMLocalizedString(key, key, "KMFileLoadingViewController"); }

// What the screen showed when a progress report of its manager arrived.
struct Moment {
  int state;
  bool barShown;
  std::string progressText;
  double barFraction;
};

class FileLoadingServiceTest : public ManagerServiceTest {
 protected:
  // A desktop with no applications at all, read once per process by GIO.
  static void SetUpTestSuite() { registry = std::make_unique<DesktopRegistry>(); }
  static void TearDownTestSuite() { registry.reset(); }
  static inline std::unique_ptr<DesktopRegistry> registry;

  void SetUp() override {
    ManagerServiceTest::SetUp();
    if (HasFatalFailure()) return;
    UIApplication::sharedApplication().resetForTesting();
    m_host = std::make_unique<KMHeadlessHost>(1.0);
    m_navigation = std::make_shared<UINavigationController>(std::make_shared<UIViewController>());
    m_host->setRootViewController(m_navigation);
    m_host->settle();
  }
  void TearDown() override {
    m_screen.reset();
    m_navigation.reset();
    m_host.reset();
    RunLoop::main().advance(5);
    UIApplication::sharedApplication().resetForTesting();
    ManagerServiceTest::TearDown();
  }

  // Pushes a loading screen for `path` and records what it shows at each
  // progress report (the test observes after the screen, so it sees the result).
  void push(const std::string& path, std::optional<int> state = std::nullopt) {
    m_screen = KMFileLoadingViewController::initWithURLManager(at(path), m_manager);
    if (state) m_screen->setState(*state);
    m_navigation->pushViewControllerAnimated(m_screen, KMAnimated::No);
    m_host->settle();
    m_progressObservation = NotificationCenter::defaultCenter().addObserver(
        kKMKMWebDAVFileManagerDidGetPartialDataForFile, [this](const Notification&) {
          const double track = m_screen->greyBar()->frame().size.width;
          m_moments.push_back({m_screen->state(), !m_screen->progressBarView()->isHidden(),
                               m_screen->progressLabel()->text(), m_screen->blueBar()->frame().size.width / track});
          if (m_screen->state() == KMFileLoadingStateProgress && !m_progressShot)
            m_progressShot = saveAsShownNow(artefact("loading-progress.png"));
        });
  }

  // The window as it is, without letting queued work run first (the host's
  // snapshot would, and the download would be over by then).
  bool saveAsShownNow(const std::string& path) {
    m_host->window().layoutIfNeeded();
    UIGraphicsImageContext context(m_host->window().bounds().size, KMImageContextOpacity::Opaque, 1);
    m_host->window().render(context.context());
    auto image = context.image();
    auto bytes = UIImagePNGRepresentation(image.get());
    if (!bytes) return false;
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
    return bool(file);
  }

  bool waitForOutcome(std::size_t finished = 1) {
    return m_recorder.waitFor(
        {kKMKMWebDAVFileManagerDidDownloadFile, kKMKMWebDAVFileManagerDidFailToDownloadFile}, finished);
  }

  std::size_t servedGETs(const std::string& path) {
    std::size_t count = 0;
    for (auto& served : m_service.faults().servedRequests())
      if (served.method == "GET" && served.target == path) ++count;
    return count;
  }

  static std::string artefact(const std::string& name) {
    auto folder = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "viewing";
    std::filesystem::create_directories(folder);
    return (folder / name).string();
  }

  std::unique_ptr<KMHeadlessHost> m_host;
  VirtualClock m_clock;
  std::shared_ptr<UINavigationController> m_navigation;
  std::shared_ptr<KMFileLoadingViewController> m_screen;
  ObserverToken m_progressObservation;
  std::vector<Moment> m_moments;
  bool m_progressShot = false;
};

TEST_F(FileLoadingServiceTest, ASmallFileNeverShowsTheBarAndAnotherFilesProgressIsIgnored) {
  ASSERT_EQ(put("/disk/small.txt", std::string(40'000, 'a')).status, 201);
  ASSERT_EQ(put("/disk/other.bin", binary(3'000'000)).status, 201);
  push("/disk/small.txt");
  EXPECT_EQ(m_screen->state(), KMFileLoadingStateWaiting);
  EXPECT_TRUE(m_screen->activityIndicator()->isAnimating());
  EXPECT_TRUE(UIApplication::sharedApplication().isIdleTimerDisabled());
  EXPECT_EQ(m_screen->downloadingRequest(), nullptr);  // not before the delay
  ASSERT_TRUE(m_host->savePNG(artefact("loading-waiting.png")));

  // Someone else's large download reports progress while this screen waits.
  auto other = m_manager->startDownloadFileForURL(at("/disk/other.bin"));
  ASSERT_TRUE(waitForOutcome());
  // Reports may trail the outcome.
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidGetPartialDataForFile));
  m_recorder.drain();
  ASSERT_FALSE(m_moments.empty());
  for (const Moment& moment : m_moments) {
    EXPECT_EQ(moment.state, KMFileLoadingStateWaiting);
    EXPECT_FALSE(moment.barShown);
    EXPECT_EQ(moment.progressText, "");
  }
  EXPECT_EQ(servedGETs("/disk/small.txt"), 0u);

  m_moments.clear();
  m_host->advance(KMFileLoadingViewController::kDownloadStartDelay);
  ASSERT_TRUE(waitForOutcome(2));
  EXPECT_EQ(servedGETs("/disk/small.txt"), 1u);
  m_host->settle();
  for (const Moment& moment : m_moments) EXPECT_FALSE(moment.barShown);
  // A previewable file stays in state 0 for the browser to replace the screen.
  EXPECT_EQ(m_screen->state(), KMFileLoadingStateWaiting);
  EXPECT_EQ(m_screen->downloadingRequest(), nullptr);
  EXPECT_TRUE(m_storage->hasCachedFileForURL(at("/disk/small.txt")));
  EXPECT_EQ(m_screen->navigationItem().title(), "small.txt");
}

TEST_F(FileLoadingServiceTest, ALargeFileShowsItsProgressThenTheOpenInPanelWhenItCannotBePreviewed) {
  // Large enough that reports arrive while the transfer still runs.
  constexpr std::uint64_t kSize = 48'000'000;
  ASSERT_EQ(put("/disk/archive.bin", binary(kSize)).status, 201);
  push("/disk/archive.bin");
  m_host->advance(KMFileLoadingViewController::kDownloadStartDelay);
  ASSERT_TRUE(waitForOutcome());
  m_host->settle();

  const auto progress = std::find_if(m_moments.begin(), m_moments.end(),
                                     [](const Moment& m) { return m.state == KMFileLoadingStateProgress; });
  ASSERT_NE(progress, m_moments.end());
  EXPECT_TRUE(progress->barShown);
  EXPECT_THAT(progress->progressText,
              ::testing::EndsWith(" " + screenText("ProgressLabelText") + " " + LocalizedFileSizeStr(kSize)));
  EXPECT_GT(progress->barFraction, 0);
  EXPECT_LT(progress->barFraction, 1);
  EXPECT_TRUE(m_progressShot);

  EXPECT_EQ(m_screen->state(), KMFileLoadingStateCannotPreview);
  EXPECT_FALSE(m_screen->unknownFileView()->isHidden());
  EXPECT_TRUE(m_screen->progressBarView()->isHidden());
  EXPECT_EQ(m_screen->unknownFileViewTitleLabel()->text(), screenText("TitleLabelTextFailedToPreview"));
  auto right = m_screen->navigationItem().rightBarButtonItem();
  ASSERT_NE(right, nullptr);
  EXPECT_NE(right->image(), nullptr);
  EXPECT_TRUE(right->isEnabled());
  EXPECT_FALSE(UIApplication::sharedApplication().isIdleTimerDisabled());
  ASSERT_TRUE(m_host->savePNG(artefact("loading-cannot-preview.png")));
}

TEST_F(FileLoadingServiceTest, ACachedFileThatCannotBePreviewedOpensInStateThreeAndDownloadsNothing) {
  ASSERT_TRUE(m_storage->saveDataForURL("PK\x03\x04 not really a zip", at("/disk/old.zip")));
  m_service.faults().forgetServedRequests();
  push("/disk/old.zip", KMFileLoadingStateCannotPreview);
  m_host->advance(1);
  m_recorder.drain();
  EXPECT_EQ(m_screen->state(), KMFileLoadingStateCannotPreview);
  EXPECT_FALSE(m_screen->unknownFileView()->isHidden());
  EXPECT_FALSE(m_screen->activityIndicator()->isAnimating());
  EXPECT_EQ(m_screen->downloadingRequest(), nullptr);
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidStartDownloadFile), 0u);
  EXPECT_EQ(servedGETs("/disk/old.zip"), 0u);

  auto openIn = m_screen->navigationItem().rightBarButtonItem();
  ASSERT_NE(openIn, nullptr);
  ASSERT_TRUE(openIn->isEnabled());
  openIn->performAction();
  m_host->advance(0.5);
  auto panels = KMAlertPanel::visiblePanels();
  ASSERT_EQ(panels.size(), 1u);
  auto* alert = dynamic_cast<UIAlertView*>(panels.front().get());
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->message(), screenText("AttachCantShowAlertMessage"));
  alert->dismissWithClickedButtonIndexAnimated(alert->cancelButtonIndex(), KMAnimated::No);
}

TEST_F(FileLoadingServiceTest, ADownloadCutShortShowsTheFailurePanelAndReloadStartsAnew) {
  const std::string content = binary(300'000);
  ASSERT_EQ(put("/disk/report.bin", content).status, 201);
  ASSERT_TRUE(m_service.faults().cutResponseBodyAfter("GET", "/disk/report.bin", 100'000));
  push("/disk/report.bin");
  m_host->advance(KMFileLoadingViewController::kDownloadStartDelay);
  ASSERT_TRUE(waitForOutcome());
  m_host->settle();
  ASSERT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidFailToDownloadFile), 1u);
  EXPECT_EQ(m_screen->state(), KMFileLoadingStateFailed);
  EXPECT_FALSE(m_screen->failedFileView()->isHidden());
  EXPECT_TRUE(m_screen->progressBarView()->isHidden());
  EXPECT_NE(m_screen->failedFileViewTextLabel()->text().find(screenText("ReloadButtonTitle")), std::string::npos);
  EXPECT_EQ(m_screen->downloadingRequest(), nullptr);
  EXPECT_FALSE(UIApplication::sharedApplication().isIdleTimerDisabled());
  ASSERT_TRUE(m_host->savePNG(artefact("loading-failed.png")));

  auto reload = m_screen->navigationItem().rightBarButtonItem();
  ASSERT_NE(reload, nullptr);
  EXPECT_EQ(reload->title(), screenText("ReloadButtonTitle"));
  reload->performAction();
  EXPECT_EQ(m_screen->state(), KMFileLoadingStateWaiting);
  EXPECT_TRUE(m_screen->failedFileView()->isHidden());
  EXPECT_TRUE(m_screen->activityIndicator()->isAnimating());
  EXPECT_NE(m_screen->downloadingRequest(), nullptr);  // at once, no delay
  ASSERT_TRUE(waitForOutcome(2));
  m_host->settle();
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidDownloadFile), 1u);
  EXPECT_EQ(servedGETs("/disk/report.bin"), 2u);
  EXPECT_EQ(m_screen->state(), KMFileLoadingStateCannotPreview);
  EXPECT_EQ(fileContent(m_storage->fileURLForWebURL(at("/disk/report.bin"))->path()), content);
}

TEST_F(FileLoadingServiceTest, ARefusedDownloadShowsTheFailurePanelAndLeavingTheScreenCancelsARunningOne) {
  ASSERT_EQ(put("/disk/a.bin", "a").status, 201);
  ASSERT_TRUE(m_service.faults().failNext("GET", "/disk/a.bin", 500));
  push("/disk/a.bin");
  m_host->advance(KMFileLoadingViewController::kDownloadStartDelay);
  ASSERT_TRUE(waitForOutcome());
  m_host->settle();
  EXPECT_EQ(m_screen->state(), KMFileLoadingStateFailed);

  ASSERT_EQ(put("/disk/slow.bin", std::string(200'000, 's')).status, 201);
  ASSERT_TRUE(m_service.faults().stall("GET", "/disk/slow.bin", std::chrono::seconds(20)));
  m_navigation->popViewControllerAnimated(KMAnimated::No);
  push("/disk/slow.bin");
  m_host->advance(KMFileLoadingViewController::kDownloadStartDelay);
  auto running = m_screen->downloadingRequest();
  ASSERT_NE(running, nullptr);
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidStartDownloadFile, 2));
  ASSERT_TRUE(running->hasActiveConnection());
  m_navigation->popViewControllerAnimated(KMAnimated::No);
  m_host->settle();
  m_screen.reset();
  EXPECT_FALSE(running->hasActiveConnection());
  EXPECT_FALSE(UIApplication::sharedApplication().isIdleTimerDisabled());
}

}  // namespace
}  // namespace kdisk::test
