#include "manager/KMUploadQueue.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "manager/KMDirectoryListing.h"
#include "manager/KMUploadNotifications.h"
#include "manager/KMWebDAVFileManagerLog.h"
#include "platform/DateFormat.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"
#include "storage/KMWebDAVStorage.h"
#include "webdav/KMFile.h"
#include "webdav/KMUploadTransfer.h"

namespace kdisk::manager {
namespace {

namespace fs = std::filesystem;

constexpr double kUploadTimeoutSeconds = 30;
// The answer to a create-only PUT whose name is taken on the service.
constexpr std::uint64_t kStatusPreconditionFailed = 412;
// Sends of one upload under ever new names before it is marked failed; others
// may keep taking names as fast as the queue picks them.
constexpr unsigned kMaxNameAttempts = 5;

}  // namespace

// ---- Request record

std::uint64_t KMUploadRequest::responseStatusCode() const {
  return transfer ? static_cast<std::uint64_t>(transfer->responseStatusCode()) : 0;
}

std::optional<KMError> KMUploadRequest::error() const {
  return transfer ? transfer->error() : std::nullopt;
}

// ---- Life

std::shared_ptr<KMUploadQueue> KMUploadQueue::create(std::shared_ptr<KMWebDAVStorage> storage,
                                                     Environment environment) {
  return std::make_shared<KMUploadQueue>(std::move(storage), std::move(environment));
}

KMUploadQueue::KMUploadQueue(std::shared_ptr<KMWebDAVStorage> storage, Environment environment)
    : m_storage(std::move(storage)), m_environment(std::move(environment)),
      m_serialUploadQueue(m_environment.serialUploadQueue
                              ? m_environment.serialUploadQueue
                              : DispatchQueue::createSerial("ru.kalumo.disk.serialUploadQueue")),
      m_sequence(m_serialUploadQueue) {
  if (!m_environment.photoLibrary) m_environment.photoLibrary = [] { return PhotoLibrary(); };
}

std::string KMUploadQueue::assetCopiesDirectory() const {
  const std::string base = m_environment.temporaryDirectory.empty() ? paths::temporaryDirectory()
                                                                    : m_environment.temporaryDirectory;
  return base + "/assets";
}

std::string KMUploadQueue::dataUploadsDirectory() const {
  const std::string base = m_environment.temporaryDirectory.empty() ? paths::temporaryDirectory()
                                                                    : m_environment.temporaryDirectory;
  return base + "/uploads";
}

std::optional<kdisk::URL> KMUploadQueue::uploadingFileURL() const {
  std::lock_guard lock(m_slotMutex);
  return m_uploadingFileURL;
}

void KMUploadQueue::setUploadingFileURL(std::optional<kdisk::URL> url) {
  std::shared_ptr<KMUploadRequest> finished;
  std::lock_guard lock(m_slotMutex);
  m_uploadingFileURL = std::move(url);
  if (!m_uploadingFileURL) {
    m_uploadingRowLocalURL.reset();
    finished = std::move(m_inFlight);
  }
}

void KMUploadQueue::post(const char* name, const kdisk::URL& url, Dictionary extra) const {
  extra[kKMUploadURLKey] = url.absoluteString();
  NotificationCenter::defaultCenter().postNotificationInMainQueueWithNameObjectUserInfo(
      name, m_environment.notificationObject, std::move(extra));
}

// ---- Ways in

Expected<kdisk::URL> KMUploadQueue::addOne(const kdisk::URL& target, const kdisk::URL& localURL,
                                          std::uint64_t size) {
  std::lock_guard lock(m_addMutex);
  auto used = m_storage->allUsedFileURLsInDirectoryAtURL(target.deletingLastPathComponent());
  kdisk::URL unique = uniqueURLForDefaultURLInUsedURLs(target, used);
  auto upload = KMUploadFile::uploadFileWithURL(unique);
  upload->setLocalURL(localURL);
  upload->setSize(size);
  upload->setUploadedSize(0);
  auto added = m_storage->addUploadFiles({upload});
  if (!added.hasValue()) return added.error();
  if (!m_storage->existUploadFileWithURL(unique)) {
    return KMError(kKMFileErrorDomain, EIO, "The upload could not be queued: " + unique.absoluteString());
  }
  return unique;
}

Expected<kdisk::URL> KMUploadQueue::uploadFileWithDataTo(std::string_view data, const kdisk::URL& target) {
  // Each in-memory upload gets its own folder: two uploads of one name to two
  // folders must not share a file, or the first would send the second's bytes.
  const std::string root = dataUploadsDirectory();
  if (auto created = paths::createDirectories(root); !created.hasValue()) return created.error();
  std::string folderTemplate = root + "/XXXXXX";
  if (!::mkdtemp(folderTemplate.data())) return KMErrorFromErrno(errno, root);
  std::string name = target.lastPathComponent();
  if (name.empty() || name == "/" || name == "." || name == "..") name = "upload";
  const std::string path = folderTemplate + "/" + name;
  if (auto written = paths::writeFileAtomically(path, data); !written.hasValue()) {
    removeTemporarySource(path);
    return written.error();
  }
  auto added = addOne(target, kdisk::URL::fileURLWithPath(path), data.size());
  if (!added.hasValue()) {
    removeTemporarySource(path);
    return added;
  }
  post(kKMKMWebDAVFileManagerUploadQueueWasChanged, added.value().deletingLastPathComponent());
  uploadNextFileInQueue();
  return added;
}

Expected<kdisk::URL> KMUploadQueue::uploadFileForFileURLTo(const kdisk::URL& fileURL,
                                                           const kdisk::URL& target) {
  struct stat info {};
  const std::uint64_t size = ::stat(fileURL.path().c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  auto added = addOne(target, fileURL, size);
  if (!added.hasValue()) return added;
  post(kKMKMWebDAVFileManagerUploadQueueWasChanged, added.value().deletingLastPathComponent());
  uploadNextFileInQueue();
  return added;
}

std::vector<kdisk::URL> KMUploadQueue::uploadFilesForAssetsToDir(const PhotoAssetList& assets,
                                                                 const kdisk::URL& directory) {
  log()->debug("Got {} file(s) as assets. Add them to upload queue.", assets.size());
  std::vector<kdisk::URL> targets;
  {
    std::lock_guard lock(m_addMutex);
    auto used = m_storage->allUsedFileURLsInDirectoryAtURL(directory);
    KMUploadFileList result;
    for (const auto& asset : assets) {
      if (!asset) continue;
      auto representation = asset->defaultRepresentation();
      const kdisk::URL& assetURL = representation->url();
      std::string name;
      if (auto filename = representation->filename(); filename && !filename->empty()) {
        name = *filename;
      } else {
        name = fileNameDateFormatter().stringFromDate(asset->creationDate()) + "." +
               [](std::string extension) {
                 std::transform(extension.begin(), extension.end(), extension.begin(),
                                [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                 return extension;
               }(assetURL.pathExtension());
      }
      log()->debug("Add to queue file: {} size: {}.", name, representation->size());
      kdisk::URL unique = uniqueURLForDefaultURLInUsedURLs(directory.appendingPathComponent(name), used);
      used.push_back(unique);
      auto upload = KMUploadFile::uploadFileWithURL(unique);
      upload->setLocalURL(assetURL);
      upload->setSize(representation->size());
      upload->setUploadedSize(0);
      result.push_back(upload);
    }
    if (!m_storage->addUploadFiles(result).hasValue()) result.clear();
    for (const auto& upload : result)
      if (m_storage->existUploadFileWithURL(upload->URL())) targets.push_back(upload->URL());
  }
  post(kKMKMWebDAVFileManagerUploadQueueWasChanged, directory);
  uploadNextFileInQueue();
  return targets;
}

// ---- The queue

void KMUploadQueue::uploadNextFileInQueue() {
  auto self = shared_from_this();
  m_serialUploadQueue->async([self] { self->uploadNextFileInQueueOnQueue(); });
}

void KMUploadQueue::assertInvariants() const {
  KDISK_CHECK_SEQUENCE(m_sequence, "KMUploadQueue");
  std::lock_guard lock(m_slotMutex);
  // A free slot has no send and no picked row; a send holds the slot under its own name.
  KDISK_CONTRACT(m_uploadingFileURL || (!m_inFlight && !m_uploadingRowLocalURL),
                 "KMUploadQueue: a send or a picked row without the slot");
  KDISK_CONTRACT(!m_inFlight || m_uploadingFileURL == m_inFlight->URL,
                 "KMUploadQueue: the send in flight is " + (m_inFlight ? m_inFlight->URL.absoluteString() : "") +
                     " but the slot holds " + (m_uploadingFileURL ? m_uploadingFileURL->absoluteString() : ""));
  KDISK_CONTRACT(!m_inFlight || m_inFlight->transfer, "KMUploadQueue: a send in flight without its transfer");
}

void KMUploadQueue::uploadNextFileInQueueOnQueue() {
  KDISK_CHECK_SEQUENCE(m_sequence, "KMUploadQueue");
  log()->debug("Upload next file in queue.");
  if (auto current = uploadingFileURL()) {
    log()->debug("Somebody ({}) is uploading now. Quit.", current->absoluteString());
    return;
  }
  if (!hostIsReachable()) {
    log()->info("Host became unreachable. Pause uploading.");
    return;
  }
  auto next = m_storage->nextFileInUploadQueue();
  if (!next) {
    log()->debug("There are no more files in upload queue.");
    return;
  }
  log()->debug("\n<-----\nTrying to upload next file in queue ({}).", next->URL().lastPathComponent());
  {
    std::lock_guard lock(m_slotMutex);
    m_uploadingFileURL = next->URL();
    m_uploadingRowLocalURL = next->localURL();
  }
  const kdisk::URL remoteURL = next->URL();
  const std::optional<kdisk::URL> localURL = next->localURL();
  if (localURL && localURL->isFileURL()) {
    startUploadFileAtTo(*localURL, remoteURL);
    return;
  }
  auto failQueued = [this, remoteURL](const char* reason) {
    m_storage->markUploadFileWithURLFailedWithReason(remoteURL, true, reason);
    post(kKMKMWebDAVFileManagerDidFailToUploadFile, remoteURL);
    endInFlight();
  };
  if (localURL && localURL->scheme() == "assets-library") {
    log()->debug("Next file is asset. Need to save it before uploading.");
    auto self = shared_from_this();
    saveAssetToTempFileCompletionBlockFailureBlock(
        *localURL,
        [self, remoteURL](const kdisk::URL& temporaryFileURL) {
          log()->debug("Asset was saved to {}", temporaryFileURL.path());
          // The copy ends on a library thread; the send starts on the queue.
          self->m_serialUploadQueue->async(
              [self, remoteURL, temporaryFileURL] { self->startUploadFileAtTo(temporaryFileURL, remoteURL); });
        },
        [self, remoteURL, localURL, failQueued](const std::optional<KMError>&) {
          log()->error("Failed to save Asset for {}", localURL->absoluteString());
          // One step on the queue, as every other end of an upload: whoever
          // syncs with the queue sees the row failed and the slot free together.
          self->m_serialUploadQueue->async(
              [failQueued] { failQueued(kKMWebDAVFileManagerUploadErrorCannotSaveAssetToTempFile); });
        });
    return;
  }
  // A row whose source is neither a file nor a library item cannot be sent;
  // left waiting it would block the queue for good.
  log()->error("Upload {} has no readable source; marked failed.", remoteURL.absoluteString());
  failQueued(kKMWebDAVFileManagerUploadErrorUnknownError);
}

void KMUploadQueue::startUploadFileAtTo(const kdisk::URL& localFileURL, const kdisk::URL& remoteURL) {
  startUpload(localFileURL, remoteURL, 0);
}

void KMUploadQueue::startUpload(const kdisk::URL& localFileURL, const kdisk::URL& remoteURL,
                                unsigned refusedNames, const std::optional<kdisk::URL>& refused) {
  KDISK_CHECK_SEQUENCE(m_sequence, "KMUploadQueue");
  log()->debug("Start upload {} to {}", localFileURL.path(), remoteURL.absoluteString());
  auto request = std::make_shared<KMUploadRequest>();
  request->URL = remoteURL;
  request->sourcePath = localFileURL.path();
  request->refusedNames = refusedNames;
  request->startedAt = currentDate();
  struct stat info {};
  if (::stat(request->sourcePath.c_str(), &info) == 0) request->sourceSize = static_cast<std::uint64_t>(info.st_size);
  {
    std::lock_guard lock(m_slotMutex);
    if (m_uploadingFileURL == remoteURL) request->rowLocalURL = m_uploadingRowLocalURL;
    m_inFlight = request;
  }
  auto token = m_environment.OAuthToken ? m_environment.OAuthToken() : std::nullopt;
  request->transfer = std::make_shared<webdav::KMUploadTransfer>(remoteURL, request->sourcePath, token);
  request->transfer->setTimeoutInterval(kUploadTimeoutSeconds);

  std::weak_ptr<KMUploadQueue> weakSelf = weak_from_this();
  // Callbacks hold the record weakly: the transfer owns them, and the record
  // owns the transfer; m_inFlight keeps the record until its end is handled.
  std::weak_ptr<KMUploadRequest> weakRequest = request;
  request->transfer->setProgressCallback([weakSelf, weakRequest](webdav::KMUploadTransfer&, std::uint64_t total) {
    auto self = weakSelf.lock();
    auto record = weakRequest.lock();
    if (!self || !record) return;
    record->totalBytesSent.store(total);
    // One step queued at a time; it reads the newest total when it runs, so a
    // fast transfer costs one database write per queue turn, not per chunk.
    if (record->progressPending.exchange(true)) return;
    self->m_serialUploadQueue->async([self, record] {
      record->progressPending.store(false);
      self->requestDidSendBytes(record, 0);
    });
  });
  auto complete = [weakSelf, weakRequest](bool finished) {
    auto self = weakSelf.lock();
    auto record = weakRequest.lock();
    if (!self || !record) return;
    self->m_serialUploadQueue->async([self, record, finished] {
      if (finished) {
        self->didFinishUpload(record);
      } else {
        self->didFailUpload(record);
      }
    });
  };
  request->transfer->setFinishedCallback([complete](webdav::KMUploadTransfer&) { complete(true); });
  request->transfer->setFailedCallback([complete](webdav::KMUploadTransfer&) { complete(false); });

  Dictionary extra;
  if (refused) extra[kKMUploadRefusedURLKey] = refused->absoluteString();
  post(kKMKMWebDAVFileManagerDidStartUploadFile, remoteURL, std::move(extra));
  assertInvariants();
  request->transfer->start();
}

bool KMUploadQueue::rowIsStillQueued(const KMUploadRequest& request) {
  auto row = m_storage->uploadFileAtURL(request.URL);
  return row && !row->failed() && row->localURL() == request.rowLocalURL;
}

void KMUploadQueue::didFinishUpload(const std::shared_ptr<KMUploadRequest>& request) {
  KDISK_CHECK_SEQUENCE(m_sequence, "KMUploadQueue");
  const kdisk::URL& url = request->URL;
  const auto status = request->responseStatusCode();
  const char* outcome = nullptr;
  if (!rowIsStillQueued(*request)) {
    log()->warn("Upload file not found in DB {}.", url.absoluteString());
  } else if (status == kStatusPreconditionFailed && request->refusedNames + 1 < kMaxNameAttempts) {
    log()->info("{} is taken on the service. Looking for a free name.", url.absoluteString());
    resendUnderFreeName(request);
    assertInvariants();
    return;  // the slot stays held for the next send
  } else if (status < 200 || status > 299) {
    log()->error("Failed upload file {}. Status code {}\n>-----", url.absoluteString(), status);
    m_storage->markUploadFileWithURLFailedWithReason(url, true, kKMWebDAVFileManagerUploadErrorWrongStatusCode);
    outcome = kKMKMWebDAVFileManagerDidFailToUploadFile;
  } else {
    log()->debug("Did finish upload file {} with status code {}.\n>-----", url.lastPathComponent(), status);
    m_unansweredSends.erase(url.absoluteString());
    auto row = m_storage->uploadFileAtURL(url);
    m_storage->removeUploadFileWithURL(url);
    if (row) {
      auto file = KMFile::fileItemWithURL(row->URL());
      file->setDisplayName(row->displayName());
      file->setSize(row->size());
      file->setLastModified(currentDate());
      // Saved, not added: a listing may already hold the name, and a second
      // row for one URL would show the file twice.
      m_storage->saveItem(*file);
    }
    removeTemporarySource(request->sourcePath);
    outcome = kKMKMWebDAVFileManagerDidUploadFile;
  }
  endInFlight(outcome, &url);
}

void KMUploadQueue::resendUnderFreeName(const std::shared_ptr<KMUploadRequest>& refused) {
  auto token = m_environment.OAuthToken ? m_environment.OAuthToken() : std::nullopt;
  std::weak_ptr<KMUploadQueue> weakSelf = weak_from_this();
  refreshDirectoryListing(m_storage, refused->URL.deletingLastPathComponent(), std::move(token),
                          [weakSelf, refused](const kdisk::URL& listed, bool merged, const std::optional<KMError>& error) {
                            auto self = weakSelf.lock();
                            if (!self) return;
                            // Without a listing the refused name alone is skipped.
                            if (!merged)
                              log()->warn("Could not list {}: {}", listed.absoluteString(),
                                          error ? error->description() : std::string("no listing"));
                            self->m_serialUploadQueue->async(
                                [self, refused, merged] { self->resendUnderFreeNameOnQueue(refused, merged); });
                          });
}

bool KMUploadQueue::takenFileIsEarlierSend(const KMUploadRequest& refused) {
  auto earlier = m_unansweredSends.find(refused.URL.absoluteString());
  if (earlier == m_unansweredSends.end()) return false;
  const UnansweredSend send = earlier->second;
  // Whatever the answer, the name is taken now: this record has done its work.
  m_unansweredSends.erase(earlier);
  if (send.rowLocalURL != refused.rowLocalURL || send.size != refused.sourceSize) return false;
  auto item = m_storage->fileItemAtURL(refused.URL);
  auto* file = dynamic_cast<KMFile*>(item.get());
  if (!file || file->size() != send.size || !file->lastModified()) return false;
  // The service's dates have whole seconds.
  return file->lastModified()->secondsSince1970 >= std::floor(send.firstStartedAt.secondsSince1970);
}

void KMUploadQueue::resendUnderFreeNameOnQueue(const std::shared_ptr<KMUploadRequest>& refused, bool listed) {
  KDISK_CHECK_SEQUENCE(m_sequence, "KMUploadQueue");
  const kdisk::URL& taken = refused->URL;
  if (!rowIsStillQueued(*refused)) {
    log()->warn("Upload file not found in DB {}.", taken.absoluteString());
    removeTemporarySource(refused->sourcePath);
    endInFlight();
    return;
  }
  // Only a listing fetched just now tells what the service holds under the name.
  if (listed && takenFileIsEarlierSend(*refused)) {
    log()->info("{} on the service is the earlier send of this upload, whose answer was lost. Not sent again.\n>-----",
                taken.absoluteString());
    m_storage->removeUploadFileWithURL(taken);
    removeTemporarySource(refused->sourcePath);
    endInFlight(kKMKMWebDAVFileManagerDidUploadFile, &taken);
    return;
  }
  m_unansweredSends.erase(taken.absoluteString());
  const kdisk::URL directory = taken.deletingLastPathComponent();
  kdisk::URL next;
  bool moved = false;
  {
    std::lock_guard lock(m_addMutex);
    auto used = m_storage->allUsedFileURLsInDirectoryAtURL(directory);
    used.push_back(taken);
    next = uniqueURLForDefaultURLInUsedURLs(taken, used);
    moved = m_storage->moveUploadFileWithURLToURL(taken, next);
  }
  if (!moved) {
    log()->error("Failed upload file {}. Its row could not take the name {}\n>-----", taken.absoluteString(),
                 next.lastPathComponent());
    m_storage->markUploadFileWithURLFailedWithReason(taken, true, kKMWebDAVFileManagerUploadErrorWrongStatusCode);
    post(kKMKMWebDAVFileManagerDidFailToUploadFile, taken);
    endInFlight();
    return;
  }
  log()->info("Sending {} as {}.", taken.lastPathComponent(), next.lastPathComponent());
  {
    std::lock_guard lock(m_slotMutex);
    m_uploadingFileURL = next;
  }
  post(kKMKMWebDAVFileManagerUploadQueueWasChanged, directory);
  startUpload(kdisk::URL::fileURLWithPath(refused->sourcePath), next, refused->refusedNames + 1, taken);
}

void KMUploadQueue::endInFlight(const char* outcome, const kdisk::URL* url) {
  setUploadingFileURL(std::nullopt);
  // Told once the slot is free, so an observer asking the queue sees it done.
  if (outcome && url) post(outcome, *url);
  assertInvariants();
  uploadNextFileInQueue();
}

void KMUploadQueue::didFailUpload(const std::shared_ptr<KMUploadRequest>& request) {
  KDISK_CHECK_SEQUENCE(m_sequence, "KMUploadQueue");
  const kdisk::URL& url = request->URL;
  auto error = request->error();
  log()->error("Failed upload file {}. Error: {}\n>-----", url.absoluteString(),
               error ? error->description() : std::string("(null)"));
  const char* outcome = nullptr;
  if (rowIsStillQueued(*request)) {
    m_storage->markUploadFileWithURLFailedWithReason(url, true, kKMWebDAVFileManagerUploadErrorUnknownError);
    outcome = kKMKMWebDAVFileManagerDidFailToUploadFile;
    // The body may have reached the service all the same; the first such send
    // bounds how old a copy of it there can be.
    auto [earlier, first] = m_unansweredSends.try_emplace(
        url.absoluteString(), UnansweredSend{request->rowLocalURL, request->startedAt, request->sourceSize});
    if (!first && (earlier->second.rowLocalURL != request->rowLocalURL || earlier->second.size != request->sourceSize))
      earlier->second = {request->rowLocalURL, request->startedAt, request->sourceSize};
  } else {
    log()->warn("Upload file not found in DB {}.", url.absoluteString());
    // The user removed it: an in-memory upload's own copy has no further use.
    if (request->sourcePath.rfind(dataUploadsDirectory() + "/", 0) == 0 ||
        request->sourcePath.rfind(assetCopiesDirectory() + "/", 0) == 0) {
      removeTemporarySource(request->sourcePath);
    }
  }
  endInFlight(outcome, &url);
}

void KMUploadQueue::requestDidSendBytes(const std::shared_ptr<KMUploadRequest>& request, std::int64_t) {
  KDISK_CHECK_SEQUENCE(m_sequence, "KMUploadQueue");
  const std::uint64_t total = request->totalBytesSent.load();
  log()->debug("Did send {} bytes for file {}", total, request->URL.lastPathComponent());
  if (!rowIsStillQueued(*request)) {
    log()->warn("Upload file not found in DB. Canceling request. ({})", request->URL.absoluteString());
    request->transfer->cancel();
    return;
  }
  // The stored figure only outlives the process (a restarted upload begins
  // again anyway): once a second is plenty, and each write is a commit to disk.
  const auto now = std::chrono::steady_clock::now();
  if (now - request->lastStoredProgress >= std::chrono::seconds(1)) {
    request->lastStoredProgress = now;
    m_storage->updateUploadedSizeForUploadFileAtURL(total, request->URL);
  }
  post(kKMKMWebDAVFileManagerDidSendBytesForUploadFile, request->URL,
       {{kKMUploadUploadedSizeKey, Value(total)}});
}

// Only the queue's own copies are removed; a file handed over by the user stays.
void KMUploadQueue::removeTemporarySource(const std::string& path) const {
  const std::string dataRoot = dataUploadsDirectory() + "/";
  const std::string assetRoot = assetCopiesDirectory() + "/";
  std::error_code error;
  if (path.rfind(dataRoot, 0) == 0) {
    fs::remove(path, error);
    fs::path folder = fs::path(path).parent_path();
    if (folder.string() + "/" != dataRoot) fs::remove(folder, error);
  } else if (path.rfind(assetRoot, 0) == 0) {
    fs::remove(path, error);
  }
}

void KMUploadQueue::setStorage(std::shared_ptr<KMWebDAVStorage> storage) {
  m_serialUploadQueue->sync([&] {
    m_storage = std::move(storage);
    m_unansweredSends.clear();
  });
}

void KMUploadQueue::hostReachabilityDidChange(bool reachable) {
  const bool was = m_hostIsReachable.exchange(reachable);
  const bool became = reachable && !was;
  log()->debug("---------- reachabilityChanged:{} ----------", reachable ? 1 : 0);
  if (became) {
    log()->info("Host became reachable. Resume uploading.");
    uploadNextFileInQueue();
  }
}

}  // namespace kdisk::manager
