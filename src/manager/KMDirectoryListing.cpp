#include "manager/KMDirectoryListing.h"

#include <algorithm>
#include <map>
#include <atomic>

#include "manager/KMWebDAVFileManagerLog.h"
#include "platform/DispatchQueue.h"
#include "storage/KMWebDAVStorage.h"
#include "webdav/KMDirectory.h"
#include "webdav/KMFile.h"
#include "webdav/KMPROPFINDRequest.h"

using kdisk::URL;

namespace {


std::string withoutTrailingSlash(std::string text) {
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

const kdisk::Value* presentValue(const KMPropstatResponse* values, const std::string& fullname) {
  if (!values) return nullptr;
  const kdisk::Value* value = values->valueForFullname(fullname);
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
// or "..", so long ones need no decoding. An encoded name is mostly "%", so
// the search goes by the rarer "2" of "%2F".
bool isUsableEncodedChildName(std::string_view encoded) {
  if (encoded.size() <= 6) return isUsableChildName(kdisk::percentDecode(encoded));
  for (std::size_t two = encoded.find('2'); two != std::string_view::npos; two = encoded.find('2', two + 1)) {
    if (two > 0 && two + 1 < encoded.size() && encoded[two - 1] == '%' &&
        (encoded[two + 1] == 'F' || encoded[two + 1] == 'f'))
      return false;
  }
  return true;
}

// Each search a memchr: a byte loop over a long encoded name costs more.
bool hasPathOrQuerySeparator(std::string_view text) {
  return text.find('/') != std::string_view::npos || text.find('?') != std::string_view::npos ||
         text.find('#') != std::string_view::npos;
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
      if (!hasPathOrQuerySeparator(rest)) {
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

// The missing fields of one listing, each logged once with how many items
// lacked it: a server that never sends a field would otherwise write a line
// per file, ten thousand for a large folder.
class MissingFields {
 public:
  void note(const char* message) { ++m_counts[message]; }
  void log(std::size_t items) const {
    for (const auto& [message, count] : m_counts)
      kdisk::manager::log()->error("{} ({} of {} items)", message, count, items);
  }

 private:
  std::map<const char*, std::size_t> m_counts;
};

// Turns a multistatus listing of `directory` into items, the directory first.
KMFileItemList itemsOfListing(const URL& directory, const KMMultiStatusResponseList& responses) {
  auto& log = kdisk::manager::log();
  MissingFields missing;
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
    const KMPropstatResponse* values = response->successPropstat();
    const kdisk::Value* resourceType = presentValue(values, keys.resourceType);
    if (!resourceType) missing.note("WebDAV wrong response: ResourceType field is not exist.");
    const kdisk::Value* displayName = presentValue(values, keys.displayName);
    if (!displayName) missing.note("WebDAV wrong response: DisplayName field is not exist.");
    std::optional<std::string> name;
    if (displayName && displayName->stringValue()) name = *displayName->stringValue();
    // Many servers never send one; the href's own name stands in, so the row
    // is shown (and hidden when it starts with ".") like any other.
    if (!name || name->empty()) name = url.lastPathComponent();

    if (resourceType && resourceType->integerValue() == 1) {
      auto item = KMDirectory::fileItemWithURL(std::move(url));
      item->setDisplayName(std::move(name));
      if (place == ListingPlace::Directory) {
        items.insert(items.begin(), std::move(item));
      } else {
        items.push_back(std::move(item));
      }
      continue;
    }
    if (place == ListingPlace::Directory) {
      // The listed directory answering as a file would make it its own child.
      log->error("WebDAV wrong response: {} is listed as a file.", url.absoluteString());
      continue;
    }
    const kdisk::Value* length = presentValue(values, keys.contentLength);
    if (!length) missing.note("WebDAV wrong response: ContentLength field is not exist.");
    const kdisk::Value* modified = presentValue(values, keys.lastModified);
    if (!modified) missing.note("WebDAV wrong response: LastModified field is not exist.");
    const kdisk::Value* etag = presentValue(values, keys.eTag);
    if (!etag) missing.note("WebDAV wrong response: ETag field is not exist.");
    auto file = KMFile::fileItemWithURL(std::move(url));
    file->setDisplayName(std::move(name));
    if (length) file->setSize(static_cast<std::uint64_t>(std::max<std::int64_t>(0, length->integerValue().value_or(0))));
    if (modified && modified->get<kdisk::Date>()) file->setLastModified(*modified->get<kdisk::Date>());
    if (etag && etag->stringValue()) file->setEtag(*etag->stringValue());
    items.push_back(std::move(file));
  }
  missing.log(responses.size());
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
  // The body is decoded as it arrives; a second copy of it would only add to
  // the memory a large folder takes.
  request->setKeepsReceivedData(false);
  // A 207 with an empty body brings no responses at all: without this the
  // refresh would end with no outcome.
  std::weak_ptr<KMFileListRequest> weakRequest = request;
  request->setDidFinishLoadingBlock([finish, weakRequest](const std::optional<std::string>&) {
    auto running = weakRequest.lock();
    if (!running || running->receivedDataLength() == 0) finish(false, std::nullopt);
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
