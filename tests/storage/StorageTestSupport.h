#pragma once
// Builders shared by the store's tests.

#include <memory>
#include <optional>
#include <string>

#include "platform/URL.h"
#include "storage/KMWebDAVStorage.h"
#include "webdav/KMDirectory.h"
#include "webdav/KMFile.h"

namespace kdisk::test {

inline constexpr const char* kRoot = "https://webdav.kalumo.test/disk/";

inline URL url(const std::string& path) { return *URL::fromString(std::string("https://webdav.kalumo.test") + path); }

inline std::shared_ptr<KMFile> file(const std::string& path, std::optional<std::string> etag,
                                    std::optional<std::string> name = std::nullopt,
                                    std::uint64_t size = 10) {
  auto item = KMFile::fileItemWithURL(url(path));
  item->setEtag(std::move(etag));
  item->setDisplayName(name ? name : std::optional<std::string>(url(path).lastPathComponent()));
  item->setSize(size);
  item->setLastModified(Date{1000});
  return item;
}

inline std::shared_ptr<KMDirectory> directory(const std::string& path,
                                              std::optional<std::string> name = std::nullopt) {
  auto item = KMDirectory::fileItemWithURL(url(path));
  item->setDisplayName(name ? name : std::optional<std::string>(url(path).lastPathComponent()));
  return item;
}

inline std::shared_ptr<KMUploadFile> upload(const std::string& path, std::uint64_t size = 100) {
  auto item = KMUploadFile::uploadFileWithURL(url(path));
  item->setLocalURL(URL::fileURLWithPath("/tmp/source" + std::to_string(size)));
  item->setSize(size);
  return item;
}

inline std::vector<std::string> urlsOf(const KMFileItemList& items) {
  std::vector<std::string> urls;
  for (const auto& item : items) urls.push_back(item->URL().rawPath());
  return urls;
}

}  // namespace kdisk::test
