// The update checker against kdisk-service's update manifest: the request, the
// answer, the error codes, and the alert with its two answers on the headless
// host.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "UIKitTestSupport.h"
#include "platform/RunLoop.h"
#include "platform/URL.h"
#include "screens/settings/KMUpdateAlert.h"
#include "support/DesktopRegistry.h"
#include "support/ServiceProcess.h"
#include "uikit/KMAlertPanel.h"
#include "uikit/UIAlertView.h"
#include "uikit/UIApplication.h"
#include "uikit/UIViewController.h"
#include "updater/KLAutoUpdater.h"
#include "updater/KLUpdateOperation.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::test {
namespace {

// GIO reads the registry once per process.
DesktopRegistry& desktop() {
  static DesktopRegistry registry;
  return registry;
}

// Counts the checks and keeps the last one's outcome; the checks call it on
// their own threads.
class RecordingCallback : public KLAutoUpdaterCallback {
 public:
  void receivedUpdateDataDawnloadURLError(unsigned newBuildNumber, const std::optional<URL>& url,
                                          const std::optional<KMError>& error) override {
    std::lock_guard lock(m_mutex);
    ++m_calls;
    m_build = newBuildNumber;
    m_url = url;
    m_error = error;
    m_changed.notify_all();
  }
  // Waits for the `count`-th check to end.
  bool waitForCalls(int count) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_calls >= count; });
  }
  int calls() {
    std::lock_guard lock(m_mutex);
    return m_calls;
  }
  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_calls = 0;
  unsigned m_build = 0;
  std::optional<URL> m_url;
  std::optional<KMError> m_error;
};

std::size_t updateRequests(ServiceProcess& service) {
  std::size_t count = 0;
  for (auto& served : service.faults().servedRequests())
    if (served.target.starts_with("/update/")) ++count;
  return count;
}

std::vector<KMAlertPanel*> visibleAlerts() {
  std::vector<KMAlertPanel*> alerts;
  for (auto& panel : KMAlertPanel::visiblePanels())
    if (dynamic_cast<UIAlertView*>(panel.get())) alerts.push_back(panel.get());
  return alerts;
}

class UpdateCheckerTest : public UIKitTest {
 protected:
  void SetUp() override {
    m_marker = desktop().addApplication("org.example.Browser", "Browser", {"x-scheme-handler/http"});
    m_host->setRootViewController(std::make_shared<UIViewController>());
    m_host->advance(0.1);
  }

  bool startService(unsigned build) {
    ServiceOptions options;
    options.extraArguments = {"--update-build", std::to_string(build), "--update-url",
                              "http://127.0.0.1:9/kalumo-disk-" + std::to_string(build) + ".deb"};
    if (!m_service.start(options)) return false;
    m_updater = KLAutoUpdater::create(KMUpdateAlert::presenter());
    m_updater->setEndpointForTesting(m_service.endpoints().httpBaseURL + "/update/");
    return true;
  }

  void TearDown() override {
    for (auto& panel : KMAlertPanel::visiblePanels()) panel->dismissWithClickedButtonIndexAnimated(0, KMAnimated::No);
    m_host->advance(0.5);
  }

  static void returnToForeground() {
    UIApplication::sharedApplication().enterBackground();
    UIApplication::sharedApplication().enterForeground();
  }

  // Lets the alert reach the main thread and finish appearing.
  void settle() {
    RunLoop::main().runPending();
    m_host->advance(0.5);
  }

  void saveArtefact(const std::string& name) {
    const auto folder = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "screens";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(m_host->savePNG((folder / name).string()));
  }

  ServiceProcess m_service;
  std::shared_ptr<KLAutoUpdater> m_updater;
  std::shared_ptr<RecordingCallback> m_callback = std::make_shared<RecordingCallback>();
  std::string m_marker;
};

TEST_F(UpdateCheckerTest, TheRunningBuildInTheAnswerIsReportedButShowsNothing) {
  const unsigned running = KLAutoUpdater::runningBuildNumber();
  ASSERT_GT(running, 0u);
  ASSERT_TRUE(startService(running)) << m_service.lastError();

  m_updater->askForUpdate(m_callback, "release/1.20", "Kalumo Disk", running, 0);
  ASSERT_TRUE(m_callback->waitForCalls(1));
  settle();

  EXPECT_EQ(m_callback->m_build, running);
  ASSERT_TRUE(m_callback->m_url);
  EXPECT_EQ(m_callback->m_url->absoluteString(),
            "http://127.0.0.1:9/kalumo-disk-" + std::to_string(running) + ".deb");
  EXPECT_FALSE(m_callback->m_error);
  EXPECT_TRUE(visibleAlerts().empty());
  EXPECT_FALSE(m_updater->hasPendingUpdate());

  auto served = m_service.faults().servedRequests();
  auto request = std::find_if(served.begin(), served.end(),
                              [](auto& one) { return one.target.starts_with("/update/"); });
  ASSERT_NE(request, served.end());
  EXPECT_EQ(request->target, "/update/?app_name=Kalumo%20Disk&app_branch=release%2F1.20"
                             "&app_platform=iphoneos&build_number=" + std::to_string(running));
}

TEST_F(UpdateCheckerTest, ANewerBuildAsksOnceAndOKOpensTheDownloadWithTheDesktopHandler) {
  const unsigned newer = KLAutoUpdater::runningBuildNumber() + 1;
  ASSERT_TRUE(startService(newer)) << m_service.lastError();

  m_updater->askForUpdate(m_callback, "release", "kalumo-disk", 1, 5);
  ASSERT_TRUE(m_callback->waitForCalls(1));
  settle();
  ASSERT_EQ(visibleAlerts().size(), 1u);
  auto* alert = dynamic_cast<UIAlertView*>(visibleAlerts().front());
  EXPECT_EQ(alert->title(), "");
  EXPECT_EQ(alert->message(), kKLUpdateAlertMessage);
  EXPECT_EQ(alert->buttonTitleAtIndex(alert->cancelButtonIndex()), "Later");
  EXPECT_EQ(alert->buttonTitleAtIndex(alert->firstOtherButtonIndex()), "OK");
  saveArtefact("update-alert.png");

  // Back in the foreground while the alert is up: checked again, not asked again.
  returnToForeground();
  ASSERT_TRUE(m_callback->waitForCalls(2));
  settle();
  EXPECT_EQ(visibleAlerts().size(), 1u);
  EXPECT_EQ(updateRequests(m_service), 2u);

  ASSERT_TRUE(m_host->tapText("OK"));
  settle();
  EXPECT_TRUE(visibleAlerts().empty());
  EXPECT_FALSE(m_updater->hasPendingUpdate());
  auto opened = DesktopRegistry::waitForMarker(m_marker);
  ASSERT_TRUE(opened);
  EXPECT_NE(opened->find("kalumo-disk-" + std::to_string(newer) + ".deb"), std::string::npos);

  // "OK" does not stop the checks: the next foreground asks again.
  returnToForeground();
  ASSERT_TRUE(m_callback->waitForCalls(3));
  settle();
  EXPECT_EQ(visibleAlerts().size(), 1u);
}

TEST_F(UpdateCheckerTest, AfterLaterNoCheckRunsUntilAskedAgain) {
  const unsigned newer = KLAutoUpdater::runningBuildNumber() + 7;
  ASSERT_TRUE(startService(newer)) << m_service.lastError();
  m_updater->askForUpdate(m_callback, "release", "kalumo-disk", 1, 5);
  ASSERT_TRUE(m_callback->waitForCalls(1));
  settle();
  ASSERT_TRUE(m_host->tapText("Later"));
  settle();
  EXPECT_TRUE(visibleAlerts().empty());
  EXPECT_FALSE(m_updater->canDoRequest());

  returnToForeground();
  returnToForeground();
  settle();

  // A new question clears "Later"; its check is the second request of all.
  m_updater->askForUpdate(m_callback, "release", "kalumo-disk", 1, 5);
  ASSERT_TRUE(m_callback->waitForCalls(2));
  settle();
  EXPECT_EQ(m_callback->calls(), 2);
  EXPECT_EQ(updateRequests(m_service), 2u);
  EXPECT_EQ(visibleAlerts().size(), 1u);
  EXPECT_FALSE(DesktopRegistry::waitForMarker(m_marker, std::chrono::milliseconds(0)));
}

TEST(UpdateOperationTest, FailuresCarryTheirCodes) {
  TemporaryDirectory folder;
  const auto manifest = folder.file("manifest.xml");
  ServiceProcess service;
  ServiceOptions options;
  options.extraArguments = {"--update-manifest", manifest};
  ASSERT_TRUE(service.start(options)) << service.lastError();
  auto check = [&](bool cancelled) {
    auto operation = std::make_shared<KLUpdateOperation>("release", "kalumo-disk", 1, 0);
    operation->setEndpointForTesting(service.endpoints().httpBaseURL + "/update/");
    if (cancelled) operation->cancel();
    operation->start();
    return operation;
  };
  auto write = [&](const std::string& text) { std::ofstream(manifest) << text; };

  // No manifest: the service answers 404.
  auto failed = check(false);
  ASSERT_TRUE(failed->lastError());
  EXPECT_TRUE(failed->lastError()->is(kKLUpdateOperationErrorDomain, kKLUpdateOperationRequestFailed));
  EXPECT_EQ(failed->timeOutInSec(), kKLUpdateOperationDefaultTimeOut);
  auto cancelled = check(true);
  ASSERT_TRUE(cancelled->lastError());
  EXPECT_TRUE(cancelled->lastError()->is(kKLUpdateOperationErrorDomain, kKLUpdateOperationCancelled));

  for (const char* answer : {"<update><build_number>400</build_number></update>",
                             "<update><url>http://127.0.0.1/x</url></update>",
                             "<update><build_number>four</build_number><url>http://127.0.0.1/x</url></update>",
                             "not xml at all"}) {
    write(answer);
    auto bad = check(false);
    ASSERT_TRUE(bad->lastError()) << answer;
    EXPECT_TRUE(bad->lastError()->is(kKLUpdateOperationErrorDomain, kKLUpdateOperationBadAnswer)) << answer;
    EXPECT_FALSE(bad->url()) << answer;
  }

  write("<?xml version=\"1.0\"?>\n<u xmlns=\"urn:x\"><build_number> 401 </build_number>"
        "<url>http://127.0.0.1/k.deb</url></u>");
  auto good = check(false);
  EXPECT_FALSE(good->lastError());
  EXPECT_EQ(good->newBuildNumber(), 401u);
  ASSERT_TRUE(good->url());
  EXPECT_EQ(good->url()->absoluteString(), "http://127.0.0.1/k.deb");

  // Nobody listens any more: the transport's own error comes through.
  service.stop();
  auto unreachable = check(false);
  ASSERT_TRUE(unreachable->lastError());
  EXPECT_EQ(unreachable->lastError()->domain, webdav::kKMHTTPTransportErrorDomain);
}

}  // namespace
}  // namespace kdisk::test
