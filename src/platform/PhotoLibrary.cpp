#include "platform/PhotoLibrary.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glib.h>

#include "platform/DispatchQueue.h"
#include "platform/Log.h"

namespace kdisk {
namespace {

namespace fs = std::filesystem;

std::shared_ptr<spdlog::logger> log() { return logger("PhotoLibrary", LogLevel::Info); }

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string uppercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string extensionOf(const std::string& name) {
  auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

std::optional<std::string> realPath(const std::string& path) {
  char buffer[PATH_MAX];
  if (!::realpath(path.c_str(), buffer)) return std::nullopt;
  return std::string(buffer);
}

KMError accessRefused(const std::string& path, int errorNumber) {
  return KMError(kKMPhotoLibraryErrorDomain, kKMPhotoLibraryAccessRefused,
                 "Access to the photo library was refused: " + path + " (" +
                     KMErrorFromErrno(errorNumber).localizedDescription + ")");
}

// The folder the user's configuration names, unless it is unset or the home
// folder itself (the way a user switches the folder off).
std::optional<std::string> userFolder(const char* variable, GUserDirectory directory) {
  if (const char* value = std::getenv(variable); value && *value) return std::string(value);
  const char* configured = g_get_user_special_dir(directory);
  if (!configured || !*configured) return std::nullopt;
  std::string path(configured);
  if (path == g_get_home_dir()) return std::nullopt;
  return path;
}

Date creationDateOf(const std::string& path) {
  struct statx info {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) == 0) {
    const auto& stamp = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
    return Date{static_cast<double>(stamp.tv_sec) + stamp.tv_nsec / 1e9};
  }
  return Date{0};
}

std::optional<std::string> queryValue(const std::string& query, const std::string& key) {
  std::size_t start = 0;
  while (start <= query.size()) {
    auto end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    std::string pair = query.substr(start, end - start);
    if (pair.rfind(key + "=", 0) == 0) return percentDecode(pair.substr(key.size() + 1));
    start = end + 1;
  }
  return std::nullopt;
}

void collectAlbums(const fs::path& folder, std::vector<PhotoAlbum>& albums) {
  std::error_code error;
  std::vector<fs::path> children;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const auto& entry = *it;
    std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code kindError;
    // Symbolic links are not followed, so a link cannot make the tree loop.
    if (entry.is_directory(kindError) && !entry.is_symlink(kindError)) children.push_back(entry.path());
  }
  std::sort(children.begin(), children.end());
  for (const auto& child : children) {
    if (::access(child.c_str(), R_OK | X_OK) != 0) {
      log()->warn("Album folder cannot be read, left out: {}", child.string());
      continue;
    }
    albums.emplace_back(child.filename().string(), child.string());
    collectAlbums(child, albums);
  }
}

}  // namespace

// ---- PhotoAssetRepresentation

PhotoAssetRepresentation::PhotoAssetRepresentation(std::string path, URL url, std::uint64_t size)
    : m_path(std::move(path)), m_url(std::move(url)), m_size(size) {}

PhotoAssetRepresentation::~PhotoAssetRepresentation() = default;

std::optional<std::string> PhotoAssetRepresentation::filename() const {
  return fs::path(m_path).filename().string();
}

std::size_t PhotoAssetRepresentation::getBytesFromOffsetLength(std::uint8_t* buffer,
                                                               std::uint64_t offset,
                                                               std::size_t length, KMError* error) {
  if (!m_fd.isValid()) {
    m_fd.reset(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!m_fd.isValid()) {
      if (error) *error = KMError(kKMPhotoLibraryErrorDomain, kKMPhotoLibraryReadFailed,
                                  KMErrorFromErrno(errno, m_path).localizedDescription);
      return 0;
    }
  }
  for (;;) {
    ssize_t count = ::pread(m_fd.get(), buffer, length, static_cast<off_t>(offset));
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno == EINTR) continue;
    if (error) *error = KMError(kKMPhotoLibraryErrorDomain, kKMPhotoLibraryReadFailed,
                                KMErrorFromErrno(errno, m_path).localizedDescription);
    return 0;
  }
}

// ---- PhotoAsset

PhotoAsset::PhotoAsset(std::string path, URL url, PhotoAssetType type, Date creationDate,
                       std::uint64_t size)
    : m_path(std::move(path)), m_url(std::move(url)), m_type(type), m_creationDate(creationDate),
      m_size(size) {}

std::shared_ptr<PhotoAssetRepresentation> PhotoAsset::defaultRepresentation() const {
  return std::make_shared<PhotoAssetRepresentation>(m_path, m_url, m_size);
}

// ---- PhotoAlbum

Expected<PhotoAssetList> PhotoAlbum::assets() const {
  std::error_code error;
  fs::directory_iterator it(m_path, error);
  if (error) return accessRefused(m_path, error.value());
  std::vector<std::string> paths;
  for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
    std::error_code kindError;
    if (!it->is_regular_file(kindError)) continue;
    std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    if (PhotoLibrary::assetTypeForExtension(extensionOf(name))) paths.push_back(it->path().string());
  }
  std::sort(paths.begin(), paths.end());
  PhotoAssetList assets;
  for (const auto& path : paths) {
    if (auto asset = PhotoLibrary::assetForFilePath(path)) assets.push_back(std::move(asset));
  }
  return assets;
}

// ---- PhotoLibrary

PhotoLibrary::PhotoLibrary() : m_folders(defaultFolders()) {}
PhotoLibrary::PhotoLibrary(std::vector<std::string> folders) : m_folders(std::move(folders)) {}

std::vector<std::string> PhotoLibrary::defaultFolders() {
  std::vector<std::string> folders;
  if (const char* list = std::getenv("KDISK_PHOTO_LIBRARY_DIRS"); list) {
    std::string text(list);
    std::size_t start = 0;
    while (start <= text.size()) {
      auto end = text.find(':', start);
      if (end == std::string::npos) end = text.size();
      if (end > start) folders.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return folders;
  }
  std::string home = g_get_home_dir();
  folders.push_back(userFolder("XDG_PICTURES_DIR", G_USER_DIRECTORY_PICTURES).value_or(home + "/Pictures"));
  auto videos = userFolder("XDG_VIDEOS_DIR", G_USER_DIRECTORY_VIDEOS).value_or(home + "/Videos");
  if (videos != folders.front()) folders.push_back(videos);
  return folders;
}

std::optional<PhotoAssetType> PhotoLibrary::assetTypeForExtension(const std::string& extension) {
  static const char* const photos[] = {"jpg", "jpeg", "png", "gif", "heic", "heif", "webp",
                                       "tif", "tiff", "bmp", "dng"};
  static const char* const videos[] = {"mov", "mp4", "m4v", "3gp", "avi", "mkv", "webm"};
  std::string lower = lowercase(extension);
  for (const char* candidate : photos)
    if (lower == candidate) return PhotoAssetType::Photo;
  for (const char* candidate : videos)
    if (lower == candidate) return PhotoAssetType::Video;
  return std::nullopt;
}

URL PhotoLibrary::assetURLForFilePath(const std::string& absolutePath) {
  std::string extension = uppercase(extensionOf(fs::path(absolutePath).filename().string()));
  std::string text = "assets-library://asset/asset." + extension + "?id=" +
                     percentEncode(absolutePath, "/") + "&ext=" + extension;
  return *URL::fromString(text);
}

std::shared_ptr<PhotoAsset> PhotoLibrary::assetForFilePath(const std::string& absolutePath) {
  auto type = assetTypeForExtension(extensionOf(fs::path(absolutePath).filename().string()));
  struct stat info {};
  if (!type || ::stat(absolutePath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  return std::make_shared<PhotoAsset>(absolutePath, assetURLForFilePath(absolutePath), *type,
                                      creationDateOf(absolutePath),
                                      static_cast<std::uint64_t>(info.st_size));
}

Expected<std::vector<PhotoAlbum>> PhotoLibrary::albums() const {
  std::vector<PhotoAlbum> albums;
  for (const auto& folder : m_folders) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
      if (errno == EACCES) return accessRefused(folder, errno);
      continue;  // a user without a Videos folder simply has no such album
    }
    if (!S_ISDIR(info.st_mode)) continue;
    if (::access(folder.c_str(), R_OK | X_OK) != 0) return accessRefused(folder, errno);
    albums.emplace_back(fs::path(folder).filename().string(), folder);
    collectAlbums(folder, albums);
  }
  return albums;
}

Expected<std::shared_ptr<PhotoAsset>> PhotoLibrary::assetForURL(const URL& url) const {
  auto invalid = [&] {
    return KMError(kKMPhotoLibraryErrorDomain, kKMPhotoLibraryInvalidURL,
                   "Not an item of the photo library: " + url.absoluteString());
  };
  if (url.scheme() != "assets-library" || !url.query()) return invalid();
  auto path = queryValue(*url.query(), "id");
  if (!path || path->empty() || (*path)[0] != '/' || path->find('\0') != std::string::npos)
    return invalid();
  auto ext = queryValue(*url.query(), "ext");
  if (!ext || uppercase(extensionOf(fs::path(*path).filename().string())) != *ext) return invalid();
  if (!assetTypeForExtension(*ext)) return invalid();

  auto resolved = realPath(*path);
  if (!resolved) {
    if (errno == EACCES) return accessRefused(*path, errno);
    // Gone from the library: no asset, as the caller must expect.
    return std::shared_ptr<PhotoAsset>();
  }
  bool inside = false;
  for (const auto& folder : m_folders) {
    auto root = realPath(folder);
    if (root && resolved->size() > root->size() && resolved->compare(0, root->size(), *root) == 0 &&
        (*resolved)[root->size()] == '/') {
      inside = true;
      break;
    }
  }
  if (!inside) return invalid();
  if (::access(resolved->c_str(), R_OK) != 0) {
    if (errno == ENOENT) return std::shared_ptr<PhotoAsset>();
    return accessRefused(*path, errno);
  }
  auto asset = assetForFilePath(*resolved);
  if (!asset) return std::shared_ptr<PhotoAsset>();
  // The asset keeps the URL it was asked for, so it compares equal to it.
  return std::make_shared<PhotoAsset>(asset->filePath(), url, asset->type(), asset->creationDate(),
                                      asset->defaultRepresentation()->size());
}

void PhotoLibrary::enumerateGroups(GroupBlock group, DoneBlock done, FailureBlock failure) const {
  auto folders = m_folders;
  dispatchBackground([folders, group = std::move(group), done = std::move(done),
                      failure = std::move(failure)] {
    auto albums = PhotoLibrary(folders).albums();
    if (!albums.hasValue()) {
      if (failure) failure(albums.error());
      return;
    }
    for (const auto& album : albums.value())
      if (group) group(album);
    if (done) done();
  });
}

void PhotoLibrary::assetForURLResultBlockFailureBlock(const URL& url, AssetBlock result,
                                                      FailureBlock failure) const {
  auto folders = m_folders;
  dispatchBackground([folders, url, result = std::move(result), failure = std::move(failure)] {
    auto asset = PhotoLibrary(folders).assetForURL(url);
    if (asset.hasValue()) {
      if (result) result(asset.value());
    } else if (failure) {
      failure(asset.error());
    }
  });
}

}  // namespace kdisk
