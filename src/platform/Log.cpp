#include "platform/Log.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

#include <spdlog/sinks/stdout_color_sinks.h>

namespace kdisk {

namespace {

spdlog::level::level_enum toSpdlog(LogLevel level) {
  switch (level) {
    case LogLevel::Error: return spdlog::level::err;
    case LogLevel::Warning: return spdlog::level::warn;
    case LogLevel::Info: return spdlog::level::info;
    case LogLevel::Verbose: return spdlog::level::debug;
  }
  return spdlog::level::info;
}

// KDISK_LOG_LEVEL=verbose|info|warning|error overrides every unit, for
// looking into a problem without a rebuild.
std::optional<LogLevel> levelFromEnvironment() {
  const char* text = std::getenv("KDISK_LOG_LEVEL");
  if (!text) return std::nullopt;
  std::string_view value = text;
  if (value == "verbose" || value == "debug") return LogLevel::Verbose;
  if (value == "info") return LogLevel::Info;
  if (value == "warning") return LogLevel::Warning;
  if (value == "error") return LogLevel::Error;
  return std::nullopt;
}

}  // namespace

bool logLevelSetByEnvironment() { return levelFromEnvironment().has_value(); }

namespace {

struct Registry {
  std::mutex mutex;
  spdlog::sink_ptr sink = std::make_shared<spdlog::sinks::stderr_color_sink_mt>();
  std::map<std::string, std::shared_ptr<spdlog::logger>, std::less<>> loggers;
  std::optional<LogLevel> overrideLevel = levelFromEnvironment();
};

Registry& registry() {
  static Registry* instance = new Registry();
  return *instance;
}

}  // namespace

std::shared_ptr<spdlog::logger> logger(const std::string& unit, LogLevel level) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = r.loggers.find(unit);
  if (it != r.loggers.end()) return it->second;
  auto created = std::make_shared<spdlog::logger>(unit, r.sink);
  created->set_level(toSpdlog(r.overrideLevel.value_or(level)));
  created->set_pattern("%H:%M:%S.%e %^%l%$ [%n] %v");
  r.loggers.emplace(unit, created);
  return created;
}

void setAllLogLevels(LogLevel level) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.overrideLevel = level;
  for (auto& [name, log] : r.loggers) log->set_level(toSpdlog(level));
}

void installConsoleLogger() {
  // The sink exists from the first logger on; installing only makes the
  // process's default logger share it, so stray spdlog calls look the same.
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto fallback = std::make_shared<spdlog::logger>("kdisk", r.sink);
  fallback->set_pattern("%H:%M:%S.%e %^%l%$ [%n] %v");
  spdlog::set_default_logger(fallback);
}

}  // namespace kdisk
