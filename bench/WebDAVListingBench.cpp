// Lists a 10,000-entry folder of kdisk-service end to end (KMFileListRequest
// start to the callback with the decoded responses) and, in the same run,
// fetches the same PROPFIND with libcurl alone and with the curl program.
// Prints the time per listing of each and the ratio to libcurl.
//
//   webdav_listing_bench [ENTRIES] [ROUNDS]
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "ListingBenchSupport.h"
#include "platform/RunLoop.h"
#include "support/ServiceProcess.h"
#include "webdav/KMHTTPTransfer.h"
#include "webdav/KMPROPFINDRequest.h"

using namespace kdisk::test;
using kdisk::bench::curlProgramSeconds;
using kdisk::bench::median;
using SteadyClock = std::chrono::steady_clock;

namespace {

std::shared_ptr<KMFileListRequest> makeListing(const std::string& folder, const std::string& token) {
  auto request = std::make_shared<KMFileListRequest>(*kdisk::URL::fromString(folder));
  request->setOAuthToken(token);
  request->setDepth(KMWebDAVDepthOne);
  request->setProps({KMFileListRequest::displayNameProp(), KMPROPFINDRequest::resourceTypeProp(),
                     KMFileListRequest::contentLengthProp(), KMFileListRequest::lastModifiedProp(),
                     KMFileListRequest::eTagProp()});
  return request;
}

// Seconds for one listing through the client, or a negative value on failure.
double clientListing(const std::string& folder, const std::string& token, std::size_t& responses) {
  auto request = makeListing(folder, token);
  std::atomic<bool> done{false};
  bool failed = false;
  request->setDidReceiveMultistatusResponsesBlock([&](const KMMultiStatusResponseList& list) {
    responses = list.size();
    done = true;
  });
  request->setDidFailBlock([&](const KMError& error) {
    std::cerr << "listing failed: " << error.description() << "\n";
    failed = true;
    done = true;
  });
  const auto begin = SteadyClock::now();
  request->start();
  if (!kdisk::RunLoop::main().runUntil([&] { return done.load(); }, 120) || failed) return -1;
  return std::chrono::duration<double>(SteadyClock::now() - begin).count();
}

size_t keepBytes(char* data, size_t size, size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

// The same exchange over one libcurl easy handle, reused like the client's
// connections are.
class CurlReference {
 public:
  CurlReference(const std::string& folder, const std::string& token, const std::string& body,
                const std::string& caFile)
      : m_body(body) {
    m_curl = curl_easy_init();
    m_headers = curl_slist_append(m_headers, ("Authorization: OAuth " + token).c_str());
    m_headers = curl_slist_append(m_headers, "Depth: 1");
    m_headers = curl_slist_append(m_headers, "Content-Type: application/xml");
    m_headers = curl_slist_append(m_headers, "Expect:");
    curl_easy_setopt(m_curl, CURLOPT_URL, folder.c_str());
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, "PROPFIND");
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headers);
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, m_body.c_str());
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_body.size()));
    curl_easy_setopt(m_curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(m_curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &keepBytes);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &m_received);
  }
  ~CurlReference() {
    curl_slist_free_all(m_headers);
    curl_easy_cleanup(m_curl);
  }

  double fetch() {
    m_received.clear();
    const auto begin = SteadyClock::now();
    long status = 0;
    if (curl_easy_perform(m_curl) != CURLE_OK) return -1;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 207) return -1;
    return std::chrono::duration<double>(SteadyClock::now() - begin).count();
  }

 private:
  std::string m_body;
  CURL* m_curl = nullptr;
  curl_slist* m_headers = nullptr;
  std::string m_received;

 public:
  const std::string& received() const { return m_received; }
};

}  // namespace

int main(int argc, char** argv) {
  const std::size_t entries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  kdisk::RunLoop::main();
  curl_global_init(CURL_GLOBAL_DEFAULT);

  ServiceProcess service;
  auto token = kdisk::bench::startSignedIn(service);
  if (!token) return 1;
  const auto& endpoints = service.endpoints();
  kdisk::webdav::setAdditionalCertificateAuthorityFile(endpoints.caCertificate.string());

  const auto seeded = kdisk::bench::seedLargeFolder(service, entries);
  const std::string& folderURL = seeded.url;

  const std::string body = makeListing(folderURL, *token)->buildHTTPBody();
  const auto bodyFile = service.dataFolder().parent_path() / "propfind.xml";
  std::ofstream(bodyFile, std::ios::binary) << body;
  CurlReference reference(folderURL, *token, body, endpoints.caCertificate.string());
  const bool haveCurlProgram = kdisk::bench::haveCurlProgram();

  std::vector<double> client, libcurl, program;
  std::size_t responses = 0;
  for (int round = -1; round < rounds; ++round) {  // round -1 warms caches and connections
    const double a = clientListing(folderURL, *token, responses);
    const double b = reference.fetch();
    const double c =
        haveCurlProgram ? curlProgramSeconds(folderURL, *token, bodyFile, endpoints.caCertificate.string()) : 0;
    if (a < 0 || b < 0 || c < 0) {
      std::cerr << "a listing failed\n";
      return 1;
    }
    if (round < 0) continue;
    client.push_back(a);
    libcurl.push_back(b);
    program.push_back(c);
  }
  if (responses != entries + 1) {
    std::cerr << "expected " << entries + 1 << " responses, got " << responses << "\n";
    return 1;
  }
  // The share of the client's time that is decoding, on the same bytes.
  std::vector<double> decoding;
  auto decoder = makeListing(folderURL, *token);
  for (int round = 0; round < 3; ++round) {
    const auto begin = SteadyClock::now();
    const auto decoded = decoder->multistatusResponsesForBody(reference.received());
    decoding.push_back(std::chrono::duration<double>(SteadyClock::now() - begin).count());
    if (decoded.size() != entries + 1) return 1;
  }
  const double clientSeconds = median(client), libcurlSeconds = median(libcurl);
  std::printf("folder of %zu entries, %zu bytes of multistatus, median of %d rounds\n", entries,
              reference.received().size(), rounds);
  std::printf("KMFileListRequest, request to parsed callback: %8.1f ms\n", clientSeconds * 1000);
  std::printf("  of which decoding the body alone:             %8.1f ms\n", median(decoding) * 1000);
  std::printf("libcurl easy, same PROPFIND, body only:        %8.1f ms\n", libcurlSeconds * 1000);
  if (haveCurlProgram)
    std::printf("curl program, same PROPFIND, one process:      %8.1f ms\n", median(program) * 1000);
  std::printf("ratio client / libcurl: %.2f\n", clientSeconds / libcurlSeconds);
  if (haveCurlProgram) std::printf("ratio client / curl program: %.2f\n", clientSeconds / median(program));
  kdisk::webdav::setAdditionalCertificateAuthorityFile(std::nullopt);
  curl_global_cleanup();
  return 0;
}
