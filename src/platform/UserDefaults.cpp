#include "platform/UserDefaults.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"

namespace kdisk {
namespace {

std::shared_ptr<spdlog::logger> log() { return logger("UserDefaults", LogLevel::Warning); }

std::string parentDirectory(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

std::string UserDefaults::standardFilePath() {
  return paths::configDirectory() + "/preferences.plist";
}

UserDefaults& UserDefaults::standardUserDefaults() {
  // Never destroyed: background threads may still read settings during exit.
  static UserDefaults* shared = new UserDefaults(standardFilePath());
  return *shared;
}

UserDefaults::UserDefaults(std::string filePath) : m_filePath(std::move(filePath)) {
  if (!paths::fileExists(m_filePath)) return;
  Expected<Dictionary> stored = PropertyList::readDictionaryFile(m_filePath);
  if (stored.hasValue()) {
    m_values = std::move(stored.value());
    return;
  }
  log()->error("Ignoring damaged preferences file {}: {}", m_filePath,
               stored.error().localizedDescription);
  // The next synchronise replaces the damaged file with a sound one.
  m_dirty = true;
}

std::optional<Value> UserDefaults::objectForKey(std::string_view key) const {
  std::lock_guard lock(m_mutex);
  if (const Value* value = find(m_values, key)) return *value;
  if (const Value* value = find(m_registered, key)) return *value;
  return std::nullopt;
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
  std::optional<Value> value = objectForKey(key);
  if (!value) return std::nullopt;
  if (const std::string* text = value->stringValue()) return *text;
  return std::nullopt;
}

bool UserDefaults::boolForKey(std::string_view key) const {
  std::optional<Value> value = objectForKey(key);
  return value ? value->boolValue().value_or(false) : false;
}

std::int64_t UserDefaults::integerForKey(std::string_view key) const {
  std::optional<Value> value = objectForKey(key);
  return value ? value->integerValue().value_or(0) : 0;
}

double UserDefaults::doubleForKey(std::string_view key) const {
  std::optional<Value> value = objectForKey(key);
  return value ? value->doubleValue().value_or(0) : 0;
}

void UserDefaults::setObjectForKey(Value value, std::string_view key) {
  std::lock_guard lock(m_mutex);
  if (value.isNull()) {
    auto found = m_values.find(key);
    if (found == m_values.end()) return;
    m_values.erase(found);
  } else {
    m_values.insert_or_assign(std::string(key), std::move(value));
  }
  m_dirty = true;
}

void UserDefaults::setStringForKey(std::optional<std::string> value, std::string_view key) {
  setObjectForKey(value ? Value(std::move(*value)) : Value(), key);
}
void UserDefaults::setBoolForKey(bool value, std::string_view key) { setObjectForKey(value, key); }
void UserDefaults::setIntegerForKey(std::int64_t value, std::string_view key) {
  setObjectForKey(Value(static_cast<long long>(value)), key);
}
void UserDefaults::setDoubleForKey(double value, std::string_view key) {
  setObjectForKey(value, key);
}
void UserDefaults::removeObjectForKey(std::string_view key) { setObjectForKey(Value(), key); }

void UserDefaults::registerDefaults(const Dictionary& defaults) {
  std::lock_guard lock(m_mutex);
  for (const auto& [key, value] : defaults) m_registered.insert_or_assign(key, value);
}

Dictionary UserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(m_mutex);
  Dictionary merged = m_values;
  merged.insert(m_registered.begin(), m_registered.end());
  return merged;
}

bool UserDefaults::synchronize() {
  std::lock_guard lock(m_mutex);
  if (!m_dirty) return true;
  const std::string folder = parentDirectory(m_filePath);
  Status status = paths::createDirectories(folder);
  if (status.hasValue()) status = PropertyList::writeFileAtomically(m_filePath, Value(m_values));
  if (!status.hasValue()) {
    // Logged once per store so a read-only folder does not flood the console.
    if (!m_loggedWriteFailure)
      log()->error("Cannot write preferences to {}; keeping them in memory: {}", m_filePath,
                   status.error().localizedDescription);
    m_loggedWriteFailure = true;
    return false;
  }
  m_dirty = false;
  m_loggedWriteFailure = false;
  ++m_writeCount;
  return true;
}

int UserDefaults::writeCountForTesting() const {
  std::lock_guard lock(m_mutex);
  return m_writeCount;
}

}  // namespace kdisk
