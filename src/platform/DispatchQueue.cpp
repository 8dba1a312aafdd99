#include "platform/DispatchQueue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <future>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace kdisk {

namespace {

class MainQueue final : public DispatchQueue {
 public:
  MainQueue() : DispatchQueue("ru.kalumo.disk.main", Kind::Main) {}

  void async(Task task) override {
    RunLoop::main().post([this, task = std::move(task)] {
      CurrentScope scope(this);
      task();
    });
  }

  void sync(const Task& task) override {
    if (RunLoop::isMainThread()) {
      task();
      return;
    }
    std::promise<void> done;
    async([&] {
      task();
      done.set_value();
    });
    done.get_future().wait();
  }
};

class ConcurrentQueue final : public DispatchQueue {
 public:
  // `niceness` above 0 lowers the threads' scheduling priority for good.
  ConcurrentQueue(std::string label, unsigned threads, int niceness = 0)
      : DispatchQueue(std::move(label), Kind::Concurrent) {
    for (unsigned i = 0; i < threads; ++i)
      m_threads.emplace_back([this, niceness] {
        if (niceness > 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), niceness);
        work();
      });
  }

  // The pool lives as long as the process: detach rather than join at exit,
  // when tasks may still be blocked on the main thread.
  ~ConcurrentQueue() override {
    for (auto& thread : m_threads) thread.detach();
  }

  void async(Task task) override {
    {
      std::lock_guard lock(m_mutex);
      m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
  }

  // A concurrent queue may run a task on any thread, the caller's included.
  void sync(const Task& task) override {
    CurrentScope scope(this);
    task();
  }

 private:
  void work() {
    for (;;) {
      Task task;
      {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return !m_tasks.empty(); });
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
      }
      CurrentScope scope(this);
      task();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<Task> m_tasks;
  std::vector<std::thread> m_threads;
};

// One task at a time, in order, on a thread of its own. A sync() from another
// thread enqueues a ticket; when the ticket's turn comes the worker hands the
// queue to the waiting caller and waits until its task has run there.
class SerialQueue final : public DispatchQueue {
 public:
  explicit SerialQueue(std::string label) : DispatchQueue(std::move(label), Kind::Serial) {
    m_thread = std::thread([this] { work(); });
  }

  ~SerialQueue() override {
    {
      std::lock_guard lock(m_mutex);
      m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.get_id() == std::this_thread::get_id()) {
      m_thread.detach();
    } else {
      m_thread.join();
    }
  }

  void async(Task task) override {
    {
      std::lock_guard lock(m_mutex);
      m_entries.push_back(Entry{std::move(task), nullptr});
    }
    m_wake.notify_all();
  }

  void sync(const Task& task) override {
    if (isCurrent()) {
      task();
      return;
    }
    // Shared: the worker still reads the ticket after this call has returned.
    auto ticket = std::make_shared<Ticket>();
    {
      std::unique_lock lock(m_mutex);
      m_entries.push_back(Entry{nullptr, ticket});
      m_wake.notify_all();
      m_wake.wait(lock, [&] { return ticket->granted; });
    }
    {
      CurrentScope scope(this);
      task();
    }
    {
      std::lock_guard lock(m_mutex);
      ticket->finished = true;
    }
    m_wake.notify_all();
  }

 private:
  struct Ticket {
    bool granted = false;
    bool finished = false;
  };
  struct Entry {
    Task task;
    std::shared_ptr<Ticket> ticket;
  };

  void work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
      m_wake.wait(lock, [this] { return !m_entries.empty() || m_stopping; });
      if (m_entries.empty()) return;  // stopping, and everything queued has run
      Entry entry = std::move(m_entries.front());
      m_entries.pop_front();
      if (entry.ticket) {
        entry.ticket->granted = true;
        m_wake.notify_all();
        m_wake.wait(lock, [&] { return entry.ticket->finished; });
        continue;
      }
      lock.unlock();
      {
        CurrentScope scope(this);
        entry.task();
      }
      lock.lock();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<Entry> m_entries;
  bool m_stopping = false;
  std::thread m_thread;
};

}  // namespace

// The queues the calling thread runs on, innermost first, chained through the
// scopes on the stack. A sync() onto another queue adds that queue, so code
// inside it counts as running on both. Nothing here for the thread's exit to
// destroy: a static's destructor that uses a queue after it still works.
thread_local const DispatchQueue::CurrentScope* DispatchQueue::CurrentScope::s_innermost = nullptr;

DispatchQueue::CurrentScope::CurrentScope(const DispatchQueue* queue) : m_queue(queue), m_outer(s_innermost) {
  s_innermost = this;
}

DispatchQueue::CurrentScope::~CurrentScope() { s_innermost = m_outer; }

std::shared_ptr<DispatchQueue> DispatchQueue::mainQueue() {
  static std::shared_ptr<DispatchQueue>* queue = new std::shared_ptr<DispatchQueue>(
      std::make_shared<MainQueue>());
  return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::globalQueue() {
  static std::shared_ptr<DispatchQueue>* queue = new std::shared_ptr<DispatchQueue>(
      std::make_shared<ConcurrentQueue>("global.default", std::max(4u, 2 * std::thread::hardware_concurrency())));
  return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::globalBackgroundQueue() {
  static std::shared_ptr<DispatchQueue>* queue = new std::shared_ptr<DispatchQueue>(std::make_shared<ConcurrentQueue>(
      "global.background", std::max(1u, std::thread::hardware_concurrency()), 10));
  return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::createSerial(std::string label) {
  return std::make_shared<SerialQueue>(std::move(label));
}

void DispatchQueue::after(double seconds, Task task) {
  RunLoop::main().postDelayed(seconds, [queue = shared_from_this(), task = std::move(task)] {
    queue->async(task);
  });
}

bool DispatchQueue::isCurrent() const {
  if (m_kind == Kind::Main) return RunLoop::isMainThread();
  for (const auto* scope = CurrentScope::s_innermost; scope; scope = scope->m_outer)
    if (scope->m_queue == this) return true;
  return false;
}

std::string DispatchQueue::currentQueueDescription() {
  if (const auto* scope = CurrentScope::s_innermost) return "queue " + scope->m_queue->label();
  return RunLoop::isMainThread() ? "the main thread" : "a thread of no queue";
}

}  // namespace kdisk
