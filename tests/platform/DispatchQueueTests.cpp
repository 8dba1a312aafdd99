#include "platform/DispatchQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "support/TemporaryDirectory.h"

using kdisk::DispatchQueue;
using kdisk::RunLoop;

TEST(DispatchQueueTests, SerialQueueRunsTasksOneAtATimeInOrder) {
  auto queue = DispatchQueue::createSerial("test.serial");
  std::vector<int> order;
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  for (int i = 0; i < 200; ++i) {
    queue->async([&, i] {
      if (++running > 1) overlapped = true;
      order.push_back(i);
      --running;
    });
  }
  queue->sync([] {});
  EXPECT_FALSE(overlapped);
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
}

TEST(DispatchQueueTests, SyncFromInsideTheSameQueueRunsInlineInsteadOfDeadlocking) {
  auto queue = DispatchQueue::createSerial("test.reentrant");
  int depth = 0;
  queue->sync([&] {
    EXPECT_TRUE(queue->isCurrent());
    queue->sync([&] {
      queue->sync([&] { depth = 3; });
    });
  });
  EXPECT_EQ(depth, 3);
  EXPECT_FALSE(queue->isCurrent());
}

TEST(DispatchQueueTests, SyncWaitsForTasksQueuedBeforeIt) {
  auto queue = DispatchQueue::createSerial("test.fifo");
  std::vector<int> order;
  queue->async([&] {
    std::this_thread::yield();
    order.push_back(1);
  });
  queue->async([&] { order.push_back(2); });
  queue->sync([&] { order.push_back(3); });
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(DispatchQueueTests, TaskSyncedOntoAnotherQueueMaySyncBackToItsCaller) {
  auto store = DispatchQueue::createSerial("test.store");
  auto uploads = DispatchQueue::createSerial("test.uploads");
  std::atomic<bool> reached{false};
  uploads->sync([&] {
    store->sync([&] {
      EXPECT_TRUE(store->isCurrent());
      EXPECT_TRUE(uploads->isCurrent());
      uploads->sync([&] { reached = true; });
    });
  });
  EXPECT_TRUE(reached);
}

// The shared file manager closes its store from a static destructor, after
// the main thread's own thread-locals are gone.
TEST(DispatchQueueTests, SyncStillWorksFromAThreadLocalDestroyedAtThreadExit) {
  auto queue = DispatchQueue::createSerial("test.exit");
  std::atomic<int> ranAtExit{0};
  struct AtExit {
    std::function<void()> work;
    ~AtExit() { work(); }
  };
  std::thread([&] {
    // Made before any queue is used on this thread, so destroyed after
    // whatever the first sync() sets up.
    thread_local AtExit atExit;
    queue->sync([] {});
    atExit.work = [&] {
      queue->sync([&] {
        if (queue->isCurrent()) ++ranAtExit;
      });
    };
  }).join();
  EXPECT_EQ(ranAtExit, 1);
  EXPECT_FALSE(queue->isCurrent());
}

TEST(DispatchQueueTests, ManyThreadsSyncingOntoOneSerialQueueNeverOverlap) {
  auto queue = DispatchQueue::createSerial("test.contended");
  int counter = 0;  // unguarded on purpose: the queue is the guard
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) queue->sync([&] { ++counter; });
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 4000);
}

TEST(DispatchQueueTests, GlobalQueueRunsTasksOffTheMainThreadAndKnowsItIsCurrent) {
  std::atomic<bool> offMain{false}, current{false}, done{false};
  auto global = DispatchQueue::globalQueue();
  global->async([&] {
    offMain = !RunLoop::isMainThread();
    current = global->isCurrent();
    done = true;
  });
  EXPECT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, 5));
  EXPECT_TRUE(offMain);
  EXPECT_TRUE(current);
  EXPECT_FALSE(global->isCurrent());
}

TEST(DispatchQueueTests, MainQueueSyncFromBackgroundRunsOnTheMainThread) {
  std::atomic<bool> ranOnMain{false}, finished{false};
  std::thread worker([&] {
    DispatchQueue::mainQueue()->sync([&] { ranOnMain = RunLoop::isMainThread(); });
    finished = true;
  });
  EXPECT_TRUE(RunLoop::main().runUntil([&] { return finished.load(); }, 5));
  worker.join();
  EXPECT_TRUE(ranOnMain);
}

TEST(DispatchQueueTests, MainQueueSyncOnTheMainThreadRunsInline) {
  bool ran = false;
  DispatchQueue::mainQueue()->sync([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(DispatchQueueTests, AfterRunsOnTheQueueWhenTheVirtualClockGetsThere) {
  kdisk::test::VirtualClock clock;
  auto queue = DispatchQueue::createSerial("test.after");
  std::atomic<bool> ran{false}, onQueue{false};
  queue->after(0.5, [&] {
    onQueue = queue->isCurrent();
    ran = true;
  });
  clock.advance(0.4);
  queue->sync([] {});
  EXPECT_FALSE(ran);
  clock.advance(0.1);
  queue->sync([] {});
  EXPECT_TRUE(ran);
  EXPECT_TRUE(onQueue);
}

TEST(DispatchQueueTests, RunOnceRunsExactlyOnceAcrossThreads) {
  kdisk::OnceFlag flag;
  std::atomic<int> runs{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&] { kdisk::runOnce(flag, [&] { ++runs; }); });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(runs, 1);
}
