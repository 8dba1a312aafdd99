#include "manager/KMWebDAVFileManager.h"

#include "foundation/KLApplicationEnvironment.h"
#include "manager/KMDirectoryListing.h"
#include "manager/KMReachability.h"
#include "manager/KMUploadQueue.h"
#include "manager/KMWebDAVFileManagerLog.h"
#include "platform/NotificationCenter.h"
#include "settings/KMSettings.h"

using kdisk::Dictionary;
using kdisk::URL;

namespace kdisk::manager {

std::shared_ptr<spdlog::logger>& log() {
  static auto logger = kdisk::logger("KMWebDAVFileManager", kdisk::LogLevel::Info);
  return logger;
}

}  // namespace kdisk::manager

bool HostReachabilityForFlags(unsigned flags) {
  const bool reachable = flags & kSCNetworkReachabilityFlagsReachable;
  if (reachable && (flags & kSCNetworkReachabilityFlagsConnectionRequired)) {
    if (flags & kSCNetworkReachabilityFlagsIsWWAN) return true;
    return (flags & (kSCNetworkReachabilityFlagsConnectionOnTraffic |
                     kSCNetworkReachabilityFlagsConnectionOnDemand)) &&
           !(flags & kSCNetworkReachabilityFlagsInterventionRequired);
  }
  return reachable;
}

KMWebDAVFileManager::KMWebDAVFileManager(std::shared_ptr<KMWebDAVStorage> storage,
                                         std::optional<URL> rootURL)
    : m_storage(std::move(storage)), m_rootURLForTesting(std::move(rootURL)) {}

KMWebDAVFileManager::~KMWebDAVFileManager() = default;

std::shared_ptr<KMWebDAVFileManager> KMWebDAVFileManager::sharedInstance() {
  static kdisk::OnceFlag once;
  static std::shared_ptr<KMWebDAVFileManager> instance;
  kdisk::runOnce(once, [] { instance = initWithStorage(std::make_shared<KMWebDAVStorage>()); });
  return instance;
}

std::shared_ptr<KMWebDAVFileManager> KMWebDAVFileManager::initWithStorage(
    std::shared_ptr<KMWebDAVStorage> storage) {
  std::shared_ptr<KMWebDAVFileManager> manager(new KMWebDAVFileManager(std::move(storage), std::nullopt));
  manager->initialize(true);
  return manager;
}

std::shared_ptr<KMWebDAVFileManager> KMWebDAVFileManager::create(std::shared_ptr<KMWebDAVStorage> storage,
                                                                 Options options) {
  std::shared_ptr<KMWebDAVFileManager> manager(
      new KMWebDAVFileManager(std::move(storage), std::move(options.rootURL)));
  manager->initialize(options.monitorNetwork);
  return manager;
}

void KMWebDAVFileManager::initialize(bool monitorNetwork) {
  m_storage->setRootURL(rootURL());
  m_serialUploadQueue = kdisk::DispatchQueue::createSerial("ru.kalumo.disk.serialUploadQueue");
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  kdisk::manager::KMUploadQueue::Environment environment;
  // Read afresh for every upload, as every other request does.
  environment.OAuthToken = [] { return kdisk::KMSettings::mainSettings().token(); };
  environment.notificationObject = this;
  environment.serialUploadQueue = m_serialUploadQueue;
  m_uploadQueue = kdisk::manager::KMUploadQueue::create(m_storage, std::move(environment));
  m_memoryWarningObservation = kdisk::NotificationCenter::defaultCenter().addObserver(
      kKMMemoryWarningNotificationName, [weak](const kdisk::Notification&) {
        if (auto self = weak.lock()) self->didReceiveMemoryWarningNotification();
      });
  if (monitorNetwork) setupNetworkMonitoring();
}

void KMWebDAVFileManager::setStorage(std::shared_ptr<KMWebDAVStorage> storage) {
  storage->setRootURL(rootURL());
  m_storage = storage;
  m_uploadQueue->setStorage(std::move(storage));
}

URL KMWebDAVFileManager::rootURL() const {
  if (m_rootURLForTesting) return *m_rootURLForTesting;
  return kdisk::KLApplicationEnvironment::currentEnvironment().webDAVRootURL();
}

std::optional<std::string> KMWebDAVFileManager::OAuthToken() const {
  return kdisk::KMSettings::mainSettings().token();
}

void KMWebDAVFileManager::didReceiveMemoryWarningNotification() {
  m_fileIconCache.reset();
  m_filePreviewCache.reset();
  m_loadingPreviewPaths.clear();
  ++m_previewCacheGeneration;
}

void KMWebDAVFileManager::unmountStorages() { m_storage->close(); }

void KMWebDAVFileManager::post(const char* name, Dictionary userInfo) const {
  kdisk::NotificationCenter::defaultCenter().postNotificationInMainQueueWithNameObjectUserInfo(
      name, this, std::move(userInfo));
}

void KMWebDAVFileManager::updateContentsOfDirectoryAtURL(const URL& directory) {
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  const URL listed = kdisk::manager::refreshDirectoryListing(
      m_storage, directory, OAuthToken(),
      [weak](const URL& listed, bool merged, const std::optional<KMError>& error) {
        auto self = weak.lock();
        if (!self) return;
        Dictionary userInfo{{"URL", listed.absoluteString()}};
        if (merged) {
          self->post(kKMKMWebDAVFileManagerDidReceiveFileList, std::move(userInfo));
          return;
        }
        if (error) userInfo["error"] = kdisk::Value(*error);
        self->post(kKMKMWebDAVFileManagerDidFailWithFileListRequest, std::move(userInfo));
      });
  post(kKMKMWebDAVFileManagerDidSendFileListRequest, {{"URL", listed.absoluteString()}});
}
