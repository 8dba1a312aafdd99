#pragma once
// The one object through which every screen reaches the storage service: it
// lists directories, downloads files and previews, deletes, creates
// directories, publishes files and fetches account information, merges the
// results into the metadata store and reports every step by a notification
// delivered on the main thread. Screens never get results directly: they call
// an operation, observe the notifications and re-read the store.
//
// Lives for the whole process (sharedInstance()); test instances are owned by
// their test. Operations may be called from any thread; request callbacks run
// on the shared background queue (listing, download, preview, create, account)
// or on the main queue (remove, publish) and reach the manager through a weak
// pointer, so a callback that outlives a test manager is dropped. The two
// image caches are used from the main thread only. `hostIsReachable` and
// `uploadingFileURL` are the values shared across threads; both are guarded.
//
// Every notification has the manager as its object and carries the remote URL
// concerned as text under "URL" (except the account ones) and, on failures
// that have one, the error (KMErrorValue) under "error".

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "manager/KMUploadNotifications.h"
#include "platform/DispatchQueue.h"
#include "platform/Expected.h"
#include "platform/PhotoLibrary.h"
#include "platform/ObserverToken.h"
#include "platform/URL.h"
#include "storage/KMWebDAVStorage.h"

class KMDiskRequest;
class KMDiskPOSTRequest;
class KMReachability;
namespace kdisk {
class UIImage;
}
namespace kdisk::manager {
class KMUploadQueue;
}

#define KM_NOTIFICATION(name) inline constexpr const char* name = #name
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidSendFileListRequest);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidReceiveFileList);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidFailWithFileListRequest);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidStartDownloadFile);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidGetPartialDataForFile);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidDownloadFile);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidFailToDownloadFile);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidStartDownloadPreview);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidDownloadPreview);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidFailToDownloadPreview);
// A preview already on disk was decoded into the cache (userInfo "URL": the file's URL).
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidLoadPreview);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidSendRemoveRequest);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidRemove);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidFailWithRemoveRequest);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidSendCreateDirectoryRequest);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidCreateDirectory);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidFailToCreateDirectory);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidPublishFile);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidFailWithPublishRequest);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidReceiveUserInfo);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidSendAdditionalInfoRequest);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidReceiveAdditionalInfo);
KM_NOTIFICATION(kKMKMWebDAVFileManagerDidFailWithAdditionalInfoRequest);
#undef KM_NOTIFICATION
using kdisk::manager::kKMKMWebDAVFileManagerUploadQueueWasChanged;
using kdisk::manager::kKMKMWebDAVFileManagerDidStartUploadFile;
using kdisk::manager::kKMKMWebDAVFileManagerDidSendBytesForUploadFile;
using kdisk::manager::kKMKMWebDAVFileManagerDidUploadFile;
using kdisk::manager::kKMKMWebDAVFileManagerDidFailToUploadFile;

// Posted by the application object; the manager drops its image caches.
inline constexpr const char* kKMMemoryWarningNotificationName =
    "UIApplicationDidReceiveMemoryWarningNotification";

// Reachability flags, bit for bit those the verdict below reads.
enum KMNetworkReachabilityFlags : unsigned {
  kSCNetworkReachabilityFlagsTransientConnection = 1u << 0,
  kSCNetworkReachabilityFlagsReachable = 1u << 1,
  kSCNetworkReachabilityFlagsConnectionRequired = 1u << 2,
  kSCNetworkReachabilityFlagsConnectionOnTraffic = 1u << 3,
  kSCNetworkReachabilityFlagsInterventionRequired = 1u << 4,
  kSCNetworkReachabilityFlagsConnectionOnDemand = 1u << 5,
  kSCNetworkReachabilityFlagsIsLocalAddress = 1u << 16,
  kSCNetworkReachabilityFlagsIsDirect = 1u << 17,
  kSCNetworkReachabilityFlagsIsWWAN = 1u << 18,
};
bool HostReachabilityForFlags(unsigned flags);

class KMWebDAVFileManager : public std::enable_shared_from_this<KMWebDAVFileManager> {
 public:
  using ImageCache = std::map<std::string, std::shared_ptr<kdisk::UIImage>, std::less<>>;

  // Made once, with a fresh store, whichever thread asks first.
  static std::shared_ptr<KMWebDAVFileManager> sharedInstance();
  // Keeps `storage`, gives it the root URL, makes the upload queue, observes
  // memory warnings and starts network monitoring.
  static std::shared_ptr<KMWebDAVFileManager> initWithStorage(std::shared_ptr<KMWebDAVStorage> storage);

  // A manager of its own beside the shared one, for a given root: the
  // command line and tests. Without network monitoring no report ever comes:
  // the host counts as unreachable, so uploads wait until the owner calls
  // reachabilityChanged; every other request goes out regardless.
  struct Options {
    kdisk::URL rootURL;
    bool monitorNetwork = false;
  };
  static std::shared_ptr<KMWebDAVFileManager> create(std::shared_ptr<KMWebDAVStorage> storage, Options options);
  ~KMWebDAVFileManager();
  KMWebDAVFileManager(const KMWebDAVFileManager&) = delete;
  KMWebDAVFileManager& operator=(const KMWebDAVFileManager&) = delete;

  // ---- Core
  // The service's WebDAV root, ending in "/disk/".
  kdisk::URL rootURL() const;
  // The main settings' token, read afresh for every request.
  std::optional<std::string> OAuthToken() const;
  void didReceiveMemoryWarningNotification();
  void updateContentsOfDirectoryAtURL(const kdisk::URL& directory);
  void unmountStorages();

  const std::shared_ptr<KMWebDAVStorage>& storage() const { return m_storage; }
  // Gives `storage` the root URL and hands it to the upload queue too. Only
  // while nothing runs: requests in flight keep writing to the old one.
  void setStorage(std::shared_ptr<KMWebDAVStorage> storage);
  std::optional<kdisk::URL> uploadingFileURL() const;
  void setUploadingFileURL(std::optional<kdisk::URL> url);
  const std::shared_ptr<kdisk::DispatchQueue>& serialUploadQueue() const { return m_serialUploadQueue; }
  const std::optional<ImageCache>& fileIconCache() const { return m_fileIconCache; }
  void setFileIconCache(std::optional<ImageCache> cache) { m_fileIconCache = std::move(cache); }
  const std::optional<ImageCache>& filePreviewCache() const { return m_filePreviewCache; }
  void setFilePreviewCache(std::optional<ImageCache> cache) { m_filePreviewCache = std::move(cache); }
  bool hostIsReachable() const { return m_hostIsReachable.load(); }
  unsigned previewMaxDimension() const { return m_previewMaxDimension.load(); }
  void setPreviewMaxDimension(unsigned pixels) { m_previewMaxDimension = pixels; }
  bool testWebDavServer() const { return m_testWebDavServer.load(); }
  void setTestWebDavServer(bool test) { m_testWebDavServer = test; }

  // ---- Downloads, previews and icons
  std::shared_ptr<KMDiskRequest> startDownloadFileForURL(const kdisk::URL& url);
  kdisk::URL previewURLForFileURL(const kdisk::URL& url) const;
  std::shared_ptr<KMDiskRequest> startDownloadFilePreviewForURL(const kdisk::URL& url);
  bool needDownloadPreview(const KMFileItem& item) const;
  // Nothing when no preview file exists (or it is not an image, which is removed).
  // Decodes on the calling thread when the thumbnail is not cached.
  std::shared_ptr<kdisk::UIImage> previewForFileItem(const KMFileItem& item);
  // The cached thumbnail; when there is none but a preview file is, nothing
  // now and a decode on a background queue, announced on the main thread by
  // kKMKMWebDAVFileManagerDidLoadPreview once cached. Main thread.
  std::shared_ptr<kdisk::UIImage> cachedPreviewForFileItemLoadingIfNeeded(const KMFileItem& item);
  std::shared_ptr<kdisk::UIImage> iconForFileExtension(const std::optional<std::string>& extension);
  std::shared_ptr<kdisk::UIImage> iconForFileWithURL(const kdisk::URL& url);
  // A file's cached thumbnail, else its type's icon while the thumbnail loads
  // (see above). Main thread.
  std::shared_ptr<kdisk::UIImage> iconForFileItem(const KMFileItem& item);
  void clearFilePreviewCache();
  // The image of the fixed table for a lower-case extension; nothing off the table.
  static std::optional<std::string> iconImageNameForExtension(std::string_view lowerCaseExtension);
  // The desktop's icon file for a file named "name.<extension>", through the
  // content type's icon names in the installed icon themes; nothing if none.
  static std::optional<std::string> desktopIconPathForExtension(std::string_view extension);

  // ---- Remove, create directory, publish
  void removeItemAtURL(const kdisk::URL& url);
  void createDirectoryWithNameAt(const std::string& name, const kdisk::URL& parent);
  std::shared_ptr<KMDiskPOSTRequest> publishFileWithURL(const kdisk::URL& url);
  // Parent + "/" + escaped name + "/"; nothing for a name that is empty or
  // holds a "." or ".." segment (it would name another place).
  static std::optional<kdisk::URL> directoryURLForNameInParent(const std::string& name,
                                                               const kdisk::URL& parent);

  // ---- Account information and network monitoring
  void sendUserInfoRequest();
  static std::optional<std::string> valueForLineWithPrefixInText(const std::string& prefix,
                                                                 const std::string& text);
  void sendAdditionalInfoRequest();
  void setupNetworkMonitoring();
  void reachabilityChanged(unsigned flags);

  // ---- Upload queue (forwarded to the queue the manager owns; see KMUploadQueue.h)
  // Each returns the target the upload got, unique in its folder.
  kdisk::Expected<kdisk::URL> uploadFileWithDataTo(std::string_view data, const kdisk::URL& target);
  kdisk::Expected<kdisk::URL> uploadFileForFileURLTo(const kdisk::URL& fileURL, const kdisk::URL& target);
  std::vector<kdisk::URL> uploadFilesForAssetsToDir(const kdisk::PhotoAssetList& assets,
                                                    const kdisk::URL& directory);
  void uploadNextFileInQueue();
  // The user's retry: the failed row waits again and the queue runs.
  void retryUploadFileWithURL(const kdisk::URL& url);
  // Deleting the row; an upload in flight is cancelled at its next progress report.
  void removeUploadFileWithURL(const kdisk::URL& url);
  const std::shared_ptr<kdisk::manager::KMUploadQueue>& uploadQueue() const { return m_uploadQueue; }

 private:
  KMWebDAVFileManager(std::shared_ptr<KMWebDAVStorage> storage, std::optional<kdisk::URL> rootURL);
  void initialize(bool monitorNetwork);
  void post(const char* name, kdisk::Dictionary userInfo) const;

  std::shared_ptr<KMWebDAVStorage> m_storage;
  std::shared_ptr<kdisk::DispatchQueue> m_serialUploadQueue;
  std::shared_ptr<kdisk::manager::KMUploadQueue> m_uploadQueue;
  std::optional<ImageCache> m_fileIconCache;
  std::atomic<bool> m_hostIsReachable{false};
  std::unique_ptr<KMReachability> m_reachability;
  std::optional<ImageCache> m_filePreviewCache;
  // Preview files being decoded in the background; main thread. A decode
  // finishing after the cache was cleared is dropped (the generation moved).
  std::set<std::string, std::less<>> m_loadingPreviewPaths;
  std::uint64_t m_previewCacheGeneration = 0;
  std::atomic<unsigned> m_previewMaxDimension{0};
  std::atomic<bool> m_testWebDavServer{false};

  std::optional<kdisk::URL> m_rootURLForTesting;
  kdisk::ObserverToken m_memoryWarningObservation;
};
