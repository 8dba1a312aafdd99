// The settings screen against kdisk-service: the figures the service reports,
// clearing downloaded files, sign-out reaching the application delegate.
#include "BrowserFixture.h"
#include "screens/settings/KASettingsViewController.h"
#include "screens/settings/KMAboutBoxViewController.h"
#include "screens/settings/KMApplicationLogout.h"
#include "uikit/UIApplicationDelegate.h"

namespace kdisk::test {
namespace {

class SigningOutDelegate : public UIApplicationDelegate, public KMApplicationLogout {
 public:
  void logoutWithLoginErrorNotificationAnimated(const Notification* notification, KMAnimated animated) override {
    ++calls;
    hadNotification = notification != nullptr;
    wasAnimated = animated == KMAnimated::Yes;
  }
  int calls = 0;
  bool hadNotification = true;
  bool wasAnimated = false;
};

class SettingsTest : public BrowserTest {
 protected:
  ServiceOptions options() override {
    ServiceOptions options;
    options.quotaBytes = 10ull << 30;
    return options;
  }
  std::string detailText(KASettingsViewController& settings, NSIndexPath path) {
    auto cell = settings.tableView().cellForRowAtIndexPath(path);
    return cell && cell->detailTextLabel() ? cell->detailTextLabel()->text() : "?";
  }
};

using SettingsTestAtBothScales = AtBothScales<SettingsTest>;

TEST_P(SettingsTestAtBothScales, ShowsTheServiceFiguresClearsDownloadsAndSignsOutThroughTheDelegate) {
  ASSERT_EQ(put("/disk/big.bin", std::string(3 << 20, 'b')).status, 201);
  auto browser = show();
  // Something downloaded on this device: the listing cache must outlive the clearing.
  ASSERT_TRUE(m_storage->saveDataForURL(std::string(5000, 'd'), root().appendingPathComponent("big.bin")));

  ASSERT_TRUE(browser->navigationItem().leftBarButtonItem());
  browser->navigationItem().leftBarButtonItem()->performAction();
  m_host->advance(1);
  auto* modal = dynamic_cast<UINavigationController*>(m_navigation->presentedViewController());
  ASSERT_TRUE(modal);
  auto settings = std::dynamic_pointer_cast<KASettingsViewController>(modal->viewControllers().front());
  ASSERT_TRUE(settings);
  ASSERT_TRUE(waitFor([&] { return settings->usedBytes() > 0 && settings->downloadedBytes(); }));
  m_host->advance(0.5);
  using S = KASettingsViewController;
  EXPECT_EQ(settings->usedBytes(), 3 << 20);
  EXPECT_EQ(settings->availableBytes(), (10ll << 30) - (3 << 20));
  EXPECT_EQ(detailText(*settings, row(S::AccountSection, S::LoginRow)), "alice");
  EXPECT_EQ(detailText(*settings, row(S::AccountSection, S::UsedRow)), LocalizedFileSizeStr(3 << 20));
  EXPECT_EQ(detailText(*settings, row(S::AccountSection, S::FreeRow)),
            LocalizedFileSizeStr((10ull << 30) - (3 << 20)));
  EXPECT_NEAR(settings->spaceUsageView()->usedFraction(), 3.0 / 10240, 1e-6);
  EXPECT_EQ(*settings->downloadedBytes(), 5000u);
  saveArtifact("settings.png");

  // Clearing asks first, then removes the files but keeps the listings.
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("ClearDownloadsRowTitle", "", "KASettingsViewController")));
  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("ClearDownloadsButton", "", "KASettingsViewController")));
  m_host->advance(0.5);
  ASSERT_TRUE(waitFor([&] { return settings->downloadedBytes() == std::optional<std::uint64_t>(0); }));
  EXPECT_FALSE(m_storage->hasCachedFileForURL(root().appendingPathComponent("big.bin")));
  EXPECT_EQ(m_storage->contentsOfDirectoryAtURLIncludeHidden(root(), true).size(), 1u);

  // The about box is one row away.
  m_host->drag({{160, 400}, {160, 100}}, 0.5, 10);
  m_host->advance(2);
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("AboutRowTitle", "", "KASettingsViewController")));
  m_host->advance(1);
  EXPECT_TRUE(dynamic_cast<KMAboutBoxViewController*>(modal->topViewController()));
  modal->popViewControllerAnimated(KMAnimated::No);
  m_host->advance(1);

  // Sign-out: a confirmation, then the delegate with nothing and animated.
  auto delegate = std::make_shared<SigningOutDelegate>();
  UIApplication::sharedApplication().setDelegate(delegate);
  m_host->drag({{160, 400}, {160, 100}}, 0.5, 10);
  m_host->advance(2);
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("SignOutRowTitle", "", "KASettingsViewController")));
  m_host->advance(0.5);
  EXPECT_EQ(delegate->calls, 0) << "not before the confirmation";
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("SignOutButton", "", "KASettingsViewController")));
  m_host->advance(0.5);
  EXPECT_EQ(delegate->calls, 1);
  EXPECT_FALSE(delegate->hadNotification);
  EXPECT_TRUE(delegate->wasAnimated);

  settings->doneButtonTouched();
  m_host->advance(1);
  EXPECT_EQ(m_navigation->presentedViewController(), nullptr);
  UIApplication::sharedApplication().setDelegate({});
}

INSTANTIATE_TEST_SUITE_P(Screens, SettingsTestAtBothScales, ::testing::Values(1.0, 2.0), scaleName);

}  // namespace
}  // namespace kdisk::test
