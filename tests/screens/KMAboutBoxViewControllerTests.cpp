// The about box: its texts from the bundle and the executable's date, its
// rows by interface language, and its links in the in-application browser.
#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <filesystem>

#include "UIKitTestSupport.h"
#include "foundation/KLApplicationEnvironment.h"
#include "platform/KMAnalytics.h"
#include "platform/Localization.h"
#include "screens/auth/KMWebController.h"
#include "screens/settings/KMAboutBoxViewController.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"

namespace kdisk::test {
namespace {

class KMAboutBoxViewControllerTest : public UIKitTest {
protected:
  KMAboutBoxViewControllerTest() {
    m_bundleFolder.write("Info.plist",
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                         "<key>CFBundleShortVersionString</key><string>207</string>"
                         "<key>CFBundleVersion</key><string>1234</string></dict></plist>");
    m_bundleFolder.write("kalumo-disk", "#!");
    std::tm built{};
    built.tm_year = 2026 - 1900, built.tm_mon = 2, built.tm_mday = 5, built.tm_hour = 12;
    const std::time_t when = std::mktime(&built);
    const utimbuf times{when, when};
    ::utime(m_bundleFolder.file("kalumo-disk").c_str(), &times);
    KMAnalytics::sharedInstance().clearRecordedEventsForTesting();
  }
  ~KMAboutBoxViewControllerTest() override { setPreferredLocalesForTesting(std::nullopt); }

  KMAboutBoxViewController& show(const std::string& language) {
    setPreferredLocalesForTesting(std::vector<LocaleName>{{language, ""}});
    m_screen = std::make_shared<KMAboutBoxViewController>(
        Bundle(m_bundleFolder.path()), m_bundleFolder.file("kalumo-disk"), language);
    m_navigation = std::make_shared<UINavigationController>(m_screen);
    m_host->setRootViewController(m_navigation);
    m_host->advance(0.5);
    return *m_screen;
  }

  std::vector<std::string> rowTitles() const {
    std::vector<std::string> titles;
    for (auto& row : m_screen->rows())
      titles.push_back(row->currentTitle().value_or(""));
    return titles;
  }

  void saveArtefact(const std::string& name) {
    const auto folder = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "screens";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(m_host->savePNG((folder / name).string()));
  }

  TemporaryDirectory m_bundleFolder;
  std::shared_ptr<KMAboutBoxViewController> m_screen;
  std::shared_ptr<UINavigationController> m_navigation;
};

TEST_F(KMAboutBoxViewControllerTest, RussianShowsTwoGroupedRowsWithTheVersionDatedByTheExecutable) {
  auto& screen = show("ru");
  EXPECT_EQ(screen.versionLabel().text(), "Версия 2.07 от 5 марта 2026 г.");
  EXPECT_EQ(screen.buildLabel().text(), "Сборка 1234");
  EXPECT_EQ(screen.title(), "О программе");
  EXPECT_THAT(rowTitles(),
              ::testing::ElementsAre("Другие приложения Калумо", "Лицензионное соглашение"));
  // Grouped: the two rows touch, the lower one ends above the bottom edge.
  EXPECT_EQ(CGRectGetMaxY(screen.rows()[0]->frame()), screen.rows()[1]->frame().origin.y);
  EXPECT_NE(screen.rows()[0]->backgroundImageForState(UIControlStateHighlighted), nullptr);
  saveArtefact("about-ru.png");

  ASSERT_TRUE(m_host->tapView(*screen.rows()[0]));
  m_host->advance(0.5);
  auto* browser = dynamic_cast<KMWebController*>(m_navigation->topViewController());
  ASSERT_NE(browser, nullptr);
  const URL site = KLApplicationEnvironment::currentEnvironment().webSiteURL();
  EXPECT_EQ(browser->request().absoluteString(),
            URL::fromStringRelativeTo("/apps/", site)->absoluteString());
  EXPECT_TRUE(browser->navigationItem().hidesBackButton());
  EXPECT_EQ(KMAnalytics::sharedInstance().recordedEvents().size(), 1u);
  EXPECT_EQ(KMAnalytics::sharedInstance().recordedEvents()[0].name, kKMMVAboutOpenKalumoApps);
  browser->navigationItem().rightBarButtonItem()->performAction();
  m_host->advance(0.5);
  EXPECT_EQ(m_navigation->topViewController(), m_screen.get());
}

TEST_F(KMAboutBoxViewControllerTest, OtherLanguagesShowOnlyTheLicenceAsASingleRow) {
  auto& screen = show("en");
  EXPECT_EQ(screen.versionLabel().text(), "Version 2.07 of March 5, 2026");
  EXPECT_EQ(screen.buildLabel().text(), "Build 1234");
  EXPECT_THAT(rowTitles(), ::testing::ElementsAre("Terms of use"));
  saveArtefact("about-en.png");

  ASSERT_TRUE(m_host->tapView(*screen.rows()[0]));
  m_host->advance(0.5);
  auto* browser = dynamic_cast<KMWebController*>(m_navigation->topViewController());
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(browser->request().path(), "/legal/disk/mobile/");
  EXPECT_TRUE(KMAnalytics::sharedInstance().recordedEvents().empty());
}

} // namespace
} // namespace kdisk::test
