#include "manager/KMDirectoryListing.h"

#include <algorithm>
#include <atomic>

#include "manager/KMWebDAVFileManagerLog.h"
#include "platform/DispatchQueue.h"
#include "storage/KMWebDAVStorage.h"
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

const kdisk::Value* presentValue(const Dictionary* values, const std::shared_ptr<KMProp>& prop) {
  if (!values) return nullptr;
  const kdisk::Value* value = kdisk::find(*values, prop->fullname());
  return value && !value->isNull() ? value : nullptr;
}

enum class ListingPlace { Directory, Child, Elsewhere };

// Where a listed URL stands relative to the listed directory `directory`.
// Servers may encode a name differently from the request; a child is
// therefore recognised by its decoded path too, and then given a URL made
// from the directory's, so the store files it under the right parent.
ListingPlace placeInListing(const URL& directory, URL& url) {
  if (url.origin() != directory.origin()) return ListingPlace::Elsewhere;
  const std::string directoryText = withoutTrailingSlash(directory.absoluteString());
  const std::string directoryPath = withoutTrailingSlash(directory.path());
  if (withoutTrailingSlash(url.absoluteString()) == directoryText) return ListingPlace::Directory;
  if (withoutTrailingSlash(url.path()) == directoryPath) {
    url = directory;
    return ListingPlace::Directory;
  }
  const std::string name = url.lastPathComponent();
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
    return ListingPlace::Elsewhere;
  if (withoutTrailingSlash(url.deletingLastPathComponent().absoluteString()) == directoryText)
    return ListingPlace::Child;
  if (withoutTrailingSlash(url.deletingLastPathComponent().path()) == directoryPath) {
    url = directory.withTrailingSlash().appendingPathComponent(name, url.hasDirectoryPath());
    return ListingPlace::Child;
  }
  return ListingPlace::Elsewhere;
}

// Turns a multistatus listing of `directory` into items, the directory first.
KMFileItemList itemsOfListing(const URL& directory, const KMMultiStatusResponseList& responses) {
  auto& log = kdisk::manager::log();
  KMFileItemList items;
  items.reserve(responses.size());
  for (const auto& response : responses) {
    if (!response) continue;
    URL url = response->URL();
    const ListingPlace place = placeInListing(directory, url);
    if (place == ListingPlace::Elsewhere) {
      log->warn("WebDAV wrong response: {} is not in {}; skipped.", response->URL().absoluteString(),
                directory.absoluteString());
      continue;
    }
    const Dictionary* values = response->successPropValues();
    const kdisk::Value* resourceType = presentValue(values, KMPROPFINDRequest::resourceTypeProp());
    if (!resourceType) log->error("WebDAV wrong response: ResourceType field is not exist.");
    const kdisk::Value* displayName = presentValue(values, KMFileListRequest::displayNameProp());
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
    const kdisk::Value* length = presentValue(values, KMFileListRequest::contentLengthProp());
    if (!length) log->error("WebDAV wrong response: ContentLength field is not exist.");
    const kdisk::Value* modified = presentValue(values, KMFileListRequest::lastModifiedProp());
    if (!modified) log->error("WebDAV wrong response: LastModified field is not exist.");
    const kdisk::Value* etag = presentValue(values, KMFileListRequest::eTagProp());
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

URL refreshDirectoryListing(std::shared_ptr<KMWebDAVStorage> storage, const URL& directory,
                            std::optional<std::string> OAuthToken, DirectoryListingCompletion done) {
  auto request = std::make_shared<KMFileListRequest>(directory);
  request->setOAuthToken(std::move(OAuthToken));
  request->setDepth(KMWebDAVDepthOne);
  request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
  request->setProps({KMFileListRequest::displayNameProp(), KMPROPFINDRequest::resourceTypeProp(),
                     KMFileListRequest::contentLengthProp(), KMFileListRequest::lastModifiedProp(),
                     KMFileListRequest::eTagProp()});
  const URL listed = request->URL();
  // Exactly one outcome: the success and failure paths below both claim it first.
  auto reported = std::make_shared<std::atomic<bool>>(false);
  auto finish = [done, reported, listed](bool merged, const std::optional<KMError>& error) {
    if (!reported->exchange(true)) done(listed, merged, error);
  };
  request->setDidFailBlock([finish](const KMError& error) { finish(false, error); });
  // A 207 with an empty body brings no responses at all: without this the
  // refresh would end with no outcome.
  request->setDidFinishLoadingBlock([finish](const std::optional<std::string>& data) {
    if (!data || data->empty()) finish(false, std::nullopt);
  });
  request->setDidReceiveMultistatusResponsesBlock(
      [storage, listed, finish](const KMMultiStatusResponseList& responses) {
        // A listing always holds the directory itself; none at all means the
        // body did not parse, and merging it would empty the cached folder.
        if (responses.empty()) {
          finish(false, std::nullopt);
          return;
        }
        KMFileItemList items = itemsOfListing(listed, responses);
        auto merged = storage->updateContentsOfDirectoryAtURLWithItems(listed, items);
        if (!merged.hasValue()) {
          finish(false, merged.error());
          return;
        }
        finish(true, std::nullopt);
      });
  request->start();
  return listed;
}

}  // namespace kdisk::manager
