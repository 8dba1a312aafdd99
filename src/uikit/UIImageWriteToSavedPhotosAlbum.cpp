#include "uikit/UIImageWriteToSavedPhotosAlbum.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "graphics/UIImage.h"
#include "platform/DispatchQueue.h"
#include "platform/FileOwners.h"

namespace kdisk {
namespace {

// Opens a new file next to nothing else of that name: O_EXCL makes the
// check and the creation one step, so two saves never share a name.
int createFreshFile(const std::filesystem::path& folder, const std::filesystem::path& name,
                    std::string& chosen) {
  const std::string stem = name.stem().string();
  const std::string extension = name.extension().string();
  for (int attempt = 0; attempt < 10000; ++attempt) {
    const std::string candidate =
        attempt == 0 ? name.string() : stem + " (" + std::to_string(attempt) + ")" + extension;
    const std::filesystem::path path = folder / candidate;
    int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor >= 0) {
      chosen = path.string();
      return descriptor;
    }
    if (errno != EEXIST)
      return -1;
  }
  errno = EEXIST;
  return -1;
}

KMError writeFailure(int errorNumber, const std::string& path) {
  KMError posix = KMErrorFromErrno(errorNumber, path);
  return KMError(kKMSavedPhotosAlbumErrorDomain, kKMSavedPhotosAlbumWriteFailed,
                 posix.localizedDescription);
}

} // namespace

Expected<std::string> KMCopyFileIntoAlbumFolder(const std::string& path,
                                                const std::string& albumFolder) {
  std::error_code error;
  if (!std::filesystem::is_directory(albumFolder, error))
    return KMError(kKMSavedPhotosAlbumErrorDomain, kKMSavedPhotosAlbumNoAlbum,
                   "The photo album folder " + albumFolder + " does not exist");
  UniqueFd source(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!source.isValid())
    return writeFailure(errno, path);
  std::string target;
  UniqueFd destination(createFreshFile(albumFolder, std::filesystem::path(path).filename(), target));
  if (!destination.isValid())
    return writeFailure(errno, albumFolder);
  std::vector<char> buffer(256 * 1024);
  int failure = 0;
  for (;;) {
    ssize_t got = ::read(source.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      failure = errno;
      break;
    }
    if (got == 0)
      break;
    for (ssize_t written = 0; written < got;) {
      ssize_t put = ::write(destination.get(), buffer.data() + written, std::size_t(got - written));
      if (put < 0 && errno == EINTR)
        continue;
      if (put < 0) {
        failure = errno;
        break;
      }
      written += put;
    }
    if (failure)
      break;
  }
  if (destination.close() != 0 && !failure)
    failure = errno;
  if (failure) {
    // Half a picture in the album is worse than none.
    ::unlink(target.c_str());
    return writeFailure(failure, target);
  }
  return target;
}

void UIImageFileWriteToSavedPhotosAlbum(const std::string& path, const PhotoLibrary& library,
                                        KMSavedPhotosAlbumCompletion completion) {
  const std::vector<std::string> folders = library.folders();
  dispatchBackground([path, folders, completion = std::move(completion)] {
    Expected<std::string> result = [&]() -> Expected<std::string> {
      if (folders.empty())
        return KMError(kKMSavedPhotosAlbumErrorDomain, kKMSavedPhotosAlbumNoAlbum,
                       "There is no photo album");
      // Only what shows as a picture goes into the album.
      if (!UIImage::imageWithContentsOfFileFittingPixelDimension(path, 64))
        return KMError(kKMSavedPhotosAlbumErrorDomain, kKMSavedPhotosAlbumNotAPicture,
                       "The file is not a picture");
      return KMCopyFileIntoAlbumFolder(path, folders.front());
    }();
    dispatchMain([completion, result] { completion(result); });
  });
}

} // namespace kdisk
