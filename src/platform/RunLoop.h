#pragma once
// The main run loop over GLib's default main context: next-turn calls, delayed
// calls that can be cancelled, repeating timers.
//
// Time has two clocks. `Clock::Run` is the clock of the program's behaviour
// (write-out coalescing, "after 0.5 seconds", animations, time-outs); tests swap
// it for a virtual clock they move with advance(), so no test sleeps. `Clock::Wall`
// is always real time and is for I/O machinery (the transport's own timers).
//
// Lives on the main thread. post() and cancel() may be called from any thread;
// everything else runs on the main thread.

#include <cstdint>
#include <functional>
#include <memory>

namespace kdisk {

using Task = std::function<void()>;

enum class Clock { Run, Wall };

// Identifies a scheduled call; 0 is never a valid timer.
using TimerId = std::uint64_t;

class RunLoop {
 public:
  // The loop of the main thread. The first call fixes which thread is main;
  // programs and the test main call it before starting any thread.
  static RunLoop& main();
  static bool isMainThread();

  // Runs `task` on a later turn of the loop, after calls posted before it.
  void post(Task task);
  // Runs `task` once, `seconds` from now on the given clock.
  TimerId postDelayed(double seconds, Task task, Clock clock = Clock::Run);
  // Runs `task` every `interval` seconds until cancelled.
  TimerId scheduleRepeating(double interval, Task task, Clock clock = Clock::Run);
  // Cancels a delayed call or repeating timer; unknown or fired ids are ignored.
  void cancel(TimerId timer);

  // Current time of the run clock (virtual or real), seconds since 1970.
  double now() const;

  // Runs the loop until quit() is called.
  void run();
  void quit();
  // Dispatches everything ready now (posted calls, ready I/O) without waiting.
  void runPending();
  // Turns the loop until `done` holds or `wallSeconds` of real time pass; returns
  // whether `done` held. For tests that wait on real I/O (sockets, threads).
  bool runUntil(const std::function<bool()>& done, double wallSeconds = 30);

  // Test clock. With the virtual clock on, run-clock timers fire only inside
  // advance(), in time order, each after the posted calls that precede it.
  void useVirtualClockForTesting(bool enabled);
  bool usesVirtualClock() const;
  void advance(double seconds);

  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;
  ~RunLoop();

 private:
  RunLoop();
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace kdisk
