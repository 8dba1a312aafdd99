#include "support/HttpClient.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <strings.h>

namespace kdisk::test {

namespace {

struct Transfer {
  HttpReply* reply;
  std::FILE* download = nullptr;
};

size_t onBody(char* data, size_t size, size_t count, void* context) {
  auto* transfer = static_cast<Transfer*>(context);
  if (transfer->download) return std::fwrite(data, size, count, transfer->download) * size;
  transfer->reply->body.append(data, size * count);
  return size * count;
}

size_t onHeader(char* data, size_t size, size_t count, void* context) {
  auto* transfer = static_cast<Transfer*>(context);
  std::string line(data, size * count);
  // A new status line (after 100 Continue or a redirect) starts a new head.
  if (line.rfind("HTTP/", 0) == 0) transfer->reply->headers.clear();
  auto colon = line.find(':');
  if (colon != std::string::npos) {
    std::string value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ')) value.erase(0, 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
    transfer->reply->headers.emplace_back(line.substr(0, colon), value);
  }
  return size * count;
}

struct CurlFree {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

std::optional<std::string> HttpReply::header(const std::string& name) const {
  for (const auto& [key, value] : headers)
    if (::strcasecmp(key.c_str(), name.c_str()) == 0) return value;
  return std::nullopt;
}

HttpReply perform(const HttpCall& call) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_ALL); });
  HttpReply reply;
  std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
  std::unique_ptr<curl_slist, ListFree> headers;
  curl_slist* list = nullptr;
  for (const auto& header : call.headers) list = curl_slist_append(list, header.c_str());
  headers.reset(list);

  Transfer transfer{&reply};
  std::unique_ptr<std::FILE, FileClose> download, upload;
  if (!call.downloadFile.empty()) {
    download.reset(std::fopen(call.downloadFile.c_str(), "wb"));
    transfer.download = download.get();
  }
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, call.url.c_str());
  curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, call.method.c_str());
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, call.timeoutMilliseconds);
  curl_easy_setopt(handle, CURLOPT_PATH_AS_IS, 1L);
  if (call.lowSpeedSeconds > 0) {
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, call.lowSpeedSeconds);
  }
  if (!call.caFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, call.caFile.c_str());
  if (call.method == "HEAD") curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
  if (!call.uploadFile.empty()) {
    upload.reset(std::fopen(call.uploadFile.c_str(), "rb"));
    std::error_code ec;
    auto size = std::filesystem::file_size(call.uploadFile, ec);
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READDATA, upload.get());
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, call.method.c_str());
  } else if (call.body) {
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, call.body->data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(call.body->size()));
  }
  CURLcode code = curl_easy_perform(handle);
  if (code != CURLE_OK) reply.error = curl_easy_strerror(code);
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &reply.status);
  return reply;
}

} // namespace kdisk::test
