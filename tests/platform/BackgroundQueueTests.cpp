#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>

#include "platform/DispatchQueue.h"

namespace kdisk {
namespace {

TEST(BackgroundQueueTest, TasksRunOffTheMainThreadAtLowPriority) {
  std::atomic<int> done{0}, niceness{-100};
  std::atomic<bool> onMain{false};
  for (int i = 0; i < 4; ++i) {
    DispatchQueue::globalBackgroundQueue()->async([&] {
      onMain = onMain || RunLoop::isMainThread();
      niceness = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
      ++done;
    });
  }
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return done == 4; }, 10));
  EXPECT_FALSE(onMain);
  EXPECT_GE(niceness.load(), 10);
}

}  // namespace
}  // namespace kdisk
