#pragma once
// A screen on the headless host (virtual run clock, English texts) over a
// manager of its own that talks to a running kdisk-service as alice.
#include <filesystem>
#include <memory>

#include "ManagerFixture.h"
#include "platform/Localization.h"
#include "platform/RunLoop.h"
#include "uikit/KMAlertPanel.h"
#include "uikit/KMHeadlessHost.h"
#include "uikit/UIApplication.h"
#include "uikit/UIResponder.h"

namespace kdisk::test {

class ScreenServiceTest : public ManagerServiceTest {
 protected:
  void SetUp() override {
    setPreferredLocalesForTesting(std::vector<LocaleName>{{"en", ""}});
    UIApplication::sharedApplication().resetForTesting();
    m_host = std::make_unique<KMHeadlessHost>(1.0);
    ManagerServiceTest::SetUp();
  }
  void TearDown() override {
    if (auto* first = UIResponder::currentFirstResponder()) first->resignFirstResponder();
    for (auto& panel : KMAlertPanel::visiblePanels())
      panel->dismissWithClickedButtonIndexAnimated(panel->cancelButtonIndex(), KMAnimated::No);
    m_host.reset();
    RunLoop::main().advance(5);
    UIApplication::sharedApplication().resetForTesting();
    ManagerServiceTest::TearDown();
    setPreferredLocalesForTesting(std::nullopt);
  }

  // The folder as the service stores it.
  bool existsOnService(const std::string& relativePath) const {
    return std::filesystem::is_directory(aliceRoot() / relativePath) ||
           std::filesystem::is_regular_file(aliceRoot() / relativePath);
  }
  std::size_t servedCount(const std::string& method) {
    std::size_t n = 0;
    for (auto& served : m_service.faults().servedRequests()) n += served.method == method;
    return n;
  }
  void saveArtifact(const std::string& name) {
    const auto folder = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "screens";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(m_host->savePNG((folder / name).string()));
  }

  VirtualClock m_clock;
  std::unique_ptr<KMHeadlessHost> m_host;
};

}  // namespace kdisk::test
