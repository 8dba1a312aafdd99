#include "platform/KMAnalytics.h"

#include "platform/Log.h"

namespace kdisk {
namespace {

// Only the newest events are kept, so a long session does not grow without end.
constexpr std::size_t kMaximumRecordedEvents = 1000;

std::shared_ptr<spdlog::logger> log() { return logger("KMAnalytics", LogLevel::Verbose); }

}  // namespace

KMAnalytics& KMAnalytics::sharedInstance() {
  static KMAnalytics* instance = new KMAnalytics;
  return *instance;
}

void KMAnalytics::logEvent(std::string_view name, Dictionary parameters) {
  if (parameters.empty())
    log()->debug("Analytics event {}", name);
  else
    log()->debug("Analytics event {} {}", name, Value(parameters).description());
  std::lock_guard lock(m_mutex);
  if (m_events.size() >= kMaximumRecordedEvents) m_events.erase(m_events.begin());
  m_events.push_back(Event{std::string(name), std::move(parameters)});
}

void KMAnalytics::start() {
  std::lock_guard lock(m_mutex);
  m_started = true;
}

bool KMAnalytics::isStarted() const {
  std::lock_guard lock(m_mutex);
  return m_started;
}

std::vector<KMAnalytics::Event> KMAnalytics::recordedEvents() const {
  std::lock_guard lock(m_mutex);
  return m_events;
}

void KMAnalytics::clearRecordedEventsForTesting() {
  std::lock_guard lock(m_mutex);
  m_events.clear();
}

}  // namespace kdisk
