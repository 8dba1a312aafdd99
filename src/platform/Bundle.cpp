#include "platform/Bundle.h"

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "platform/Localization.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/StringTable.h"

namespace kdisk {
namespace {

std::shared_ptr<spdlog::logger> log() { return logger("Bundle", LogLevel::Warning); }

std::string executableDirectory() {
  char buffer[4096];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return ".";
  std::string path(buffer, static_cast<std::size_t>(length));
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string findResourcePath() {
  if (const char* named = std::getenv("KDISK_RESOURCES_DIR"); named && *named) return named;
  const std::string programFolder = executableDirectory();
  const std::string beside = programFolder + "/resources";
  if (paths::fileExists(beside)) return beside;
  return programFolder + "/../share/kalumo-disk/resources";
}

// Tables are read once per process and shared; a missing or damaged table is
// remembered as empty, so its failure is logged once.
class StringTableCache {
 public:
  std::shared_ptr<const StringTable> table(const std::string& path) {
    std::lock_guard lock(m_mutex);
    auto found = m_tables.find(path);
    if (found != m_tables.end()) return found->second;
    auto table = std::make_shared<StringTable>();
    if (paths::fileExists(path)) {
      Expected<StringTable> parsed = StringTable::readFile(path);
      if (parsed.hasValue())
        *table = std::move(parsed.value());
      else
        log()->error("Ignoring string table {}: {}", path, parsed.error().localizedDescription);
    }
    m_tables.emplace(path, table);
    return table;
  }

 private:
  std::mutex m_mutex;
  std::map<std::string, std::shared_ptr<const StringTable>> m_tables;
};

StringTableCache& stringTables() {
  static StringTableCache* cache = new StringTableCache;
  return *cache;
}

}  // namespace

const Bundle& Bundle::mainBundle() {
  static const Bundle* bundle = new Bundle(findResourcePath());
  return *bundle;
}

Bundle::Bundle(std::string resourcePath) : m_resourcePath(std::move(resourcePath)) {
  const std::string infoPath = m_resourcePath + "/Info.plist";
  Expected<Dictionary> info = PropertyList::readDictionaryFile(infoPath);
  if (info.hasValue())
    m_info = std::move(info.value());
  else
    log()->error("Cannot read the bundle's Info.plist at {}: {}", infoPath,
                 info.error().localizedDescription);
}

std::optional<std::string> Bundle::pathForResourceOfType(std::string_view name,
                                                         std::string_view type,
                                                         std::string_view subdirectory) const {
  std::string path = m_resourcePath;
  if (!subdirectory.empty()) path.append("/").append(subdirectory);
  path.append("/").append(name);
  if (!type.empty()) {
    const std::string suffix = "." + std::string(type);
    if (path.size() < suffix.size() ||
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
      path.append(suffix);
  }
  if (!paths::fileExists(path)) return std::nullopt;
  return path;
}

std::optional<std::string> Bundle::objectForInfoDictionaryKey(std::string_view key) const {
  const Value* value = find(m_info, key);
  if (!value) return std::nullopt;
  if (const std::string* text = value->stringValue()) return *text;
  if (value->is<std::int64_t>()) return std::to_string(*value->get<std::int64_t>());
  return std::nullopt;
}

std::string Bundle::localizedStringForKeyValueTable(std::string_view key, std::string_view value,
                                                    std::string_view table) const {
  const std::string tableName = table.empty() ? std::string("Localizable") : std::string(table);
  // The first preferred language the bundle has, else its development region;
  // with no preference at all, Russian, the application's own default language.
  std::string folder;
  const std::vector<std::string> languages = preferredLanguages();
  if (languages.empty() && paths::fileExists(m_resourcePath + "/ru.lproj")) folder = "ru.lproj";
  for (const std::string& language : languages) {
    if (paths::fileExists(m_resourcePath + "/" + language + ".lproj")) {
      folder = language + ".lproj";
      break;
    }
  }
  if (folder.empty())
    folder = objectForInfoDictionaryKey("CFBundleDevelopmentRegion").value_or("en") + ".lproj";
  auto strings = stringTables().table(m_resourcePath + "/" + folder + "/" + tableName + ".strings");
  if (auto text = strings->lookup(key)) return *text;
  return std::string(value.empty() ? key : value);
}

std::string KMLocalizedString(std::string_view key, std::string_view fallback,
                              std::string_view table) {
  return Bundle::mainBundle().localizedStringForKeyValueTable(key, fallback, table);
}

}  // namespace kdisk
