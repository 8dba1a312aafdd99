#pragma once
// Work queues: the main queue (the main run loop), the shared concurrent
// background queue (a fixed pool of threads) and labelled serial queues.
//
// Every queue knows whether the calling code already runs on it, so sync() from
// inside runs the task inline and nested storage calls never dead-lock. A sync()
// onto a serial queue from another thread waits for the queue's turn and then
// runs the task on the caller's own thread (the queue is held meanwhile), so a
// task may sync back onto the queue its caller came from.

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/RunLoop.h"

namespace kdisk {

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
 public:
  enum class Kind { Main, Concurrent, Serial };

  static std::shared_ptr<DispatchQueue> mainQueue();
  // The shared concurrent queue of default priority.
  static std::shared_ptr<DispatchQueue> globalQueue();
  // A concurrent queue of low priority (one thread per processor), for
  // long work the screen waits on without hurrying it (image decoding): its
  // threads yield the processor to the main thread's frames.
  static std::shared_ptr<DispatchQueue> globalBackgroundQueue();
  static std::shared_ptr<DispatchQueue> createSerial(std::string label);

  virtual ~DispatchQueue() = default;

  virtual void async(Task task) = 0;
  // Runs `task` and returns when it has run; inline when already on this queue.
  virtual void sync(const Task& task) = 0;
  // Runs `task` on this queue `seconds` from now on the run clock.
  void after(double seconds, Task task);
  // Whether the calling code runs on this queue (directly or through a sync()
  // made from it).
  bool isCurrent() const;
  // Where the calling code runs, for messages: the innermost queue's label,
  // else the main thread or another thread.
  static std::string currentQueueDescription();

  const std::string& label() const { return m_label; }
  Kind kind() const { return m_kind; }

 protected:
  DispatchQueue(std::string label, Kind kind) : m_label(std::move(label)), m_kind(kind) {}
  // Marks this queue as current on the calling thread for the scope's life.
  class CurrentScope {
   public:
    explicit CurrentScope(const DispatchQueue* queue);
    ~CurrentScope();
    CurrentScope(const CurrentScope&) = delete;
    CurrentScope& operator=(const CurrentScope&) = delete;

   private:
    friend class DispatchQueue;
    static thread_local const CurrentScope* s_innermost;
    const DispatchQueue* m_queue;
    const CurrentScope* m_outer;
  };

 private:
  std::string m_label;
  Kind m_kind;
};

// Runs once per process, whichever thread gets there first (dispatch_once).
using OnceFlag = std::once_flag;
template <typename F> void runOnce(OnceFlag& flag, F&& function) {
  std::call_once(flag, std::forward<F>(function));
}

// Shorthands for the two hops almost every caller makes.
inline void dispatchMain(Task task) { DispatchQueue::mainQueue()->async(std::move(task)); }
inline void dispatchBackground(Task task) { DispatchQueue::globalQueue()->async(std::move(task)); }

}  // namespace kdisk
