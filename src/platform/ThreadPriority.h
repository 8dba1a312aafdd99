#pragma once
// Lowers the calling thread to the scheduler's idle class for the scope's
// life: it runs on cores nobody else wants, and a normal thread that wakes
// (the main thread starting a frame) takes the core from it at once. Work
// still progresses on a busy machine, only slowly. The thread's previous
// class comes back when the scope ends, so pool threads can use it per job.
namespace kdisk {

class ScopedIdleThreadPriority {
 public:
  ScopedIdleThreadPriority();
  ~ScopedIdleThreadPriority();
  ScopedIdleThreadPriority(const ScopedIdleThreadPriority&) = delete;
  ScopedIdleThreadPriority& operator=(const ScopedIdleThreadPriority&) = delete;

 private:
  int m_previousPolicy = -1;  // -1: nothing was changed
};

}  // namespace kdisk
