// A 10,000-entry folder on nginx's WebDAV module (with its DAV extension) on
// loopback, listed by the engine and by the curl program in the same run:
//   in-process: KMWebDAVFileManager refresh, call to directory-updated
//               notification, first listing into an empty cache and
//               unchanged refresh;
//   kdisk ls:   the program from start to exit, first listing (empty cache)
//               and unchanged, with its peak resident memory.
// The reference is `curl -X PROPFIND` of the same body (process start to
// exit). Rounds alternate and the medians count.
//
//   kdisk_listing_bench [ENTRIES, default 10000] [ROUNDS, default 7]
//
// With KDISK_BENCH_HOLD set, it prints how to run `kdisk ls` against the same
// server and waits for a line on stdin before measuring, for profiling by hand.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "ListingBenchSupport.h"
#include "NginxBenchSupport.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "settings/KMSettings.h"
#include "support/DAVServerProcess.h"
#include "support/TemporaryDirectory.h"
#include "webdav/KMPROPFINDRequest.h"

using kdisk::bench::median;
using kdisk::bench::runProgram;
namespace fs = std::filesystem;

namespace {

struct Timing {
  double seconds = -1;
  double cpuSeconds = 0;
};

Timing refresh(KMWebDAVFileManager& manager, const kdisk::URL& folder, int& outcomes, int& failures) {
  const int before = outcomes;
  const double cpu = kdisk::bench::cpuSecondsUsed();
  const auto begin = std::chrono::steady_clock::now();
  manager.updateContentsOfDirectoryAtURL(folder);
  if (!kdisk::RunLoop::main().runUntil([&] { return outcomes > before; }, 120) || failures > 0) return {};
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(),
          kdisk::bench::cpuSecondsUsed() - cpu};
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t entries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  ::setenv("KDISK_LOG_LEVEL", "error", 0);
  kdisk::RunLoop::main();
  if (!kdisk::bench::haveCurlProgram()) {
    std::cerr << "the curl program is not installed\n";
    return 1;
  }
  using kdisk::test::DAVServerProcess;
  DAVServerProcess nginx(DAVServerProcess::Kind::Nginx);
  if (!nginx.isRunning()) {
    std::cerr << "nginx with its DAV extension did not start: " << nginx.errorLog() << "\n";
    return 1;
  }
  const fs::path folder = fs::path(nginx.davRoot()) / "Большая папка";
  fs::create_directories(folder);
  for (std::size_t i = 0; i < entries; ++i)
    std::ofstream(folder / ("Файл номер " + std::to_string(i) + " с пробелами.txt")) << i;
  const std::string folderURL =
      nginx.url("%D0%91%D0%BE%D0%BB%D1%8C%D1%88%D0%B0%D1%8F%20%D0%BF%D0%B0%D0%BF%D0%BA%D0%B0/");

  kdisk::test::IsolatedHome home;
  kdisk::test::TemporaryDirectory scratch;
  auto probe = std::make_shared<KMFileListRequest>(*kdisk::URL::fromString(folderURL));
  probe->setProps({KMFileListRequest::displayNameProp(), KMPROPFINDRequest::resourceTypeProp(),
                   KMFileListRequest::contentLengthProp(), KMFileListRequest::lastModifiedProp(),
                   KMFileListRequest::eTagProp()});
  const std::string bodyFile = scratch.file("propfind.xml");
  std::ofstream(bodyFile) << probe->buildHTTPBody();

  // In-process: a manager over a store of its own.
  kdisk::KMSettings::mainSettings().setToken(std::string("bench"));
  kdisk::KMSettings::mainSettings().saveSettingsDelayed();  // written at once
  auto storage = std::make_shared<KMWebDAVStorage>();
  auto manager = KMWebDAVFileManager::create(storage, {*kdisk::URL::fromString(nginx.url()), false});
  int outcomes = 0, failures = 0;
  auto& center = kdisk::NotificationCenter::defaultCenter();
  auto received = center.addObserver(kKMKMWebDAVFileManagerDidReceiveFileList,
                                     [&](const kdisk::Notification&) { ++outcomes; });
  auto failed = center.addObserver(kKMKMWebDAVFileManagerDidFailWithFileListRequest, [&](const kdisk::Notification&) {
    ++outcomes;
    ++failures;
  });
  const kdisk::URL listed = *kdisk::URL::fromString(folderURL);

  // kdisk ls: the same home (its settings hold the token), the cache dropped
  // before each first listing.
  // As a user runs it: no log level forced on it (this program sets one).
  const std::map<std::string, std::string> environment{
      {"KDISK_HOME", home.path()}, {"KDISK_WEBDAV_ROOT_URL", nginx.url()}, {"KDISK_LOG_LEVEL", ""}};
  const std::vector<std::string> ls{kdisk::bench::kdiskProgram(), "ls", "-l", "/Большая папка"};
  const fs::path cliData = fs::path(home.path()) / "cli-data";

  if (std::getenv("KDISK_BENCH_HOLD")) {
    for (const auto& [name, value] : environment) std::printf("%s='%s' ", name.c_str(), value.c_str());
    std::printf("KDISK_DATA_DIR='%s' %s ls -l '/Большая папка'\nfolder: %s\npress Enter to go on\n",
                cliData.c_str(), kdisk::bench::kdiskProgram().c_str(), folderURL.c_str());
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
  }

  std::vector<double> curl, first, unchanged, lsFirst, lsUnchanged;
  std::vector<double> curlCPU, firstCPU, unchangedCPU, lsFirstCPU, lsUnchangedCPU;
  long lsPeak = 0;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    const double childrenCPU = kdisk::bench::cpuSecondsUsed(RUSAGE_CHILDREN);
    const double c = kdisk::bench::curlProgramSeconds(folderURL, "bench", bodyFile, "/dev/null");
    curlCPU.push_back(kdisk::bench::cpuSecondsUsed(RUSAGE_CHILDREN) - childrenCPU);
    storage->clear();
    const Timing f = refresh(*manager, listed, outcomes, failures);
    const Timing u = refresh(*manager, listed, outcomes, failures);
    auto cliEnvironment = environment;
    cliEnvironment["KDISK_DATA_DIR"] = cliData.string();
    std::error_code error;
    fs::remove_all(cliData, error);
    const auto lf = runProgram(ls, cliEnvironment);
    const auto lu = runProgram(ls, cliEnvironment);
    ok = c > 0 && f.seconds > 0 && u.seconds > 0 && lf.seconds > 0 && lu.seconds > 0;
    curl.push_back(c);
    first.push_back(f.seconds);
    unchanged.push_back(u.seconds);
    lsFirst.push_back(lf.seconds);
    lsUnchanged.push_back(lu.seconds);
    firstCPU.push_back(f.cpuSeconds);
    unchangedCPU.push_back(u.cpuSeconds);
    lsFirstCPU.push_back(lf.cpuSeconds);
    lsUnchangedCPU.push_back(lu.cpuSeconds);
    lsPeak = std::max({lsPeak, lf.peakKiB, lu.peakKiB});
  }
  if (!ok) {
    std::cerr << "a listing failed (curl, manager or kdisk ls)\n";
    return 1;
  }
  const double reference = median(curl);
  const double referenceCPU = median(curlCPU);
  auto ms = [](double seconds) { return seconds * 1000; };
  std::printf("listing %zu entries from nginx WebDAV on loopback, medians of %d rounds (load %.1f)\n", entries,
              rounds, kdisk::bench::loadAverage());
  std::printf("  %-30s %9s %7s   %9s %7s\n", "", "wall", "ratio", "CPU", "ratio");
  auto row = [&](const char* what, const std::vector<double>& wall, const std::vector<double>& cpu,
                 const char* target) {
    std::printf("  %-30s %7.1f ms %7.2f   %7.1f ms %7.2f  %s\n", what, ms(median(wall)), median(wall) / reference,
                ms(median(cpu)), median(cpu) / referenceCPU, target);
  };
  row("curl program PROPFIND", curl, curlCPU, "");
  row("in-process first listing", first, firstCPU, "(target <= 2)");
  row("in-process unchanged refresh", unchanged, unchangedCPU, "(target <= 1.5)");
  row("kdisk ls first", lsFirst, lsFirstCPU, "(target <= 3)");
  row("kdisk ls unchanged", lsUnchanged, lsUnchangedCPU, "(target <= 2)");
  std::printf("  kdisk ls peak RSS              %7.1f MiB  (target < 64)\n", lsPeak / 1024.0);
  manager.reset();
  storage->close();
  return 0;
}
