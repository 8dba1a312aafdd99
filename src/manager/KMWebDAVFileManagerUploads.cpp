// The manager's upload operations: the queue it owns does the work.
#include "manager/KMUploadQueue.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/NotificationCenter.h"

using kdisk::URL;

kdisk::Expected<URL> KMWebDAVFileManager::uploadFileWithDataTo(std::string_view data, const URL& target) {
  return m_uploadQueue->uploadFileWithDataTo(data, target);
}

kdisk::Expected<URL> KMWebDAVFileManager::uploadFileForFileURLTo(const URL& fileURL, const URL& target) {
  return m_uploadQueue->uploadFileForFileURLTo(fileURL, target);
}

std::vector<URL> KMWebDAVFileManager::uploadFilesForAssetsToDir(const kdisk::PhotoAssetList& assets,
                                                                const URL& directory) {
  return m_uploadQueue->uploadFilesForAssetsToDir(assets, directory);
}

void KMWebDAVFileManager::uploadNextFileInQueue() { m_uploadQueue->uploadNextFileInQueue(); }

void KMWebDAVFileManager::retryUploadFileWithURL(const URL& url) {
  m_storage->markUploadFileWithURLFailedWithReason(url, false, std::nullopt);
  m_uploadQueue->uploadNextFileInQueue();
}

void KMWebDAVFileManager::removeUploadFileWithURL(const URL& url) {
  m_storage->removeUploadFileWithURL(url);
  kdisk::NotificationCenter::defaultCenter().postNotificationInMainQueueWithNameObjectUserInfo(
      // The folder the upload was going to: what a browser of it matches.
      kdisk::manager::kKMKMWebDAVFileManagerUploadQueueWasChanged, this,
      {{"URL", url.deletingLastPathComponent().absoluteString()},
       {kdisk::manager::kKMUploadRemovedURLKey, url.absoluteString()}});
}

std::optional<URL> KMWebDAVFileManager::uploadingFileURL() const { return m_uploadQueue->uploadingFileURL(); }

void KMWebDAVFileManager::setUploadingFileURL(std::optional<URL> url) {
  m_uploadQueue->setUploadingFileURL(std::move(url));
}
