#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>

#include "platform/DispatchQueue.h"

namespace kdisk {
namespace {

// Low, not idle: a frame wins the core, yet the work (the picker's thumbnails)
// is not starved while anything else runs.
TEST(BackgroundQueueTest, TasksRunOffTheMainThreadAtLowPriority) {
  std::atomic<int> done{0}, niceness{-100}, policy{-1};
  std::atomic<bool> onMain{false};
  for (int i = 0; i < 4; ++i) {
    DispatchQueue::globalBackgroundQueue()->async([&] {
      onMain = onMain || RunLoop::isMainThread();
      niceness = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
      policy = ::sched_getscheduler(0);
      ++done;
    });
  }
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return done == 4; }, 10));
  EXPECT_FALSE(onMain);
  EXPECT_GE(niceness.load(), 10);
  EXPECT_LE(niceness.load(), 15);
  EXPECT_EQ(policy.load(), SCHED_OTHER);
}

}  // namespace
}  // namespace kdisk
