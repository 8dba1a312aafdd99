// Refreshes a 10,000-entry folder of kdisk-service through a real
// KMWebDAVFileManager over a real SQLite store in a temporary home, timed from
// updateContentsOfDirectoryAtURL to the directory-updated notification on the
// main queue: (a) the first listing into an empty cache, (b) the unchanged
// refresh. In the same run the curl program fetches the same PROPFIND (Depth 1,
// same body and token). Prints medians and the ratios to curl.
//
//   manager_refresh_bench [ENTRIES] [ROUNDS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "ListingBenchSupport.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "settings/KMSettings.h"
#include "support/ServiceProcess.h"
#include "support/TemporaryDirectory.h"
#include "webdav/KMHTTPTransfer.h"
#include "webdav/KMPROPFINDRequest.h"

using kdisk::bench::curlProgramSeconds;
using kdisk::bench::median;
using SteadyClock = std::chrono::steady_clock;

namespace {

// Counts the manager's listing outcomes as they reach the main queue.
class OutcomeCounter {
 public:
  OutcomeCounter() {
    auto& center = kdisk::NotificationCenter::defaultCenter();
    m_received = center.addObserver(kKMKMWebDAVFileManagerDidReceiveFileList,
                                    [this](const kdisk::Notification&) { ++received; });
    m_failed = center.addObserver(kKMKMWebDAVFileManagerDidFailWithFileListRequest,
                                  [this](const kdisk::Notification&) { ++failed; });
  }
  int received = 0;
  int failed = 0;

 private:
  kdisk::ObserverToken m_received;
  kdisk::ObserverToken m_failed;
};

// Seconds from the call to the received notification; negative on failure.
double timedRefresh(KMWebDAVFileManager& manager, const kdisk::URL& folder, OutcomeCounter& outcomes) {
  const int before = outcomes.received + outcomes.failed;
  const auto begin = SteadyClock::now();
  manager.updateContentsOfDirectoryAtURL(folder);
  const bool done = kdisk::RunLoop::main().runUntil(
      [&] { return outcomes.received + outcomes.failed > before; }, 120);
  const double seconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
  if (!done || outcomes.failed > 0) return -1;
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t entries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  ::setenv("KDISK_LOG_LEVEL", "warning", 0);  // the store's info lines would drown the figures
  kdisk::RunLoop::main();
  kdisk::test::IsolatedHome home;

  kdisk::test::ServiceProcess service;
  auto token = kdisk::bench::startSignedIn(service);
  if (!token) return 1;
  const auto& endpoints = service.endpoints();
  const std::string caFile = endpoints.caCertificate.string();
  kdisk::webdav::setAdditionalCertificateAuthorityFile(caFile);
  kdisk::KMSettings::mainSettings().setToken(*token);
  const auto seeded = kdisk::bench::seedLargeFolder(service, entries);
  const kdisk::URL folder = *kdisk::URL::fromString(seeded.url);

  auto storage = std::make_shared<KMWebDAVStorage>();
  auto manager = KMWebDAVFileManager::create(
      storage, {*kdisk::URL::fromString(endpoints.diskURL()), false});
  OutcomeCounter outcomes;

  KMFileListRequest bodyMaker(folder);
  bodyMaker.setProps({KMFileListRequest::displayNameProp(), KMPROPFINDRequest::resourceTypeProp(),
                      KMFileListRequest::contentLengthProp(), KMFileListRequest::lastModifiedProp(),
                      KMFileListRequest::eTagProp()});
  const auto bodyFile = service.dataFolder().parent_path() / "propfind.xml";
  std::ofstream(bodyFile, std::ios::binary) << bodyMaker.buildHTTPBody();
  if (!kdisk::bench::haveCurlProgram()) {
    std::cerr << "the curl program is needed as the reference\n";
    return 1;
  }

  std::vector<double> first, unchanged, curl;
  // Round -1 warms the service's disk cache, the connection and the store file.
  for (int round = -1; round < rounds; ++round) {
    storage->clear();
    const double a = timedRefresh(*manager, folder, outcomes);
    const double c = curlProgramSeconds(seeded.url, *token, bodyFile, caFile);
    const double b = timedRefresh(*manager, folder, outcomes);
    if (a < 0 || b < 0 || c < 0) {
      std::cerr << "a refresh or the curl reference failed\n";
      return 1;
    }
    if (round < 0) continue;
    first.push_back(a);
    unchanged.push_back(b);
    curl.push_back(c);
  }
  const auto cached = storage->contentsOfDirectoryAtURLIncludeHidden(folder, true);
  if (cached.size() != entries) {
    std::cerr << "expected " << entries << " cached children, found " << cached.size() << "\n";
    return 1;
  }
  const double a = median(first), b = median(unchanged), c = median(curl);
  std::printf("folder of %zu entries, median of %d rounds\n", entries, rounds);
  std::printf("manager refresh, first listing (empty cache): %8.1f ms\n", a * 1000);
  std::printf("manager refresh, unchanged folder:            %8.1f ms\n", b * 1000);
  std::printf("curl program, same PROPFIND, one process:     %8.1f ms\n", c * 1000);
  std::printf("ratio first / curl: %.2f\n", a / c);
  std::printf("ratio unchanged / curl: %.2f\n", b / c);
  manager.reset();
  storage->close();
  kdisk::webdav::setAdditionalCertificateAuthorityFile(std::nullopt);
  return 0;
}
