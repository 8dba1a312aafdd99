#include <gmock/gmock.h>

#include <filesystem>

#include "UIKitTestSupport.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIWindow.h"
#include "uikit/sample/KMSampleDetailViewController.h"
#include "uikit/sample/KMSampleListViewController.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

class KMSampleScreenTest : public UIKitTest {
 protected:
  void show(double scale) {
    m_host = std::make_unique<KMHeadlessHost>(scale);
    m_stack = KMSampleListViewController::makeSampleStack([this](const std::string& line) { m_report.push_back(line); });
    m_host->setRootViewController(m_stack);
  }
  std::shared_ptr<UINavigationController> m_stack;
  std::vector<std::string> m_report;
};

TEST_F(KMSampleScreenTest, ARowOpensItsScreenWhereTypingIsEchoedAndReported) {
  show(1);
  ASSERT_TRUE(m_host->tapText("Row 3"));
  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapText("Type a name"));
  m_host->typeText("hello");
  EXPECT_NE(m_host->findViewWithText("You typed: hello"), nullptr);
  m_host->pressReturn();
  EXPECT_THAT(m_report, ElementsAre("selected row 3", "row 3 text hello"));
  ASSERT_TRUE(m_host->tapText("Files"));  // back
  m_host->advance(0.5);
  EXPECT_NE(m_host->findViewWithText("Row 1"), nullptr);
}

TEST_F(KMSampleScreenTest, TheAlertButtonAsksAndReportsTheAnswer) {
  show(1);
  ASSERT_TRUE(m_host->tapText("Alert"));
  m_host->advance(0.3);
  ASSERT_TRUE(m_host->tapText("OK"));
  m_host->advance(0.3);
  EXPECT_THAT(m_report, ElementsAre("alert shown", "alert button OK"));
}

// Kept in the build tree for people to look at.
TEST_F(KMSampleScreenTest, RendersTheSampleScreensToPNGAtBothScales) {
  const std::filesystem::path folder = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "uikit";
  std::filesystem::create_directories(folder);
  for (double scale : {1.0, 2.0}) {
    show(scale);
    m_host->drag({{160, 400}, {160, 300}}, 1.0, 10);
    m_host->advance(1);
    const auto suffix = scale == 2 ? std::string("@2x") : std::string();
    ASSERT_TRUE(m_host->savePNG((folder / ("sample-list" + suffix + ".png")).string()));
    ASSERT_TRUE(m_host->tapText("Alert"));
    m_host->advance(0.3);
    ASSERT_TRUE(m_host->savePNG((folder / ("sample-alert" + suffix + ".png")).string()));
    ASSERT_TRUE(m_host->tapText("Cancel"));
    m_host->advance(0.3);
    ASSERT_TRUE(m_host->tapText("Row 5"));
    m_host->advance(0.5);
    m_host->tapText("Type a name");
    m_host->typeText("Report.pdf");
    ASSERT_TRUE(m_host->savePNG((folder / ("sample-detail" + suffix + ".png")).string()));
    auto shot = m_host->snapshot();
    EXPECT_EQ(shot->pixelWidth(), int(320 * scale));
    EXPECT_EQ(shot->pixelHeight(), int(480 * scale));
  }
}

}  // namespace
}  // namespace kdisk::test
