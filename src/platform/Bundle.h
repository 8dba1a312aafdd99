#pragma once
// The application bundle: the resources folder with Info.plist, property lists,
// string tables and images. Found through $KDISK_RESOURCES_DIR, else the
// "resources" folder beside the running program, else
// <program>/../share/kalumo-disk/resources.
//
// Immutable after creation; safe to read from any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Value.h"

namespace kdisk {

class Bundle {
 public:
  static const Bundle& mainBundle();
  explicit Bundle(std::string resourcePath);

  const std::string& resourcePath() const { return m_resourcePath; }
  // Path of "<name>.<type>" (type may be empty, or already part of name) in the
  // resources folder or `subdirectory` below it; nothing when absent.
  std::optional<std::string> pathForResourceOfType(std::string_view name, std::string_view type,
                                                   std::string_view subdirectory = {}) const;
  // Info.plist as a dictionary; empty when missing or damaged (logged once).
  const Dictionary& infoDictionary() const { return m_info; }
  std::optional<std::string> objectForInfoDictionaryKey(std::string_view key) const;

  // The text for `key` in string table `table` ("Localizable" when empty) of the
  // application language, else `value` (the built-in fallback), else the key.
  std::string localizedStringForKeyValueTable(std::string_view key, std::string_view value,
                                              std::string_view table = {}) const;

 private:
  std::string m_resourcePath;
  Dictionary m_info;
};

// Shorthand for the main bundle's localized text with its built-in fallback.
std::string KMLocalizedString(std::string_view key, std::string_view fallback,
                              std::string_view table = {});

}  // namespace kdisk
