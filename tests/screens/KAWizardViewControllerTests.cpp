// The first-run wizard: paging by swipe and by Next, the indicator, the three
// loaded pages at most, closing, and showing it once per installation.
#include <filesystem>

#include "UIKitTestSupport.h"
#include "platform/Localization.h"
#include "platform/UserDefaults.h"
#include "screens/settings/KAWizardViewController.h"
#include "screens/settings/KAWizzardPageWithLinkViewController.h"
#include "settings/KMSettings.h"
#include "uikit/UIApplication.h"
#include "uikit/UINavigationController.h"

namespace kdisk::test {
namespace {

struct ClosedCounter : KAWizardViewControllerDelegate {
  void wizardClosed() override { ++closed; }
  int closed = 0;
};

class KAWizardViewControllerTest : public UIKitTest {
 protected:
  KAWizardViewControllerTest() { setPreferredLocalesForTesting(std::vector<LocaleName>{{"en", ""}}); }
  ~KAWizardViewControllerTest() override { setPreferredLocalesForTesting(std::nullopt); }

  KAWizardViewController& show() {
    m_wizard = std::make_shared<KAWizardViewController>();
    m_wizard->setDelegate(m_delegate);
    m_host->setRootViewController(std::make_shared<UINavigationController>(m_wizard));
    m_host->advance(0.5);
    return *m_wizard;
  }
  void expectOneMarkedPage(int page) {
    for (int index = 0; index < KAWizardViewController::kNumberOfPages; ++index)
      EXPECT_EQ(m_wizard->indicatorMarksPage(index), index == page) << "indicator " << index;
    EXPECT_EQ(m_wizard->currentPage(), page);
  }
  void goTo(int page) {
    m_wizard->scrollView()->setContentOffset(CGPointMake(page * m_wizard->scrollView()->bounds().size.width, 0));
    m_host->advance(0.1);
  }
  void saveArtefact(const std::string& name) {
    const auto folder = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "screens";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(m_host->savePNG((folder / name).string()));
  }

  std::shared_ptr<KAWizardViewController> m_wizard;
  std::shared_ptr<ClosedCounter> m_delegate = std::make_shared<ClosedCounter>();
};

TEST_F(KAWizardViewControllerTest, SwipingKeepsAtMostThreePagesAndReloadsThemWithTheSameContent) {
  auto& wizard = show();
  EXPECT_TRUE(wizard.navigationController()->isNavigationBarHidden());
  EXPECT_EQ(wizard.numberOfLoadedPages(), 2);
  expectOneMarkedPage(0);
  const std::string firstTitle = wizard.pageAt(0)->titleText();
  EXPECT_EQ(firstTitle, "Your files, always at hand");
  ASSERT_NE(wizard.pageAt(0)->imageView()->image(), nullptr);
  saveArtefact("wizard-first-page.png");

  // A real swipe to the left turns one page.
  m_host->drag({{280, 200}, {40, 200}}, 0.25, 10);
  m_host->advance(1.5);
  expectOneMarkedPage(1);
  EXPECT_DOUBLE_EQ(wizard.scrollView()->contentOffset().x, wizard.scrollView()->bounds().size.width);
  EXPECT_EQ(wizard.numberOfLoadedPages(), 3);

  goTo(2);
  goTo(3);
  expectOneMarkedPage(3);
  EXPECT_EQ(wizard.numberOfLoadedPages(), 2);
  EXPECT_EQ(wizard.pageAt(0), nullptr);
  auto* last = dynamic_cast<KAWizzardPageWithLinkViewController*>(wizard.pageAt(3));
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->imageView()->image(), nullptr);
  EXPECT_EQ(last->linkButton()->currentTitle(), std::optional<std::string>("Go to the web site"));
  EXPECT_GT(last->linkButton()->frame().origin.y, CGRectGetMaxY(last->textLabel()->frame()));
  saveArtefact("wizard-last-page.png");
  std::vector<std::string> opened;
  UIApplication::sharedApplication().setOpenURLHandler([&](const URL& url) {
    opened.push_back(url.absoluteString());
    return true;
  });
  ASSERT_TRUE(m_host->tapText("Go to the web site"));
  EXPECT_EQ(opened.size(), 1u);

  for (int page : {2, 1, 0}) {
    goTo(page);
    EXPECT_LE(wizard.numberOfLoadedPages(), 3);
    expectOneMarkedPage(page);
  }
  ASSERT_NE(wizard.pageAt(0), nullptr);
  EXPECT_EQ(wizard.pageAt(0)->titleText(), firstTitle);
  EXPECT_DOUBLE_EQ(wizard.pageAt(0)->view()->frame().origin.x, 0);
  EXPECT_EQ(wizard.pageAt(3), nullptr);
}

TEST_F(KAWizardViewControllerTest, NextTurnsPagesUntilTheLastWhereItClosesLikeSkip) {
  auto& wizard = show();
  for (int page = 1; page < KAWizardViewController::kNumberOfPages; ++page) {
    ASSERT_TRUE(m_host->tapText("Next"));
    m_host->advance(1);
    expectOneMarkedPage(page);
    EXPECT_EQ(m_delegate->closed, 0);
  }
  ASSERT_TRUE(m_host->tapText("Next"));
  EXPECT_EQ(m_delegate->closed, 1);
  EXPECT_EQ(wizard.currentPage(), 3);

  goTo(1);
  ASSERT_TRUE(m_host->tapText("Skip"));
  EXPECT_EQ(m_delegate->closed, 2);
}

TEST_F(KAWizardViewControllerTest, ShownOncePerInstallation) {
  TemporaryDirectory folder;
  auto root = std::make_shared<UIViewController>();
  m_host->setRootViewController(root);
  m_host->advance(0.5);
  {
    auto settings = KMSettings::createForTesting(std::make_shared<UserDefaults>(folder.file("prefs.plist")));
    auto wizard = KAWizardViewController::presentOnceFrom(*root, *settings, m_delegate);
    ASSERT_NE(wizard, nullptr);
    m_host->advance(1);
    EXPECT_NE(root->presentedViewController(), nullptr);
    EXPECT_TRUE(settings->hasShowedDiskWizard());
    root->dismissViewControllerAnimatedCompletion(KMAnimated::No);
    m_host->advance(1);
  }
  // The next launch reads the same preferences.
  auto settings = KMSettings::createForTesting(std::make_shared<UserDefaults>(folder.file("prefs.plist")));
  EXPECT_EQ(KAWizardViewController::presentOnceFrom(*root, *settings, m_delegate), nullptr);
  m_host->advance(1);
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

}  // namespace
}  // namespace kdisk::test
