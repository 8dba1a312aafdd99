#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/TemporaryDirectory.h"

using kdisk::RunLoop;

class RunLoopTests : public ::testing::Test {
 protected:
  RunLoop& loop = RunLoop::main();
};

TEST_F(RunLoopTests, PostedCallsRunOnALaterTurnInOrder) {
  std::vector<int> order;
  loop.post([&] { order.push_back(1); });
  loop.post([&] {
    order.push_back(2);
    loop.post([&] { order.push_back(4); });
  });
  loop.post([&] { order.push_back(3); });
  EXPECT_TRUE(order.empty());
  loop.runPending();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(RunLoopTests, ZeroDelayCallKeepsItsPlaceAmongPostedCalls) {
  kdisk::test::VirtualClock clock;
  std::vector<int> order;
  loop.post([&] { order.push_back(1); });
  loop.postDelayed(0, [&] { order.push_back(2); });
  loop.post([&] { order.push_back(3); });
  loop.runPending();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(RunLoopTests, VirtualTimersFireOnlyWhenTheClockReachesThemAndInTimeOrder) {
  kdisk::test::VirtualClock clock;
  std::vector<double> fired;
  const double start = loop.now();
  loop.postDelayed(2.0, [&] { fired.push_back(loop.now() - start); });
  loop.postDelayed(0.5, [&] { fired.push_back(loop.now() - start); });
  loop.runPending();
  clock.advance(0.49);
  EXPECT_TRUE(fired.empty());
  clock.advance(0.01);
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_DOUBLE_EQ(fired[0], 0.5);
  clock.advance(10);
  ASSERT_EQ(fired.size(), 2u);
  EXPECT_DOUBLE_EQ(fired[1], 2.0);
  EXPECT_DOUBLE_EQ(loop.now() - start, 10.5);
}

TEST_F(RunLoopTests, CancelledDelayedCallNeverRuns) {
  kdisk::test::VirtualClock clock;
  int runs = 0;
  auto first = loop.postDelayed(0, [&] { ++runs; });
  auto second = loop.postDelayed(0.5, [&] { runs += 10; });
  loop.cancel(first);
  loop.cancel(second);
  loop.cancel(second);  // twice is harmless
  clock.advance(5);
  EXPECT_EQ(runs, 0);
}

TEST_F(RunLoopTests, TimerScheduledByATimerInsideTheWindowFiresInTheSameAdvance) {
  kdisk::test::VirtualClock clock;
  std::vector<std::string> events;
  loop.postDelayed(1, [&] {
    events.push_back("first");
    loop.postDelayed(1, [&] { events.push_back("chained"); });
  });
  clock.advance(2.5);
  EXPECT_EQ(events, (std::vector<std::string>{"first", "chained"}));
}

TEST_F(RunLoopTests, RepeatingTimerFiresOncePerIntervalUntilCancelled) {
  kdisk::test::VirtualClock clock;
  int ticks = 0;
  auto timer = loop.scheduleRepeating(1.0, [&] { ++ticks; });
  clock.advance(3.5);
  EXPECT_EQ(ticks, 3);
  loop.cancel(timer);
  clock.advance(3);
  EXPECT_EQ(ticks, 3);
}

TEST_F(RunLoopTests, RepeatingTimerMayCancelItselfWhileFiring) {
  kdisk::test::VirtualClock clock;
  int ticks = 0;
  kdisk::TimerId timer = 0;
  timer = loop.scheduleRepeating(1.0, [&] {
    if (++ticks == 2) loop.cancel(timer);
  });
  clock.advance(10);
  EXPECT_EQ(ticks, 2);
}

TEST_F(RunLoopTests, RealTimersStillWorkWithoutTheVirtualClock) {
  bool fired = false;
  loop.postDelayed(0.02, [&] { fired = true; });
  EXPECT_TRUE(loop.runUntil([&] { return fired; }, 5));
}

TEST_F(RunLoopTests, CallsPostedFromOtherThreadsRunOnTheMainThread) {
  std::atomic<int> onMain{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      for (int j = 0; j < 25; ++j) {
        loop.post([&] {
          if (RunLoop::isMainThread()) ++onMain;
        });
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_TRUE(loop.runUntil([&] { return onMain == 100; }, 5));
}
