// The file fallback of Keychain: every item in one property list, rewritten
// atomically with mode 0600 on each change and read again on each lookup, so
// two processes sharing the folder see each other's items.

#include <sys/stat.h>

#include <mutex>

#include "platform/Keychain.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"

namespace kdisk {
namespace {

std::shared_ptr<spdlog::logger> log() { return logger("Keychain", LogLevel::Warning); }

Dictionary toDictionary(const KeychainItem& item) {
  return Dictionary{{"class", Value("genp")},
                    {"service", Value(item.service)},
                    {"account", Value(item.account)},
                    {"label", Value(item.label)},
                    {"description", Value(item.description)},
                    {"accessGroup", Value(item.accessGroup)},
                    {"secret", Value(item.secret)}};
}

std::optional<KeychainItem> fromDictionary(const Dictionary& dictionary) {
  KeychainItem item;
  auto text = [&](std::string_view key) { return stringForKey(dictionary, key).value_or(""); };
  if (!find(dictionary, "service")) return std::nullopt;
  item.service = text("service");
  item.account = text("account");
  item.label = text("label");
  item.description = text("description");
  item.accessGroup = text("accessGroup");
  if (const Value* secret = find(dictionary, "secret"); secret && secret->is<Bytes>())
    item.secret = *secret->get<Bytes>();
  return item;
}

class FileKeychain final : public Keychain {
 public:
  explicit FileKeychain(std::string directory)
      : m_directory(std::move(directory)), m_path(keychainFilePath(m_directory)) {}

  Backend backend() const override { return Backend::File; }

  Expected<std::optional<KeychainItem>> findGenericPassword(std::string_view service,
                                                            std::string_view accessGroup) override {
    std::lock_guard lock(m_mutex);
    for (const KeychainItem& item : readItems())
      if (item.service == service && item.accessGroup == accessGroup)
        return std::optional<KeychainItem>(item);
    return std::optional<KeychainItem>();
  }

  Status storeGenericPassword(const KeychainItem& item) override {
    std::lock_guard lock(m_mutex);
    std::vector<KeychainItem> items = readItems();
    std::erase_if(items, [&](const KeychainItem& other) {
      return other.service == item.service && other.accessGroup == item.accessGroup;
    });
    items.push_back(item);
    return writeItems(items);
  }

  Status deleteGenericPassword(std::string_view service, std::string_view accessGroup) override {
    std::lock_guard lock(m_mutex);
    std::vector<KeychainItem> items = readItems();
    const auto removed = std::erase_if(items, [&](const KeychainItem& other) {
      return other.service == service && other.accessGroup == accessGroup;
    });
    if (removed == 0) return success();
    return writeItems(items);
  }

 private:
  std::vector<KeychainItem> readItems() {
    std::vector<KeychainItem> items;
    if (!paths::fileExists(m_path)) return items;
    Expected<Dictionary> stored = PropertyList::readDictionaryFile(m_path);
    const Array* list = stored.hasValue() ? [&]() -> const Array* {
      const Value* value = find(stored.value(), "items");
      return value ? value->arrayValue() : nullptr;
    }()
        : nullptr;
    if (!list) {
      if (!m_loggedDamage) log()->error("Ignoring damaged keychain file {}", m_path);
      m_loggedDamage = true;
      return items;
    }
    for (const Value& entry : *list)
      if (const Dictionary* dictionary = entry.dictionaryValue())
        if (auto item = fromDictionary(*dictionary)) items.push_back(std::move(*item));
    return items;
  }

  Status writeItems(const std::vector<KeychainItem>& items) {
    Array list;
    for (const KeychainItem& item : items) list.emplace_back(toDictionary(item));
    Status status = paths::createDirectories(m_directory);
    // An older folder may have been made with wider permissions.
    if (status.hasValue()) ::chmod(m_directory.c_str(), 0700);
    if (status.hasValue())
      status = PropertyList::writeFileAtomically(
          m_path, Value(Dictionary{{"items", Value(std::move(list))}}), 0600);
    if (!status.hasValue())
      log()->error("Cannot write keychain file {}: {}", m_path,
                   status.error().localizedDescription);
    return status;
  }

  std::mutex m_mutex;
  const std::string m_directory;
  const std::string m_path;
  bool m_loggedDamage = false;
};

}  // namespace

std::string keychainFilePath(const std::string& directory) { return directory + "/keychain.plist"; }

std::unique_ptr<Keychain> Keychain::createFileKeychain(std::string directory) {
  return std::make_unique<FileKeychain>(std::move(directory));
}

}  // namespace kdisk
