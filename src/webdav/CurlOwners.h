#pragma once
// Owners of libcurl's handles, for the two sources that call libcurl.

#include <curl/curl.h>

#include <memory>

namespace kdisk::webdav {

struct CurlEasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlHeaderListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlHeaderList = std::unique_ptr<curl_slist, CurlHeaderListDeleter>;

// Appends `line`; on failure the list is kept as it was (libcurl returns none).
inline void appendHeader(CurlHeaderList& list, const char* line) {
  if (curl_slist* longer = curl_slist_append(list.get(), line)) {
    list.release();
    list.reset(longer);
  }
}

}  // namespace kdisk::webdav
