#pragma once
// The persistent upload queue of the file operations manager. Every file the
// user sends becomes a row of the store's upload table before any byte is sent;
// the queue then sends the rows one at a time, newest first, by PUT streamed
// from disk, and reports each step by a notification on the main thread.
//
// Owned by the manager, which hands it the store, the token and the object its
// notifications carry, and forwards reachability reports to it.
//
// Threads: the three adding operations run on the caller's thread; every
// decision (next file, finish, failure, progress) runs on the serial queue
// "ru.kalumo.disk.serialUploadQueue". `uploadingFileURL` and `hostIsReachable`
// are the only state read from other threads and are locked / atomic.
//
// States of one upload (row in the store, slot = uploadingFileURL):
//   waiting   row failed=0, slot another URL or none
//   in flight row failed=0, slot its URL
//   failed    row failed=1 with a reason, uploaded size 0
//   done      row deleted, the file added to the cached listing
// Transitions:
//   add                               -> waiting             uploadFile…()
//   waiting -(slot free, reachable)   -> in flight           uploadNextFileInQueue()
//   in flight -(2xx)                  -> done                didFinishUpload()
//   in flight -(412, name taken)      -> in flight, next free name   didFinishUpload()
//   in flight -(412, the taken file is an unanswered earlier send of it) -> done
//   in flight -(other status)         -> failed              didFinishUpload()
//   in flight -(transport failure)    -> failed              didFailUpload()
//   in flight -(copy of asset failed) -> failed              uploadNextFileInQueue()
//   in flight -(row deleted)          -> cancelled, dropped  requestDidSendBytes()
//   restart                           -> in flight becomes waiting (the slot is memory only)

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DispatchQueue.h"
#include "platform/Expected.h"
#include "platform/PhotoLibrary.h"
#include "platform/SequenceChecker.h"
#include "platform/URL.h"
#include "platform/Value.h"

class KMWebDAVStorage;

namespace kdisk::webdav {
class KMUploadTransfer;
}

namespace kdisk::manager {

// "yyyy-MM-dd HH-mm-ss" in the device's locale, calendar and time zone.
class KMFileNameDateFormatter {
 public:
  std::string stringFromDate(Date date) const;
  static constexpr const char* pattern() { return "yyyy-MM-dd HH-mm-ss"; }
};

// One PUT in flight and what the queue must know of it on its own queue.
struct KMUploadRequest {
  kdisk::URL URL;
  // The row's source when it was picked: a row deleted and queued again
  // under the same name is a different upload.
  std::optional<kdisk::URL> rowLocalURL;
  std::string sourcePath;
  std::shared_ptr<webdav::KMUploadTransfer> transfer;
  std::atomic<std::uint64_t> totalBytesSent{0};
  // A progress step is queued and will read the latest total.
  std::atomic<bool> progressPending{false};
  // Names of this upload the service refused as taken before this send.
  unsigned refusedNames = 0;
  // When this send began and the size of its source then.
  kdisk::Date startedAt;
  std::uint64_t sourceSize = 0;
  // When the running total was last written to the store (upload queue only).
  std::chrono::steady_clock::time_point lastStoredProgress{};

  std::uint64_t responseStatusCode() const;
  std::optional<KMError> error() const;
};

class KMUploadQueue : public std::enable_shared_from_this<KMUploadQueue> {
 public:
  struct Environment {
    std::function<std::optional<std::string>()> OAuthToken;
    // The object every notification carries (the manager).
    const void* notificationObject = nullptr;
    // The library assets are read from; the default library when empty.
    std::function<PhotoLibrary()> photoLibrary;
    // Where copies and in-memory uploads are written; the program's
    // temporary directory when empty.
    std::string temporaryDirectory;
    // The manager's own serial upload queue and reachability verdict, when it
    // keeps them; the queue makes and keeps its own otherwise.
    std::shared_ptr<DispatchQueue> serialUploadQueue;
    std::function<bool()> hostIsReachable;
  };

  using SaveCompletion = std::function<void(const kdisk::URL& temporaryFileURL)>;
  using SaveFailure = std::function<void(const std::optional<KMError>& error)>;

  static std::shared_ptr<KMUploadQueue> create(std::shared_ptr<KMWebDAVStorage> storage,
                                               Environment environment);

  // ---- Ways in; each returns the target the upload got (unique in its folder).
  // The bytes are written to a file of their own first; an error when that or
  // the queue's row cannot be written, and nothing is queued.
  Expected<kdisk::URL> uploadFileWithDataTo(std::string_view data, const kdisk::URL& target);
  // The file is read in place when its turn comes.
  Expected<kdisk::URL> uploadFileForFileURLTo(const kdisk::URL& fileURL, const kdisk::URL& target);
  // Bytes are copied out of the library only when each one's turn comes. The
  // last asset of the batch is sent first.
  std::vector<kdisk::URL> uploadFilesForAssetsToDir(const PhotoAssetList& assets,
                                                    const kdisk::URL& directory);

  static kdisk::URL uniqueURLForDefaultURLInUsedURLs(const kdisk::URL& wanted,
                                                     const std::vector<kdisk::URL>& used);
  static const KMFileNameDateFormatter& fileNameDateFormatter();

  // ---- The queue
  // Starts the newest waiting upload if none is in flight and the host is
  // reachable. Any thread, any number of times.
  void uploadNextFileInQueue();
  void startUploadFileAtTo(const kdisk::URL& localFileURL, const kdisk::URL& remoteURL);
  void didFinishUpload(const std::shared_ptr<KMUploadRequest>& request);
  void didFailUpload(const std::shared_ptr<KMUploadRequest>& request);
  // `bytes` is not used: the request's running total is.
  void requestDidSendBytes(const std::shared_ptr<KMUploadRequest>& request, std::int64_t bytes);
  void saveAssetToTempFileCompletionBlockFailureBlock(const kdisk::URL& assetURL,
                                                      SaveCompletion completion,
                                                      SaveFailure failure);

  // ---- Shared state
  std::optional<kdisk::URL> uploadingFileURL() const;
  void setUploadingFileURL(std::optional<kdisk::URL> url);
  bool hostIsReachable() const {
    return m_environment.hostIsReachable ? m_environment.hostIsReachable() : m_hostIsReachable.load();
  }
  // Applies a reachability verdict: the queue resumes when the host becomes
  // reachable; losing it only pauses what would start next.
  void hostReachabilityDidChange(bool reachable);
  // Swapped between two decisions of the serial queue; only while no adding
  // operation runs.
  void setStorage(std::shared_ptr<KMWebDAVStorage> storage);

  const std::shared_ptr<DispatchQueue>& serialUploadQueue() const { return m_serialUploadQueue; }
  // Folder of the copies of library assets (one file per type).
  std::string assetCopiesDirectory() const;
  // Folder below which each in-memory upload gets a folder of its own.
  std::string dataUploadsDirectory() const;

  // The upload whose transfer runs, if any.
  std::shared_ptr<KMUploadRequest> inFlightRequestForTesting() const {
    std::lock_guard lock(m_slotMutex);
    return m_inFlight;
  }

  KMUploadQueue(std::shared_ptr<KMWebDAVStorage> storage, Environment environment);

 private:
  void uploadNextFileInQueueOnQueue();
  // `refused`: the name this upload had before, when the service refused it.
  void startUpload(const kdisk::URL& localFileURL, const kdisk::URL& remoteURL, unsigned refusedNames,
                   const std::optional<kdisk::URL>& refused = std::nullopt);
  // The service holds a file of the request's name that the cache did not
  // know: list the folder, move the row to the next free name and send again.
  void resendUnderFreeName(const std::shared_ptr<KMUploadRequest>& refused);
  void resendUnderFreeNameOnQueue(const std::shared_ptr<KMUploadRequest>& refused, bool listed);
  // Whether the file the folder's fresh listing shows under the refused name
  // is what an earlier send of this upload stored before its answer was lost.
  bool takenFileIsEarlierSend(const KMUploadRequest& refused);
  // Frees the slot and asks for the next file.
  void endInFlight(const char* outcome = nullptr, const kdisk::URL* url = nullptr);
  void post(const char* name, const kdisk::URL& url, Dictionary extra = {}) const;
  // Whether the row of `request` is still the one it sends.
  bool rowIsStillQueued(const KMUploadRequest& request);
  void removeTemporarySource(const std::string& path) const;
  Expected<kdisk::URL> addOne(const kdisk::URL& target, const kdisk::URL& localURL,
                              std::uint64_t size);
  // The slot and the send in flight agree with the state table above; on the
  // serial queue, after each transition.
  void assertInvariants() const;

  std::shared_ptr<KMWebDAVStorage> m_storage;
  Environment m_environment;
  std::shared_ptr<DispatchQueue> m_serialUploadQueue;
  SequenceChecker m_sequence;
  mutable std::mutex m_slotMutex;
  std::optional<kdisk::URL> m_uploadingFileURL;  // guarded by m_slotMutex
  std::optional<kdisk::URL> m_uploadingRowLocalURL;  // guarded by m_slotMutex
  std::shared_ptr<KMUploadRequest> m_inFlight;        // guarded by m_slotMutex
  std::atomic<bool> m_hostIsReachable{false};
  // Sends that ended without an answer, by target URL: the service may hold
  // them all the same, and a retry must then not store a second copy.
  struct UnansweredSend {
    std::optional<kdisk::URL> rowLocalURL;
    kdisk::Date firstStartedAt;
    std::uint64_t size = 0;
  };
  std::map<std::string, UnansweredSend> m_unansweredSends;  // serial queue only
  // Picking a free name and inserting its row is one step, so uploads queued
  // from several threads at once never get the same name.
  std::mutex m_addMutex;
};

}  // namespace kdisk::manager
