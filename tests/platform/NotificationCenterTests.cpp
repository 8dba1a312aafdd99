#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/DispatchQueue.h"
#include "platform/KeyValueObservable.h"
#include "platform/RunLoop.h"

using kdisk::Notification;
using kdisk::NotificationCenter;
using kdisk::RunLoop;

TEST(NotificationCenterTests, ObserverHearsItsNameAndSenderOnly) {
  NotificationCenter center;
  int sender = 0, other = 0;
  std::vector<std::string> heard;
  auto any = center.addObserver("A", [&](const Notification& n) { heard.push_back("any:" + n.name); });
  auto mine = center.addObserver("A", &sender, [&](const Notification&) { heard.push_back("mine"); });
  center.post("A", &other);
  center.post("B", &sender);
  center.post("A", &sender);
  EXPECT_EQ(heard, (std::vector<std::string>{"any:A", "any:A", "mine"}));
}

TEST(NotificationCenterTests, DroppedTokenStopsDeliveryEvenDuringThePosting) {
  NotificationCenter center;
  int secondCalls = 0;
  kdisk::ObserverToken second;
  auto first = center.addObserver("X", [&](const Notification&) { second.reset(); });
  second = center.addObserver("X", [&](const Notification&) { ++secondCalls; });
  center.post("X");
  center.post("X");
  EXPECT_EQ(secondCalls, 0);
}

TEST(NotificationCenterTests, ObserverAddedDuringAPostingHearsOnlyTheNextOne) {
  NotificationCenter center;
  int lateCalls = 0;
  kdisk::ObserverToken late;
  auto first = center.addObserver("X", [&](const Notification&) {
    if (!late.isActive()) late = center.addObserver("X", [&](const Notification&) { ++lateCalls; });
  });
  center.post("X");
  EXPECT_EQ(lateCalls, 0);
  center.post("X");
  EXPECT_EQ(lateCalls, 1);
}

TEST(NotificationCenterTests, TokenMayOutliveItsCentre) {
  kdisk::ObserverToken token;
  {
    NotificationCenter center;
    token = center.addObserver("X", [](const Notification&) {});
  }
  token.reset();  // must not touch the dead centre
  SUCCEED();
}

TEST(NotificationCenterTests, UserInfoArrivesWithItsExplicitNull) {
  NotificationCenter center;
  kdisk::Dictionary received;
  auto token = center.addObserver("X", [&](const Notification& n) { received = n.userInfo; });
  center.post("X", nullptr, {{"URL", "https://h/disk/a"}, {"error", kdisk::Null{}}});
  ASSERT_NE(kdisk::find(received, "error"), nullptr);
  EXPECT_TRUE(kdisk::find(received, "error")->isNull());
  EXPECT_EQ(kdisk::stringForKey(received, "URL"), "https://h/disk/a");
  EXPECT_EQ(kdisk::find(received, "missing"), nullptr);
}

class MainThreadPostingTests : public ::testing::TestWithParam<int> {};

TEST_P(MainThreadPostingTests, PostingFromABackgroundThreadIsDeliveredOnTheMainThread) {
  NotificationCenter center;
  std::atomic<int> delivered{0}, onMain{0};
  auto token = center.addObserver("X", [&](const Notification&) {
    ++delivered;
    if (RunLoop::isMainThread()) ++onMain;
  });
  std::thread worker([&] {
    for (int i = 0; i < 10; ++i) {
      if (GetParam() == 0) {
        center.postNotificationInMainQueueWithNameObjectUserInfo("X", nullptr, {});
      } else {
        center.postNotificationInMainThreadWithNameObjectUserInfo("X", nullptr, {});
      }
    }
  });
  worker.join();
  EXPECT_EQ(delivered, 0) << "must not be delivered on the posting thread";
  EXPECT_TRUE(RunLoop::main().runUntil([&] { return delivered == 10; }, 5));
  EXPECT_EQ(onMain, 10);
}

TEST_P(MainThreadPostingTests, PostingOnTheMainThreadIsDeliveredAtOnce) {
  NotificationCenter center;
  int delivered = 0;
  auto token = center.addObserver("X", [&](const Notification&) { ++delivered; });
  if (GetParam() == 0) {
    center.postNotificationInMainQueueWithNameObjectUserInfo("X", nullptr, {});
  } else {
    center.postNotificationInMainThreadWithNameObjectUserInfo("X", nullptr, {});
  }
  EXPECT_EQ(delivered, 1);
}

INSTANTIATE_TEST_SUITE_P(BothOperations, MainThreadPostingTests, ::testing::Values(0, 1));

namespace {
class Observed : public kdisk::KeyValueObservable {
 public:
  void setName(std::string name) {
    m_name = std::move(name);
    didChangeValueForKey("name");
  }

 private:
  std::string m_name;
};
}  // namespace

TEST(KeyValueObservableTests, ObserversOfAPropertyHearItsChangesUntilTheyLetGo) {
  Observed object;
  std::vector<std::string> heard;
  auto token = object.observeValueForKey("name", [&](const std::string& key) { heard.push_back(key); });
  auto other = object.observeValueForKey("size", [&](const std::string& key) { heard.push_back(key); });
  object.setName("a");
  token.reset();
  object.setName("b");
  EXPECT_EQ(heard, (std::vector<std::string>{"name"}));
}
