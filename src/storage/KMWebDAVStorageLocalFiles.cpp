// The local file layout of KMWebDAVStorage: downloaded copies and previews
// mirror the remote tree below Documents/Disk.
#include "storage/KMWebDAVStorage.h"

#include <filesystem>

#include "platform/Log.h"
#include "platform/Paths.h"

namespace {

std::shared_ptr<spdlog::logger> log() {
  static auto logger = kdisk::logger("KMWebDAVStorage");
  return logger;
}

std::string withTrailingSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// Joins the decoded components of `rawRemainder` below `root`, or nothing when a
// component would not name a plain entry of its folder: "." and ".." climb,
// an encoded "/" splits a name into folders, a NUL cuts it short.
std::optional<std::string> joinDecodedComponents(const std::string& root, std::string_view rawRemainder) {
  std::string path = root;
  std::size_t start = 0;
  while (start <= rawRemainder.size()) {
    std::size_t end = rawRemainder.find('/', start);
    if (end == std::string_view::npos) end = rawRemainder.size();
    std::string_view raw = rawRemainder.substr(start, end - start);
    start = end + 1;
    if (raw.empty()) continue;
    const std::string name = kdisk::percentDecode(raw);
    if (name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos) {
      return std::nullopt;
    }
    path += "/" + name;
  }
  return path;
}

}  // namespace

std::string KMWebDAVStorage::localDiskDirectoryPath() const {
  return kdisk::paths::documentsDirectory() + "/Disk";
}

std::optional<std::string> KMWebDAVStorage::localPathForWebURL(const kdisk::URL& url) const {
  if (!m_rootURL || !m_rootURL->isValid() || !url.isValid()) return std::nullopt;
  if (url.origin() != m_rootURL->origin()) return std::nullopt;
  // A query or fragment is no part of a file's name.
  const std::string& text = url.absoluteString();
  if (text.find('?') != std::string::npos || text.find('#') != std::string::npos) return std::nullopt;
  const std::string rootPath = withTrailingSlash(m_rootURL->rawPath());
  const std::string path = withTrailingSlash(url.rawPath());
  if (!path.starts_with(rootPath)) return std::nullopt;
  return joinDecodedComponents(localDiskDirectoryPath(), std::string_view(path).substr(rootPath.size()));
}

std::optional<kdisk::URL> KMWebDAVStorage::fileURLForWebURL(const kdisk::URL& url) const {
  auto path = localPathForWebURL(url);
  if (!path) return std::nullopt;
  return kdisk::URL::fileURLWithPath(*path);
}

std::optional<std::string> KMWebDAVStorage::previewPathForWebURL(const kdisk::URL& url) const {
  // Previews exist only for files with an extension; a directory or the root
  // maps to nothing rather than to a name a real file could have.
  if (url.hasDirectoryPath()) return std::nullopt;
  const std::string extension = url.pathExtension();
  if (extension.empty()) return std::nullopt;
  auto path = localPathForWebURL(url);
  if (!path || path->size() <= extension.size() + 1 || *path == localDiskDirectoryPath()) {
    return std::nullopt;
  }
  return path->substr(0, path->size() - extension.size() - 1) + "_preview." + extension;
}

std::optional<kdisk::URL> KMWebDAVStorage::filePreviewURLForWebURL(const kdisk::URL& url) const {
  auto path = previewPathForWebURL(url);
  if (!path) return std::nullopt;
  return kdisk::URL::fileURLWithPath(*path);
}

bool KMWebDAVStorage::hasCachedFileForURL(const kdisk::URL& url) const {
  auto path = localPathForWebURL(url);
  return path && kdisk::paths::fileExists(*path);
}

bool KMWebDAVStorage::saveDataForURL(std::string_view data, const kdisk::URL& url) const {
  auto path = localPathForWebURL(url);
  if (!path || *path == localDiskDirectoryPath()) return false;
  kdisk::paths::createDirectories(path->substr(0, path->rfind('/')));
  auto written = kdisk::paths::writeFileAtomically(*path, data);
  if (!written.hasValue()) {
    log()->error("Failed to save file at {}: {}", *path, written.error().localizedDescription);
    return false;
  }
  return true;
}

void KMWebDAVStorage::removeLocalCopy(const kdisk::URL& url) {
  std::error_code error;
  if (auto path = localPathForWebURL(url)) {
    if (std::filesystem::symlink_status(*path, error).type() != std::filesystem::file_type::not_found) {
      std::filesystem::remove_all(*path, error);
      if (error) log()->error("Failed to remove file item at {}\n{}", *path, error.message());
    }
  }
  if (auto preview = previewPathForWebURL(url)) {
    error.clear();
    if (std::filesystem::symlink_status(*preview, error).type() != std::filesystem::file_type::not_found) {
      std::filesystem::remove(*preview, error);
      if (error) log()->error("Failed to remove file preview item at {}\n{}", *preview, error.message());
    }
  }
}

bool KMWebDAVStorage::removeAllDownloadedFiles() {
  bool removed = true;
  performBlockInStorageQueue([&] {
    std::error_code error;
    std::filesystem::remove_all(localDiskDirectoryPath(), error);
    if (error) {
      log()->error("Failed to remove Disk directory: {}", error.message());
      removed = false;
    }
  });
  return removed;
}
