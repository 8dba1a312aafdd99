#include "manager/KMWebDAVFileManager.h"

#include "foundation/KLApplicationEnvironment.h"
#include "manager/KMReachability.h"
#include "manager/KMUploadQueue.h"
#include "manager/KMWebDAVFileManagerLog.h"
#include "platform/NotificationCenter.h"
#include "settings/KMSettings.h"
#include "webdav/KMDirectory.h"
#include "webdav/KMFile.h"
#include "webdav/KMPROPFINDRequest.h"

using kdisk::Dictionary;
using kdisk::URL;

namespace {

std::string withoutTrailingSlash(std::string text) {
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

const kdisk::Value* presentValue(const Dictionary* values, const std::string& fullname) {
  if (!values) return nullptr;
  const kdisk::Value* value = kdisk::find(*values, fullname);
  return value && !value->isNull() ? value : nullptr;
}

// The full names of the listed properties, made once per listing.
struct ListingKeys {
  std::string resourceType = KMPROPFINDRequest::resourceTypeProp()->fullname();
  std::string displayName = KMFileListRequest::displayNameProp()->fullname();
  std::string contentLength = KMFileListRequest::contentLengthProp()->fullname();
  std::string lastModified = KMFileListRequest::lastModifiedProp()->fullname();
  std::string eTag = KMFileListRequest::eTagProp()->fullname();
};

enum class ListingPlace { Directory, Child, Elsewhere };

bool isUsableChildName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The same test on a still-encoded name; only short names can decode to "."
// or "..", so long ones need no decoding.
bool isUsableEncodedChildName(std::string_view encoded) {
  if (encoded.size() <= 6) return isUsableChildName(kdisk::percentDecode(encoded));
  return encoded.find("%2F") == std::string_view::npos && encoded.find("%2f") == std::string_view::npos;
}

// The listed directory, its texts made once per listing.
struct ListedDirectory {
  explicit ListedDirectory(const URL& url)
      : url(url), text(withoutTrailingSlash(url.absoluteString())), path(withoutTrailingSlash(url.path())) {}
  const URL& url;
  std::string text;
  std::string path;
};

// Where a listed URL stands relative to the listed directory.
// Servers may encode a name differently from the request; a child is
// therefore recognised by its decoded path too, and then given a URL made
// from the directory's, so the store files it under the right parent.
ListingPlace placeInListing(const ListedDirectory& directory, URL& url) {
  // Most servers echo the request's own encoding: decide on the raw text first.
  std::string_view text = url.absoluteString();
  if (text.starts_with(directory.text)) {
    std::string_view rest = text.substr(directory.text.size());
    if (rest.find_first_not_of('/') == std::string_view::npos) return ListingPlace::Directory;
    if (rest.front() == '/') {
      rest.remove_prefix(1);
      if (rest.ends_with('/')) rest.remove_suffix(1);
      if (rest.find_first_of("/?#") == std::string_view::npos) {
        return isUsableEncodedChildName(rest) ? ListingPlace::Child : ListingPlace::Elsewhere;
      }
    }
  }
  if (url.origin() != directory.url.origin()) return ListingPlace::Elsewhere;
  if (withoutTrailingSlash(url.absoluteString()) == directory.text) return ListingPlace::Directory;
  if (withoutTrailingSlash(url.path()) == directory.path) {
    url = directory.url;
    return ListingPlace::Directory;
  }
  const std::string name = url.lastPathComponent();
  if (!isUsableChildName(name)) return ListingPlace::Elsewhere;
  if (withoutTrailingSlash(url.deletingLastPathComponent().absoluteString()) == directory.text)
    return ListingPlace::Child;
  if (withoutTrailingSlash(url.deletingLastPathComponent().path()) == directory.path) {
    url = directory.url.withTrailingSlash().appendingPathComponent(name, url.hasDirectoryPath());
    return ListingPlace::Child;
  }
  return ListingPlace::Elsewhere;
}

// Turns a multistatus listing of `directory` into items, the directory first.
KMFileItemList itemsOfListing(const URL& directory, const KMMultiStatusResponseList& responses) {
  auto& log = kdisk::manager::log();
  const ListingKeys keys;
  const ListedDirectory listed(directory);
  KMFileItemList items;
  items.reserve(responses.size());
  for (const auto& response : responses) {
    if (!response) continue;
    URL url = response->URL();
    const ListingPlace place = placeInListing(listed, url);
    if (place == ListingPlace::Elsewhere) {
      log->warn("WebDAV wrong response: {} is not in {}; skipped.", response->URL().absoluteString(),
                directory.absoluteString());
      continue;
    }
    const Dictionary* values = response->successPropValues();
    const kdisk::Value* resourceType = presentValue(values, keys.resourceType);
    if (!resourceType) log->error("WebDAV wrong response: ResourceType field is not exist.");
    const kdisk::Value* displayName = presentValue(values, keys.displayName);
    if (!displayName) log->error("WebDAV wrong response: DisplayName field is not exist.");
    std::optional<std::string> name;
    if (displayName && displayName->stringValue()) name = *displayName->stringValue();

    if (resourceType && resourceType->integerValue() == 1) {
      auto item = KMDirectory::fileItemWithURL(url);
      item->setDisplayName(name);
      if (place == ListingPlace::Directory) {
        items.insert(items.begin(), item);
      } else {
        items.push_back(item);
      }
      continue;
    }
    if (place == ListingPlace::Directory) {
      // The listed directory answering as a file would make it its own child.
      log->error("WebDAV wrong response: {} is listed as a file.", url.absoluteString());
      continue;
    }
    const kdisk::Value* length = presentValue(values, keys.contentLength);
    if (!length) log->error("WebDAV wrong response: ContentLength field is not exist.");
    const kdisk::Value* modified = presentValue(values, keys.lastModified);
    if (!modified) log->error("WebDAV wrong response: LastModified field is not exist.");
    const kdisk::Value* etag = presentValue(values, keys.eTag);
    if (!etag) log->error("WebDAV wrong response: ETag field is not exist.");
    auto file = KMFile::fileItemWithURL(url);
    file->setDisplayName(name);
    if (length) file->setSize(static_cast<std::uint64_t>(std::max<std::int64_t>(0, length->integerValue().value_or(0))));
    if (modified && modified->get<kdisk::Date>()) file->setLastModified(*modified->get<kdisk::Date>());
    if (etag && etag->stringValue()) file->setEtag(*etag->stringValue());
    items.push_back(file);
  }
  return items;
}

}  // namespace

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
}

void KMWebDAVFileManager::unmountStorages() { m_storage->close(); }

void KMWebDAVFileManager::post(const char* name, Dictionary userInfo) const {
  kdisk::NotificationCenter::defaultCenter().postNotificationInMainQueueWithNameObjectUserInfo(
      name, this, std::move(userInfo));
}

void KMWebDAVFileManager::updateContentsOfDirectoryAtURL(const URL& directory) {
  auto request = std::make_shared<KMFileListRequest>(directory);
  request->setOAuthToken(OAuthToken());
  request->setDepth(KMWebDAVDepthOne);
  request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
  request->setProps({KMFileListRequest::displayNameProp(), KMPROPFINDRequest::resourceTypeProp(),
                     KMFileListRequest::contentLengthProp(), KMFileListRequest::lastModifiedProp(),
                     KMFileListRequest::eTagProp()});
  const URL listed = request->URL();
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  // Exactly one outcome per refresh: the success and failure paths below both
  // claim it first.
  auto reported = std::make_shared<std::atomic<bool>>(false);
  auto fail = [weak, listed, reported](const std::optional<KMError>& error) {
    auto self = weak.lock();
    if (!self || reported->exchange(true)) return;
    Dictionary userInfo{{"URL", listed.absoluteString()}};
    if (error) userInfo["error"] = kdisk::Value(*error);
    self->post(kKMKMWebDAVFileManagerDidFailWithFileListRequest, std::move(userInfo));
  };
  request->setDidFailBlock([fail](const KMError& error) { fail(error); });
  // A 207 with an empty body brings no responses at all: without this the
  // refresh would end with no notification.
  request->setDidFinishLoadingBlock([fail](const std::optional<std::string>& data) {
    if (!data || data->empty()) fail(std::nullopt);
  });
  request->setDidReceiveMultistatusResponsesBlock(
      [weak, listed, reported, fail](const KMMultiStatusResponseList& responses) {
        auto self = weak.lock();
        if (!self) return;
        // A listing always holds the directory itself; none at all means the
        // body did not parse, and merging it would empty the cached folder.
        if (responses.empty()) {
          fail(std::nullopt);
          return;
        }
        KMFileItemList items = itemsOfListing(listed, responses);
        auto merged = self->m_storage->updateContentsOfDirectoryAtURLWithItems(listed, items);
        if (!merged.hasValue()) {
          fail(merged.error());
          return;
        }
        if (reported->exchange(true)) return;
        self->post(kKMKMWebDAVFileManagerDidReceiveFileList, {{"URL", listed.absoluteString()}});
      });
  request->start();
  post(kKMKMWebDAVFileManagerDidSendFileListRequest, {{"URL", request->URL().absoluteString()}});
}
