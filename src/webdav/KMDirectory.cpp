#include "webdav/KMDirectory.h"

#include <array>

#include "webdav/KMWebDAVEnvironment.h"

std::optional<std::string> KMDirectory::localizedNameForFolderWithPath(const std::string& path) {
  static constexpr std::array<std::string_view, 4> kStandardFolders = {
      "/disk", "/disk/Documents", "/disk/Images", "/disk/Music"};
  for (std::string_view folder : kStandardFolders) {
    if (path == folder) return kdisk::webdav::localizedString(folder, folder, "DiskCommon");
  }
  return std::nullopt;
}

std::string KMDirectory::displayName() const {
  std::string path = URL().path();
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  if (auto localized = localizedNameForFolderWithPath(path)) return *localized;
  return KMFileItem::displayName();
}
