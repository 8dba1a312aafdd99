#pragma once
// Saving a picture file into the photo library: a copy of the file goes into
// the library's first album folder (the user's Pictures folder) under the
// file's own name, or "name (n).ext" when that is taken; an existing file is
// never replaced. The file must decode as a picture. Work happens on the
// shared background queue; the completion runs on the main thread with the
// saved copy's path or the error (folder missing or not writable, not a
// picture, disk full).
#include <functional>
#include <string>

#include "platform/Expected.h"
#include "platform/PhotoLibrary.h"

namespace kdisk {

inline constexpr const char* kKMSavedPhotosAlbumErrorDomain = "KMSavedPhotosAlbumErrorDomain";
enum KMSavedPhotosAlbumErrorCode : std::int64_t {
  kKMSavedPhotosAlbumNoAlbum = 1,
  kKMSavedPhotosAlbumNotAPicture = 2,
  kKMSavedPhotosAlbumWriteFailed = 3,
};

using KMSavedPhotosAlbumCompletion = std::function<void(const Expected<std::string>& savedPath)>;

void UIImageFileWriteToSavedPhotosAlbum(const std::string& path, const PhotoLibrary& library,
                                        KMSavedPhotosAlbumCompletion completion);

// The copy itself, on the calling thread.
Expected<std::string> KMCopyFileIntoAlbumFolder(const std::string& path, const std::string& albumFolder);

}  // namespace kdisk
