#include "platform/RunLoop.h"

#include <glib.h>

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/GLibOwners.h"

namespace kdisk {

namespace {

double wallNow() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

// The thread that ran the program's static initialisers: the process's first
// thread. Taking the first caller of main() instead let a pool thread that posted
// early become "main" for good.
const std::thread::id& mainThreadId() {
  static const std::thread::id id = std::this_thread::get_id();
  return id;
}
[[maybe_unused]] const std::thread::id& g_mainThreadBound = mainThreadId();

}  // namespace

// Timers live in one table keyed by id. Real timers are GLib sources that look
// their entry up when they fire, so cancel() only has to erase the entry (and
// remove the source) under the lock; virtual timers have no source and are run
// by advance(). A zero delay is a posted call that checks the table first, so it
// keeps its place among other posted calls on both clocks.
struct RunLoop::State {
  struct Timer {
    double due = 0;
    double interval = 0;  // > 0 for repeating timers
    Task task;
    Clock clock = Clock::Run;
    guint source = 0;
  };

  GMainContext* context = g_main_context_default();
  glib::MainLoop loop{g_main_loop_new(g_main_context_default(), FALSE)};

  std::mutex mutex;
  std::deque<Task> posted;
  bool drainScheduled = false;
  std::map<TimerId, Timer> timers;
  TimerId nextTimer = 1;
  bool virtualClock = false;
  double virtualNow = 0;

  struct RealTimerContext {
    State* state;
    TimerId id;
  };

  static gboolean drainPosted(gpointer data);
  static gboolean fireRealTimer(gpointer data);
  static void forgetRealTimer(gpointer data);
  bool runNextDueVirtualTimer(double limit);
  void runTimer(TimerId id);
};

gboolean RunLoop::State::drainPosted(gpointer data) {
  auto* state = static_cast<State*>(data);
  std::deque<Task> batch;
  {
    std::lock_guard lock(state->mutex);
    batch.swap(state->posted);
    state->drainScheduled = false;
  }
  // Calls posted while this batch runs wait for the next turn.
  for (auto& task : batch) task();
  return G_SOURCE_REMOVE;
}

gboolean RunLoop::State::fireRealTimer(gpointer data) {
  auto* context = static_cast<State::RealTimerContext*>(data);
  State* state = context->state;
  Task task;
  bool repeats = false;
  {
    std::lock_guard lock(state->mutex);
    auto it = state->timers.find(context->id);
    if (it == state->timers.end()) return G_SOURCE_REMOVE;
    repeats = it->second.interval > 0;
    task = it->second.task;
    if (!repeats) state->timers.erase(it);
  }
  task();
  if (!repeats) return G_SOURCE_REMOVE;
  std::lock_guard lock(state->mutex);
  return state->timers.count(context->id) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void RunLoop::State::forgetRealTimer(gpointer data) { delete static_cast<State::RealTimerContext*>(data); }

void RunLoop::State::runTimer(TimerId id) {
  Task task;
  {
    std::lock_guard lock(mutex);
    auto it = timers.find(id);
    if (it == timers.end()) return;
    task = it->second.task;
    if (it->second.interval > 0) {
      it->second.due += it->second.interval;
    } else {
      timers.erase(it);
    }
  }
  task();
}

bool RunLoop::State::runNextDueVirtualTimer(double limit) {
  TimerId next = 0;
  double due = 0;
  {
    std::lock_guard lock(mutex);
    for (const auto& [id, timer] : timers) {
      if (timer.clock != Clock::Run || timer.source != 0 || timer.due > limit) continue;
      if (next == 0 || timer.due < due) {
        next = id;
        due = timer.due;
      }
    }
    if (next == 0) return false;
    if (due > virtualNow) virtualNow = due;
  }
  runTimer(next);
  return true;
}

RunLoop& RunLoop::main() {
  // Never destroyed: threads of the pool may still post while the process ends.
  static RunLoop* loop = new RunLoop();
  return *loop;
}

bool RunLoop::isMainThread() {
  main();
  return std::this_thread::get_id() == mainThreadId();
}

RunLoop::RunLoop() : m_state(std::make_unique<State>()) {}

RunLoop::~RunLoop() = default;

void RunLoop::post(Task task) {
  std::lock_guard lock(m_state->mutex);
  m_state->posted.push_back(std::move(task));
  if (m_state->drainScheduled) return;
  m_state->drainScheduled = true;
  // The context keeps its own reference once the source is attached.
  const std::unique_ptr<GSource, decltype(&g_source_unref)> source(g_idle_source_new(),
                                                                   &g_source_unref);
  g_source_set_priority(source.get(), G_PRIORITY_DEFAULT);
  g_source_set_callback(source.get(), &State::drainPosted, m_state.get(), nullptr);
  g_source_attach(source.get(), m_state->context);
}

TimerId RunLoop::postDelayed(double seconds, Task task, Clock clock) {
  TimerId id;
  bool virtualTimer;
  {
    std::lock_guard lock(m_state->mutex);
    id = m_state->nextTimer++;
    virtualTimer = m_state->virtualClock && clock == Clock::Run;
    State::Timer timer;
    timer.due = (virtualTimer ? m_state->virtualNow : wallNow()) + std::max(seconds, 0.0);
    timer.task = std::move(task);
    timer.clock = clock;
    if (seconds > 0 && !virtualTimer) {
      timer.source = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(seconds * 1000),
                                        &State::fireRealTimer, new State::RealTimerContext{m_state.get(), id},
                                        &State::forgetRealTimer);
    }
    m_state->timers.emplace(id, std::move(timer));
  }
  if (seconds <= 0) post([state = m_state.get(), id] { state->runTimer(id); });
  return id;
}

TimerId RunLoop::scheduleRepeating(double interval, Task task, Clock clock) {
  if (interval <= 0) interval = 0.001;
  std::lock_guard lock(m_state->mutex);
  TimerId id = m_state->nextTimer++;
  bool virtualTimer = m_state->virtualClock && clock == Clock::Run;
  State::Timer timer;
  timer.due = (virtualTimer ? m_state->virtualNow : wallNow()) + interval;
  timer.interval = interval;
  timer.task = std::move(task);
  timer.clock = clock;
  if (!virtualTimer) {
    timer.source = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(interval * 1000),
                                      &State::fireRealTimer, new State::RealTimerContext{m_state.get(), id},
                                      &State::forgetRealTimer);
  }
  m_state->timers.emplace(id, std::move(timer));
  return id;
}

void RunLoop::cancel(TimerId timer) {
  guint source = 0;
  {
    std::lock_guard lock(m_state->mutex);
    auto it = m_state->timers.find(timer);
    if (it == m_state->timers.end()) return;
    source = it->second.source;
    m_state->timers.erase(it);
  }
  if (source != 0) {
    if (GSource* s = g_main_context_find_source_by_id(m_state->context, source)) g_source_destroy(s);
  }
}

double RunLoop::now() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->virtualClock ? m_state->virtualNow : wallNow();
}

void RunLoop::run() { g_main_loop_run(m_state->loop.get()); }

void RunLoop::quit() { g_main_loop_quit(m_state->loop.get()); }

void RunLoop::runPending() {
  // Bounded, so a task that re-posts itself forever cannot hang a test.
  for (int turn = 0; turn < 10000 && g_main_context_iteration(m_state->context, FALSE); ++turn) {
  }
}

bool RunLoop::runUntil(const std::function<bool()>& done, double wallSeconds) {
  const double deadline = wallNow() + wallSeconds;
  while (!done()) {
    if (wallNow() >= deadline) return false;
    // Wake at least every 50 ms so the deadline and `done` are looked at even
    // when the awaited event comes from a thread that does not touch the loop.
    guint wake = g_timeout_add(50, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr);
    g_main_context_iteration(m_state->context, TRUE);
    if (GSource* s = g_main_context_find_source_by_id(m_state->context, wake)) g_source_destroy(s);
  }
  return true;
}

void RunLoop::useVirtualClockForTesting(bool enabled) {
  std::lock_guard lock(m_state->mutex);
  if (enabled && !m_state->virtualClock) m_state->virtualNow = wallNow();
  if (!enabled && m_state->virtualClock) {
    // Virtual timers would never fire on the real clock; a test that leaves
    // some behind must not leak them into the next one.
    std::erase_if(m_state->timers, [](const auto& entry) {
      return entry.second.clock == Clock::Run && entry.second.source == 0;
    });
  }
  m_state->virtualClock = enabled;
}

bool RunLoop::usesVirtualClock() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->virtualClock;
}

void RunLoop::advance(double seconds) {
  double target;
  {
    std::lock_guard lock(m_state->mutex);
    target = m_state->virtualNow + std::max(seconds, 0.0);
  }
  runPending();
  while (m_state->runNextDueVirtualTimer(target)) runPending();
  {
    std::lock_guard lock(m_state->mutex);
    m_state->virtualNow = std::max(m_state->virtualNow, target);
  }
  runPending();
}

}  // namespace kdisk
