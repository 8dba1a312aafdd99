// Downloads of files into the store's local files; previews and their
// thumbnails are in KMWebDAVFileManagerImages.cpp.
#include "manager/KMWebDAVFileManager.h"
#include "manager/KMWebDAVFileManagerLog.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMFile.h"

using kdisk::Dictionary;
using kdisk::URL;

namespace {

std::uint64_t unsignedLength(std::int64_t length) {
  return length > 0 ? static_cast<std::uint64_t>(length) : 0;
}

}  // namespace

std::shared_ptr<KMDiskRequest> KMWebDAVFileManager::startDownloadFileForURL(const URL& url) {
  auto request = std::make_shared<KMDiskRequest>(url);
  request->setOAuthToken(OAuthToken());
  request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
  const std::string urlText = url.absoluteString();
  auto localFile = m_storage->fileURLForWebURL(url);
  if (!localFile) {
    // Without a place of its own in the cache the body would pile up in memory
    // and then be refused by the store anyway.
    kdisk::manager::log()->error("No local file for {}; download not started.", urlText);
    post(kKMKMWebDAVFileManagerDidFailToDownloadFile, {{"URL", urlText}});
    return request;
  }
  request->setFileURL(localFile);
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  request->setDidReceiveResponseBlock([weak, url](const KMRequest::HTTPResponse& response, bool& accept) {
    auto self = weak.lock();
    if (!self || !accept) return;  // an error page's tag describes no file of ours
    auto etag = response.valueForHTTPHeaderField("ETag");
    if (!etag || etag->empty()) return;
    // A row listed without a tag is matched by size and date; a tag from the
    // download alone would make the next listing look like a change.
    auto cached = self->m_storage->fileItemAtURL(url);
    auto* file = dynamic_cast<const KMFile*>(cached.get());
    if (file && file->etag()) self->m_storage->updateETagForItemAtURL(*etag, url);
  });
  request->setDidGetPartialDataBlock([weak, urlText](std::uint64_t received, std::int64_t expected) {
    if (auto self = weak.lock())
      self->post(kKMKMWebDAVFileManagerDidGetPartialDataForFile,
                 {{"URL", urlText},
                  {"receivedDataLength", received},
                  {"expectedDataLength", unsignedLength(expected)}});
  });
  request->setDidFinishLoadingBlock([weak, url, urlText](const std::optional<std::string>& data) {
    auto self = weak.lock();
    if (!self) return;
    if (data && !data->empty()) self->m_storage->saveDataForURL(*data, url);
    self->post(kKMKMWebDAVFileManagerDidDownloadFile, {{"URL", urlText}});
  });
  request->setDidFailBlock([weak, urlText](const KMError&) {
    if (auto self = weak.lock()) self->post(kKMKMWebDAVFileManagerDidFailToDownloadFile, {{"URL", urlText}});
  });
  request->start();
  post(kKMKMWebDAVFileManagerDidStartDownloadFile, {{"URL", urlText}});
  return request;
}

URL KMWebDAVFileManager::previewURLForFileURL(const URL& url) const {
  const std::string text = fmt::format("{}?preview&size={}", url.absoluteString(), previewMaxDimension());
  return URL::fromString(text).value_or(url);
}

void KMWebDAVFileManager::clearFilePreviewCache() {
  if (m_filePreviewCache) m_filePreviewCache->clear();
  m_loadingPreviewPaths.clear();
  ++m_previewCacheGeneration;
}
