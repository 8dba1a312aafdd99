#pragma once
// The per-application user-defaults store: typed values over a dictionary kept
// in memory, registered defaults that answer for missing keys, and a
// synchronise that writes the dictionary to "preferences.plist" in the config
// folder (atomically, mode 0600).
//
// Thread-safe: every operation takes the store's own lock. A damaged file is
// logged once and ignored (the next synchronise writes a sound one); a folder
// that cannot be written is logged with its path and the values stay in memory.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace kdisk {

class UserDefaults {
 public:
  // Over <config folder>/preferences.plist; the path is fixed at first use.
  static UserDefaults& standardUserDefaults();
  static std::string standardFilePath();

  // Reads `filePath` now; a missing file is an empty store.
  explicit UserDefaults(std::string filePath);
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  const std::string& filePath() const { return m_filePath; }

  // The stored value, else the registered default, else nothing.
  std::optional<Value> objectForKey(std::string_view key) const;
  std::optional<std::string> stringForKey(std::string_view key) const;
  // Lenient like Value's readers; a missing key gives false / 0.
  bool boolForKey(std::string_view key) const;
  std::int64_t integerForKey(std::string_view key) const;
  double doubleForKey(std::string_view key) const;

  // A Null value removes the key.
  void setObjectForKey(Value value, std::string_view key);
  void setStringForKey(std::optional<std::string> value, std::string_view key);
  void setBoolForKey(bool value, std::string_view key);
  void setIntegerForKey(std::int64_t value, std::string_view key);
  void setDoubleForKey(double value, std::string_view key);
  void removeObjectForKey(std::string_view key);

  // Adds to the registered defaults (kept in memory, never written).
  void registerDefaults(const Dictionary& defaults);
  // The stored values merged over the registered defaults.
  Dictionary dictionaryRepresentation() const;

  // Writes pending changes to the file. True when the file now holds the store.
  bool synchronize();
  // How many times synchronize() has written the file.
  int writeCountForTesting() const;

 private:
  mutable std::mutex m_mutex;
  const std::string m_filePath;
  Dictionary m_values;
  Dictionary m_registered;
  bool m_dirty = false;
  bool m_loggedWriteFailure = false;
  int m_writeCount = 0;
};

}  // namespace kdisk
