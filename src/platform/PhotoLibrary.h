#pragma once
// The photo library: pictures and videos in the user's XDG Pictures and Videos
// folders. Each of those folders and each folder below them is an album; each
// picture or video file directly in an album is an asset.
//
// An asset is named by a URL of the scheme "assets-library" that stays the same
// across runs while the file stays where it is:
//   assets-library://asset/asset.JPG?id=<percent-encoded absolute path>&ext=JPG
// Every asset of one type ends in the same component ("asset.JPG"), as upload
// copies rely on. A URL is resolved only to a media file inside one of the
// library's folders, so a made-up URL cannot reach any other file.
//
// The folders come from KDISK_PHOTO_LIBRARY_DIRS (colon-separated, for tests),
// else the XDG user folders (XDG_PICTURES_DIR / XDG_VIDEOS_DIR, user-dirs.dirs),
// else ~/Pictures and ~/Videos.
//
// Objects are plain values, safe to hand between threads; a representation's
// reads are not locked, so one thread reads one representation at a time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Expected.h"
#include "platform/FileOwners.h"
#include "platform/URL.h"
#include "platform/Value.h"

namespace kdisk {

inline constexpr const char* kKMPhotoLibraryErrorDomain = "KMPhotoLibraryErrorDomain";
enum KMPhotoLibraryErrorCode : std::int64_t {
  // A library folder cannot be read: the user has not granted access to it.
  kKMPhotoLibraryAccessRefused = 1,
  // The URL is not of the library (wrong scheme, or outside its folders).
  kKMPhotoLibraryInvalidURL = 2,
  kKMPhotoLibraryReadFailed = 3,
  // The item is no longer in the library.
  kKMPhotoLibraryAssetGone = 4,
};

enum class PhotoAssetType { Photo, Video };

// The bytes of one asset as stored: its file.
class PhotoAssetRepresentation {
 public:
  PhotoAssetRepresentation(std::string path, URL url, std::uint64_t size);
  ~PhotoAssetRepresentation();
  PhotoAssetRepresentation(const PhotoAssetRepresentation&) = delete;
  PhotoAssetRepresentation& operator=(const PhotoAssetRepresentation&) = delete;

  const URL& url() const { return m_url; }
  // The file's own name, extension case kept.
  std::optional<std::string> filename() const;
  std::uint64_t size() const { return m_size; }
  // Reads up to `length` bytes at `offset`; 0 at the end. On failure returns 0
  // and fills `error`.
  std::size_t getBytesFromOffsetLength(std::uint8_t* buffer, std::uint64_t offset,
                                       std::size_t length, KMError* error);

 private:
  std::string m_path;
  URL m_url;
  std::uint64_t m_size;
  UniqueFd m_fd;
};

class PhotoAsset {
 public:
  PhotoAsset(std::string path, URL url, PhotoAssetType type, Date creationDate, std::uint64_t size);

  PhotoAssetType type() const { return m_type; }
  Date creationDate() const { return m_creationDate; }
  const std::string& filePath() const { return m_path; }
  const URL& url() const { return m_url; }
  // A fresh representation each call, so two readers never share a file offset.
  std::shared_ptr<PhotoAssetRepresentation> defaultRepresentation() const;

 private:
  std::string m_path;
  URL m_url;
  PhotoAssetType m_type;
  Date m_creationDate;
  std::uint64_t m_size;
};

using PhotoAssetList = std::vector<std::shared_ptr<PhotoAsset>>;

class PhotoAlbum {
 public:
  PhotoAlbum(std::string name, std::string path) : m_name(std::move(name)), m_path(std::move(path)) {}
  const std::string& name() const { return m_name; }
  const std::string& path() const { return m_path; }
  // The album's pictures and videos, sorted by file name; access refused when
  // the folder cannot be read.
  Expected<PhotoAssetList> assets() const;

 private:
  std::string m_name;
  std::string m_path;
};

class PhotoLibrary {
 public:
  using GroupBlock = std::function<void(const PhotoAlbum& album)>;
  using DoneBlock = std::function<void()>;
  using AssetBlock = std::function<void(std::shared_ptr<PhotoAsset> assetOrNull)>;
  using FailureBlock = std::function<void(const KMError& error)>;

  PhotoLibrary();
  explicit PhotoLibrary(std::vector<std::string> folders);

  // The library's top folders, existing or not, in order.
  static std::vector<std::string> defaultFolders();
  const std::vector<std::string>& folders() const { return m_folders; }

  // Every album, top folders first, each followed by its subfolders (sorted).
  // A top folder that exists but cannot be read refuses access for the whole
  // library; an unreadable folder below one is left out.
  Expected<std::vector<PhotoAlbum>> albums() const;
  // The asset named by `url`: null when the library no longer holds it (the
  // file is gone), an error when the URL is not one of the library's.
  Expected<std::shared_ptr<PhotoAsset>> assetForURL(const URL& url) const;

  // The same on the shared background queue, reporting there: each album, then
  // done; or only the failure.
  void enumerateGroups(GroupBlock group, DoneBlock done, FailureBlock failure) const;
  void assetForURLResultBlockFailureBlock(const URL& url, AssetBlock result,
                                          FailureBlock failure) const;

  static std::optional<PhotoAssetType> assetTypeForExtension(const std::string& extension);
  // The URL of a file, which must be a media file (not checked against folders).
  static URL assetURLForFilePath(const std::string& absolutePath);
  // The asset of a media file path, or null when it is not one or cannot be read.
  static std::shared_ptr<PhotoAsset> assetForFilePath(const std::string& absolutePath);

 private:
  std::vector<std::string> m_folders;
};

}  // namespace kdisk
