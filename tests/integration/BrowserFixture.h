#pragma once
// The folder screens on the headless host, over a manager of their own
// talking to a running kdisk-service as alice. The run clock is virtual;
// waits for the service turn the main loop on real time until the screen
// shows the outcome.
#include <filesystem>
#include <memory>
#include <string>

#include <gmock/gmock.h>

#include <cmath>

#include "HeadlessSession.h"
#include "NotificationRecorder.h"
#include "ServiceFixture.h"
#include "foundation/KLApplicationLocale.h"
#include "platform/Bundle.h"
#include "platform/NotificationCenter.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/CGContext.h"
#include "graphics/NSStringDrawing.h"
#include "graphics/UIGraphicsImageContext.h"
#include "graphics/UIImage.h"
#include "graphics/UIImageRepresentation.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/KMAnalytics.h"
#include "platform/RunLoop.h"
#include "screens/browsing/KMDirectoryViewController.h"
#include "settings/KMSettings.h"
#include "support/TemporaryDirectory.h"
#include "uikit/KMHeadlessHost.h"
#include "uikit/UIApplication.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIResponder.h"
#include "webdav/KMFile.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::test {

inline NSIndexPath row(int section, int item) { return NSIndexPath::indexPathForRowInSection(item, section); }

class BrowserTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    if (HasFatalFailure()) return;
    KMAnalytics::sharedInstance().clearRecordedEventsForTesting();
    webdav::setAdditionalCertificateAuthorityFile(m_service.endpoints().caCertificate.string());
    KMSettings::mainSettings().setToken(m_token);
    KMSettings::mainSettings().setLogin(std::string("alice"));
    m_session.open(root());
    m_manager->setPreviewMaxDimension(96);
    m_host = std::make_unique<KMHeadlessHost>(m_scale);
  }
  void TearDown() override { m_session.close(); }

  URL root() const { return *URL::fromString(m_service.endpoints().diskURL()); }
  URL folder(const std::string& name) const { return root().appendingPathComponent(name, true); }

  // A picture the service can make a preview of.
  static std::string picture(int seed) {
    UIGraphicsImageContext canvas({64, 48}, KMImageContextOpacity::Opaque, 1);
    CGContextFillRect(canvas.context(), CGRectMake(0, 0, 64, 48),
                      UIColor::colorWithRGB255(40 + seed * 50 % 200, 120, 200 - seed * 30 % 150));
    CGContextFillEllipseInRect(canvas.context(), CGRectMake(16, 8, 32, 32), UIColor::whiteColor());
    auto bytes = UIImagePNGRepresentation(canvas.image().get());
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
  }

  // Shows the root browser (or `url`) in a navigation stack and waits for
  // its first listing.
  std::shared_ptr<KMDirectoryViewController> show(std::optional<URL> url = std::nullopt) {
    auto browser = std::make_shared<KMDirectoryViewController>(url, m_manager);
    m_navigation = std::make_shared<UINavigationController>(browser);
    m_host->setRootViewController(m_navigation);
    m_host->settle();
    waitUntilIdle(*browser);
    return browser;
  }
  // Until the service has answered `answers` listings of the folder in all
  // and the screen has read the store since.
  bool waitUntilIdle(KMDirectoryViewController& browser, std::size_t answers = 1) {
    const std::string url = browser.URL().absoluteString();
    auto answered = [&] {
      std::size_t count = 0;
      m_listings.drain();
      for (const auto& seen : m_listings.all())
        if (seen.string("URL") == url) ++count;
      return count;
    };
    const bool idle = waitFor([&] {
      return answered() >= answers && !browser.waitingRequest() && !browser.waitingFetch() &&
             browser.loadingState() != KMLoadingStateLoading;
    });
    m_host->advance(0.5);
    return idle;
  }
  bool waitFor(const std::function<bool()>& done, double seconds = 20) {
    const bool held = RunLoop::main().runUntil(done, seconds);
    m_host->settle();
    return held;
  }
  KMDirectoryViewController* top() {
    return dynamic_cast<KMDirectoryViewController*>(m_navigation->topViewController());
  }
  std::vector<std::string> rowTitles(UITableView& table, int section) {
    std::vector<std::string> titles;
    for (int i = 0; i < table.numberOfRowsInSection(section); ++i) {
      auto cell = table.cellForRowAtIndexPath(row(section, i));
      titles.push_back(cell ? cell->textLabel().text() : "?");
    }
    return titles;
  }
  // A file row's second line shows its size and its date whole, in the
  // longest date style that fits, and ends before the selection circle.
  void expectSizeAndDateShowWhole(KMDirectoryViewController& browser, NSIndexPath path) {
    auto cell = std::dynamic_pointer_cast<KMGroupEditCell>(browser.tableView()->cellForRowAtIndexPath(path));
    ASSERT_TRUE(cell && cell->detailTextLabel()) << path.description();
    auto file = std::dynamic_pointer_cast<KMFile>(browser.contents().at(std::size_t(path.row)));
    ASSERT_TRUE(file && file->lastModified());
    m_host->settle();
    const UILabel& detail = *cell->detailTextLabel();
    const auto& dates = KMDirectoryViewController::userVisibleDateFormatter();
    std::vector<std::string> forms;
    for (KMDateStyle style : {KMDateStyle::Long, KMDateStyle::Medium, KMDateStyle::Short})
      forms.push_back(LocalizedFileSizeStr(file->size()) + "  " + dates.stringFromDate(*file->lastModified(), style));
    EXPECT_THAT(forms, ::testing::Contains(detail.text()));
    EXPECT_LE(sizeWithFont(detail.text(), detail.font()).width, detail.frame().size.width) << detail.text();
    // A longer form would have been cut.
    for (const auto& form : forms) {
      if (form == detail.text()) break;
      EXPECT_GT(sizeWithFont(form, detail.font()).width, detail.frame().size.width) << form;
    }
    if (cell->isInGroupEditMode()) {
      for (const UILabel* label : {&cell->textLabel(), cell->detailTextLabel()})
        EXPECT_LE(cell->contentView().frame().origin.x + CGRectGetMaxX(label->frame()),
                  cell->selectionCircleFrame().origin.x - KMGroupEditCell::kTextGap);
    }
  }
  // Named "name@2x.png" when drawn at scale 2.
  void saveArtifact(const std::string& name) {
    const auto dir = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "screens";
    std::filesystem::create_directories(dir);
    std::filesystem::path file = name;
    if (m_host->scale() == 2) file = file.stem().string() + "@2x" + file.extension().string();
    EXPECT_TRUE(m_host->savePNG((dir / file).string()));
  }
  std::size_t served(const std::string& method, const std::string& fragment) {
    std::size_t count = 0;
    for (const auto& request : m_service.faults().servedRequests())
      if (request.method == method && request.target.find(fragment) != std::string::npos) ++count;
    return count;
  }

  NotificationRecorder m_listings{
      {kKMKMWebDAVFileManagerDidReceiveFileList, kKMKMWebDAVFileManagerDidFailWithFileListRequest}};
  double m_scale = 1;
  VirtualClock m_clock;
  IsolatedHome m_home;
  HeadlessSession<> m_session;
  std::shared_ptr<KMWebDAVStorage>& m_storage = m_session.storage;
  std::shared_ptr<KMWebDAVFileManager>& m_manager = m_session.manager;
  std::unique_ptr<KMHeadlessHost>& m_host = m_session.host;
  std::shared_ptr<UINavigationController>& m_navigation = m_session.navigation;
};

// A test of `Fixture` run on a screen of scale 1 and of scale 2: the screens
// it draws are looked at in both densities.
template <typename Fixture>
class AtBothScales : public Fixture, public ::testing::WithParamInterface<double> {
 protected:
  void SetUp() override {
    this->m_scale = this->GetParam();
    Fixture::SetUp();
  }
};

inline std::string scaleName(const ::testing::TestParamInfo<double>& info) {
  return "Scale" + std::to_string(int(info.param));
}

}  // namespace kdisk::test
