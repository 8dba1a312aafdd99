#pragma once
// Fetching one folder's listing (depth 1) and merging it into the store's
// cached folder: what a refresh of the browser and the upload queue's search
// for a free name both need.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/KMError.h"
#include "platform/URL.h"

class KMWebDAVStorage;

namespace kdisk::manager {

// `listed`: the URL the folder is filed under. `merged` is true when the
// listing was stored; otherwise `error` says why, when known. Runs once, on a
// global queue.
using DirectoryListingCompletion =
    std::function<void(const kdisk::URL& listed, bool merged, const std::optional<KMError>& error)>;

// Starts the PROPFIND and returns the URL it lists.
kdisk::URL refreshDirectoryListing(std::shared_ptr<KMWebDAVStorage> storage, const kdisk::URL& directory,
                                   std::optional<std::string> OAuthToken, DirectoryListingCompletion done);

}  // namespace kdisk::manager
