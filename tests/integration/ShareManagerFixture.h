#pragma once
// A share manager over a manager of its own talking to kdisk-service as
// alice, on the headless host with the run clock virtual and English texts.
// Its delegate writes down what it hears.

#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "ManagerFixture.h"
#include "platform/Localization.h"
#include "platform/RunLoop.h"
#include "screens/sharing/KAShareManager.h"
#include "uikit/KMAlertPanel.h"
#include "uikit/KMHeadlessHost.h"
#include "uikit/UIApplication.h"
#include "uikit/UIPasteboard.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {

class RecordingShareDelegate : public KAShareManagerDelegate {
public:
  std::vector<std::string> events;
  std::shared_ptr<UIViewController> presenter = std::make_shared<UIViewController>();

  void shareManagerDidStartPublishingFiles(KAShareManager&) override { events.push_back("start"); }
  void shareManagerDidPublishFileWithURL(KAShareManager&, const URL& file) override {
    events.push_back("published " + file.lastPathComponent());
  }
  void shareManagerDidPublishAllFiles(KAShareManager&) override {
    events.push_back("all published");
  }
  void shareManagerDidFailToPublishFileWithURL(KAShareManager&, const URL& file) override {
    events.push_back("failed " + file.lastPathComponent());
  }
  void shareManagerDidStopPublishingFiles(KAShareManager&) override { events.push_back("stop"); }
  void shareManagerDidSuccessfullySharedFiles(KAShareManager&) override {
    events.push_back("shared");
  }
  std::shared_ptr<UIViewController>
  shareManagerViewControllerToShowCompose(KAShareManager&) override {
    return presenter;
  }
  std::size_t count(const std::string& event) const {
    return std::count(events.begin(), events.end(), event);
  }
  std::size_t countStartingWith(const std::string& prefix) const {
    return std::count_if(events.begin(), events.end(),
                         [&](auto& e) { return e.rfind(prefix, 0) == 0; });
  }
};

class ShareManagerTest : public ManagerServiceTest {
protected:
  void SetUp() override {
    setPreferredLocalesForTesting(std::vector<LocaleName>{{"en", ""}});
    UIApplication::sharedApplication().resetForTesting();
    m_host = std::make_unique<KMHeadlessHost>(1.0);
    ManagerServiceTest::SetUp();
    if (HasFatalFailure())
      return;
    m_share = KAShareManager::create(m_delegate, m_manager);
    UIPasteboard::generalPasteboard().setString("earlier text");
  }
  void TearDown() override {
    m_share.reset();
    for (auto& panel : KMAlertPanel::visiblePanels())
      panel->dismissWithClickedButtonIndexAnimated(panel->cancelButtonIndex(), KMAnimated::No);
    m_host.reset();
    RunLoop::main().advance(5);
    UIApplication::sharedApplication().resetForTesting();
    ManagerServiceTest::TearDown();
    setPreferredLocalesForTesting(std::nullopt);
  }

  // A file of alice's storage, put there with `content`; `path` is raw below "/disk/".
  std::shared_ptr<KMFileItem> file(const std::string& path, const std::string& content) {
    EXPECT_EQ(put("/disk/" + path, content).status, 201);
    return KMFile::fileItemWithURL(at("/disk/" + path));
  }

  // Runs `work` (a blocking call to the service) on another thread while the
  // main loop keeps the client's transfers moving.
  template <class Work> auto whileTurningTheLoop(Work work) {
    auto result = std::async(std::launch::async, std::move(work));
    RunLoop::main().runUntil(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return result.get();
  }

  void saveArtefact(const std::string& name) {
    const auto folder = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "sharing";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(m_host->savePNG((folder / name).string()));
  }

  // The texts on screen, a button's title once.
  std::vector<std::string> shownTexts() {
    auto texts = m_host->visibleTexts();
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    return texts;
  }

  bool waitForEvent(const std::string& event, std::size_t total = 1) {
    return RunLoop::main().runUntil([&] { return m_delegate->count(event) >= total; });
  }

  // The publish requests the service answered, file path → status.
  std::map<std::string, long> publishOutcomes(const std::vector<ServedRequest>& served) const {
    std::map<std::string, long> outcomes;
    for (auto& request : served)
      if (request.method == "POST")
        outcomes[request.target] = request.status;
    return outcomes;
  }

  VirtualClock m_clock;
  std::unique_ptr<KMHeadlessHost> m_host;
  std::shared_ptr<RecordingShareDelegate> m_delegate = std::make_shared<RecordingShareDelegate>();
  std::shared_ptr<KAShareManager> m_share;
};

} // namespace kdisk::test
