#pragma once
// Leveled logging to one console logger. Each source unit has its own named
// logger whose level is set once, when the unit first asks for it.

#include <memory>
#include <string>

#include <spdlog/spdlog.h>

namespace kdisk {

enum class LogLevel { Error, Warning, Info, Verbose };

// The named logger of a unit; created on first use with `level` (later calls
// return the same logger and do not change its level).
std::shared_ptr<spdlog::logger> logger(const std::string& unit, LogLevel level = LogLevel::Info);
// Sets every unit's level, present and future, e.g. from a verbose switch.
void setAllLogLevels(LogLevel level);
// Whether KDISK_LOG_LEVEL names a level (an empty or unknown value does not).
bool logLevelSetByEnvironment();
// Installs the console sink (stderr); called once at start-up. Before that,
// loggers still write to stderr.
void installConsoleLogger();

}  // namespace kdisk
