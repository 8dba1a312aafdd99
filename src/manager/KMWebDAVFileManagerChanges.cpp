// The one-shot changes: delete, create a directory, publish a file.
#include "manager/KMWebDAVFileManager.h"
#include "manager/KMWebDAVFileManagerLog.h"
#include "webdav/KMDirectory.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMMultistatusRequest.h"

using kdisk::Dictionary;
using kdisk::URL;

void KMWebDAVFileManager::removeItemAtURL(const URL& url) {
  auto request = std::make_shared<KMDeleteRequest>(url);
  request->setOAuthToken(OAuthToken());
  const URL removed = request->URL();
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  auto success = [weak, removed](unsigned status) {
    auto self = weak.lock();
    if (!self) return;
    self->post(kKMKMWebDAVFileManagerDidRemove,
               {{"URL", removed.absoluteString()}, {"statusCode", status}});
    if (auto path = self->m_storage->previewPathForWebURL(removed); path && self->m_filePreviewCache)
      self->m_filePreviewCache->erase(*path);
  };
  auto failure = [weak, removed](const std::optional<KMError>& error) {
    auto self = weak.lock();
    if (!self) return;
    Dictionary userInfo{{"URL", removed.absoluteString()}};
    if (error) userInfo["error"] = kdisk::Value(*error);
    self->post(kKMKMWebDAVFileManagerDidFailWithRemoveRequest, std::move(userInfo));
  };
  // Only a 207 carries per-resource results; a 404 page or a 200 body is not one.
  auto answeredMultistatus = std::make_shared<bool>(false);
  request->setDidReceiveResponseBlock(
      [success, answeredMultistatus](const KMRequest::HTTPResponse& response, bool& accept) {
        const int status = response.statusCode;
        if ((status >= 200 && status <= 299) || status == 404) {
          if (status == 207) {
            *answeredMultistatus = true;
            return;
          }
          accept = true;
          success(static_cast<unsigned>(status));
        } else {
          accept = false;
        }
      });
  request->setDidReceiveMultistatusResponsesBlock(
      [success, failure, answeredMultistatus](const KMMultiStatusResponseList& responses) {
        if (!*answeredMultistatus) return;
        if (responses.empty()) {
          // A 207 whose body says nothing confirms nothing.
          failure(std::nullopt);
          return;
        }
        for (const auto& response : responses) {
          const unsigned status = response->statusCode();
          if (status >= 200 && status <= 299) {
            success(status);
          } else {
            failure(std::nullopt);
          }
        }
      });
  request->setDidFailBlock([failure](const KMError& error) { failure(error); });
  request->start();
  post(kKMKMWebDAVFileManagerDidSendRemoveRequest, {{"URL", request->URL().absoluteString()}});
}

std::optional<URL> KMWebDAVFileManager::directoryURLForNameInParent(const std::string& name,
                                                                    const URL& parent) {
  if (name.empty()) return std::nullopt;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find('/', start), name.size());
    const std::string_view segment(name.data() + start, end - start);
    if (segment == "." || segment == "..") return std::nullopt;
    start = end + 1;
  }
  std::string base = parent.absoluteString();
  if (base.empty() || base.back() != '/') base += '/';
  // Everything but letters, digits, "-._~", "/" and the sub-delimiters is
  // escaped, "%", "?" and "#" included, so the name stays one path segment.
  const std::string escaped = kdisk::percentEncode(name, "/!$&'()*+,;=:@");
  return URL::fromString(fmt::format("{}{}/", base, escaped));
}

void KMWebDAVFileManager::createDirectoryWithNameAt(const std::string& name, const URL& parent) {
  auto target = directoryURLForNameInParent(name, parent);
  if (!target) {
    kdisk::manager::log()->error("Directory name \"{}\" refused.", name);
    post(kKMKMWebDAVFileManagerDidFailToCreateDirectory,
         {{"URL", parent.absoluteString()},
          {"error", kdisk::Value(KMError(kKMRequestErrorDomain, kKMRequestErrorNotAccepted,
                                         "The name cannot be used for a folder."))}});
    return;
  }
  auto request = std::make_shared<KMMKCOLRequest>(*target);
  request->setOAuthToken(OAuthToken());
  request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
  const URL created = request->URL();
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  request->setDidFinishLoadingBlock([weak, created, name](const std::optional<std::string>&) {
    auto self = weak.lock();
    if (!self) return;
    // Named at once: a row without a name is left out of listings, and the
    // next refresh keeps an unchanged folder's row as it is.
    KMDirectory directory(created);
    directory.setDisplayName(name);
    auto added = self->m_storage->addItem(directory);
    if (!added.hasValue())
      kdisk::manager::log()->error("Created directory not cached: {}", added.error().description());
    self->post(kKMKMWebDAVFileManagerDidCreateDirectory, {{"URL", created.absoluteString()}});
  });
  request->setDidFailBlock([weak, created](const KMError& error) {
    if (auto self = weak.lock())
      self->post(kKMKMWebDAVFileManagerDidFailToCreateDirectory,
                 {{"URL", created.absoluteString()}, {"error", kdisk::Value(error)}});
  });
  request->start();
  post(kKMKMWebDAVFileManagerDidSendCreateDirectoryRequest, {{"URL", request->URL().absoluteString()}});
}

std::shared_ptr<KMDiskPOSTRequest> KMWebDAVFileManager::publishFileWithURL(const URL& url) {
  const URL file = url;
  const URL target = URL::fromString(fmt::format("{}?publish", file.absoluteString())).value_or(file);
  auto request = std::make_shared<KMDiskPOSTRequest>(target);
  request->setOAuthToken(OAuthToken());
  request->setTimeoutInterval(15);
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  // One outcome per publish: the link, once found, is the answer.
  auto reported = std::make_shared<bool>(false);
  auto success = [weak, file, reported](const URL& link) {
    auto self = weak.lock();
    if (!self || std::exchange(*reported, true)) return;
    self->post(kKMKMWebDAVFileManagerDidPublishFile,
               {{"URL", file.absoluteString()}, {"locationURL", link.absoluteString()}});
  };
  auto failure = [weak, file, reported](const KMError& error) {
    auto self = weak.lock();
    if (!self || std::exchange(*reported, true)) return;
    kdisk::manager::log()->error("Did fail to publish items: {}", error.description());
    self->post(kKMKMWebDAVFileManagerDidFailWithPublishRequest,
               {{"URL", file.absoluteString()}, {"error", kdisk::Value(error)}});
  };
  request->setShouldRedirectBlock(
      [success, target](const KMRequest::HTTPResponse& redirect,
                        const KMRequest::HTTPRequest& proposed) -> std::optional<KMRequest::HTTPRequest> {
        auto location = redirect.valueForHTTPHeaderField("Location");
        if (redirect.statusCode == 302 && location && !location->empty()) {
          if (auto link = URL::fromStringRelativeTo(*location, target)) {
            success(*link);
            return std::nullopt;
          }
        }
        return proposed;
      });
  // A final 302 is the answer only when its link was taken; one without a
  // "Location" would otherwise end in silence.
  request->setDidReceiveResponseBlock([reported](const KMRequest::HTTPResponse& response, bool& accept) {
    accept = response.statusCode == 302 && *reported;
  });
  request->setDidFailBlock([failure](const KMError& error) { failure(error); });
  request->start();
  return request;
}
