// Copies of photo-library items, made when an item's turn to be sent comes.
#include "manager/KMUploadQueue.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "manager/KMWebDAVFileManagerLog.h"
#include "platform/FileOwners.h"
#include "platform/Paths.h"

namespace kdisk::manager {
namespace {

constexpr std::size_t kAssetCopyBufferSize = 8192;

}  // namespace

// ---- Library copies

void KMUploadQueue::saveAssetToTempFileCompletionBlockFailureBlock(const kdisk::URL& assetURL,
                                                                    SaveCompletion completion,
                                                                    SaveFailure failure) {
  const std::string directory = assetCopiesDirectory();
  auto copy = [assetURL, directory, completion, failure](std::shared_ptr<PhotoAsset> asset) {
    if (!asset) {
      // The library no longer holds the item. Sending an empty file would
      // report a photo as uploaded that never was; the row is kept as failed.
      log()->error("Can not get asset - {}", "the photo library no longer holds it");
      failure(KMError(kKMPhotoLibraryErrorDomain, kKMPhotoLibraryAssetGone,
                      "The photo library no longer holds this item."));
      return;
    }
    const std::string path = directory + "/" + assetURL.lastPathComponent();
    log()->debug("Writing to {}", path);
    UniqueFd fd;
    if (paths::createDirectories(directory).hasValue())
      fd.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.isValid()) {
      log()->error("Can not create tmp file for asset.");
      failure(std::nullopt);
      return;
    }
    auto representation = asset->defaultRepresentation();
    std::uint8_t buffer[kAssetCopyBufferSize];
    std::uint64_t offset = 0;
    if (representation->size() != 0) {
      for (;;) {
        KMError error;
        std::size_t count = representation->getBytesFromOffsetLength(buffer, offset, sizeof buffer, &error);
        if (count == 0) {
          if (!error.domain.empty()) {
            log()->error("Can not read data from asset.\n{}", error.description());
            fd.reset();
            failure(error);
            return;
          }
          break;
        }
        // A short or failed write (a full disk) must not pass for a whole copy.
        std::size_t written = 0;
        while (written < count) {
          ssize_t result = ::write(fd.get(), buffer + written, count - written);
          if (result < 0 && errno == EINTR) continue;
          if (result <= 0) {
            KMError writeError = KMErrorFromErrno(result < 0 ? errno : ENOSPC, path);
            log()->error("Can not write data of asset.\n{}", writeError.description());
            fd.reset();
            ::unlink(path.c_str());
            failure(writeError);
            return;
          }
          written += static_cast<std::size_t>(result);
        }
        offset += count;
      }
    }
    if (fd.close() != 0) {
      KMError closeError = KMErrorFromErrno(errno, path);
      ::unlink(path.c_str());
      failure(closeError);
      return;
    }
    completion(kdisk::URL::fileURLWithPath(path));
  };
  m_environment.photoLibrary().assetForURLResultBlockFailureBlock(
      assetURL, copy, [failure](const KMError& error) {
        log()->error("Can not get asset - {}", error.description());
        failure(error);
      });
}

}  // namespace kdisk::manager
