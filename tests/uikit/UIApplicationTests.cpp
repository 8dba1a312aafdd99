#include <gmock/gmock.h>

#include "UIKitTestSupport.h"
#include "platform/NotificationCenter.h"
#include "uikit/UIApplication.h"
#include "uikit/UIPasteboard.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

class RecordingDelegate : public UIApplicationDelegate {
 public:
  std::vector<std::string> events;
  std::optional<URL> opened;
  bool applicationDidFinishLaunchingWithOptions(UIApplication&, const Dictionary& options) override {
    events.push_back(options.count(UIApplicationLaunchOptionsURLKey) ? "launch with URL" : "launch");
    return true;
  }
  bool applicationOpenURLSourceApplicationAnnotation(UIApplication&, const URL& url, const std::string&,
                                                     const Value&) override {
    opened = url;
    return true;
  }
  void applicationDidBecomeActive(UIApplication&) override { events.push_back("active"); }
  void applicationWillResignActive(UIApplication&) override { events.push_back("resign"); }
  void applicationDidEnterBackground(UIApplication&) override { events.push_back("background"); }
  void applicationWillEnterForeground(UIApplication&) override { events.push_back("foreground"); }
};

class UIApplicationTest : public UIKitTest {};

TEST_F(UIApplicationTest, StateChangesReachTheDelegateAndTheNotificationCentreInOrder) {
  auto delegate = std::make_shared<RecordingDelegate>();
  auto& application = UIApplication::sharedApplication();
  application.setDelegate(delegate);
  std::vector<std::string> notifications;
  auto background = NotificationCenter::defaultCenter().addObserver(
      UIApplicationDidEnterBackgroundNotification, [&](const Notification&) { notifications.push_back("background"); });
  auto active = NotificationCenter::defaultCenter().addObserver(
      UIApplicationDidBecomeActiveNotification, [&](const Notification&) { notifications.push_back("active"); });
  application.launchWithOptions({{UIApplicationLaunchOptionsURLKey, "file:///tmp/a.pdf"}});
  m_host->sendApplicationToBackground();
  EXPECT_EQ(application.applicationState(), UIApplicationState::Background);
  m_host->bringApplicationToForeground();
  EXPECT_EQ(application.applicationState(), UIApplicationState::Active);
  EXPECT_THAT(delegate->events,
              ElementsAre("launch with URL", "active", "resign", "background", "foreground", "active"));
  EXPECT_THAT(notifications, ElementsAre("active", "background", "active"));
}

TEST_F(UIApplicationTest, AWindowReportingFocusItHasDoesNotAnnounceActivationAgain) {
  auto delegate = std::make_shared<RecordingDelegate>();
  auto& application = UIApplication::sharedApplication();
  application.setDelegate(delegate);
  int announced = 0;
  auto active = NotificationCenter::defaultCenter().addObserver(
      UIApplicationDidBecomeActiveNotification, [&](const Notification&) { ++announced; });
  application.launchWithOptions({});
  application.becomeActive();  // the desktop window gains focus after launch
  application.resignActive();
  application.becomeActive();
  application.becomeActive();
  EXPECT_EQ(announced, 2);
  EXPECT_THAT(delegate->events, ElementsAre("launch", "active", "resign", "active"));
}

TEST_F(UIApplicationTest, OpeningAURLGoesToTheHostsHandler) {
  auto& application = UIApplication::sharedApplication();
  EXPECT_FALSE(application.openURL(*URL::fromString("https://example.org/")));  // no host handler
  std::vector<std::string> handed;
  application.setOpenURLHandler([&](const URL& url) {
    handed.push_back(url.absoluteString());
    return true;
  });
  EXPECT_TRUE(application.openURL(*URL::fromString("https://example.org/terms")));
  EXPECT_THAT(handed, ElementsAre("https://example.org/terms"));
  EXPECT_TRUE(application.canOpenURL(*URL::fromString("mailto:someone@example.org")));
  EXPECT_FALSE(application.canOpenURL(*URL::fromString("kalumomailto://compose")));
  application.setOpenableSchemes({"http", "https", "kalumomailto"});
  EXPECT_TRUE(application.canOpenURL(*URL::fromString("kalumomailto://compose")));
}

TEST_F(UIApplicationTest, AHandedOverURLReachesTheDelegate) {
  auto delegate = std::make_shared<RecordingDelegate>();
  UIApplication::sharedApplication().setDelegate(delegate);
  EXPECT_TRUE(UIApplication::sharedApplication().handleOpenURL(*URL::fromString("file:///tmp/b.txt"), "viewer"));
  EXPECT_EQ(delegate->opened->absoluteString(), "file:///tmp/b.txt");
}

TEST_F(UIApplicationTest, TheIdleTimerFlagAndThePasteboardKeepTheirValues) {
  auto& application = UIApplication::sharedApplication();
  application.setIdleTimerDisabled(true);
  EXPECT_TRUE(application.isIdleTimerDisabled());
  UIPasteboard::generalPasteboard().setString("https://disk.example/public/abc");
  EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "https://disk.example/public/abc");
}

}  // namespace
}  // namespace kdisk::test
