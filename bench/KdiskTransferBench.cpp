// `kdisk get` and `kdisk put` of one large file against nginx's WebDAV module
// on loopback, beside `curl -o` and `curl -T` of the same file to the same
// server in the same run, each timed from process start to exit with its peak
// resident memory. The two take turns for a few rounds and the medians count,
// so a busy machine weighs on both alike.
//
//   kdisk_transfer_bench [size in MiB, default 512] [rounds, default 3]
//
// KDISK_BENCH_WRAPPER="strace -c -f -o /tmp/get.txt" runs each kdisk under
// that command (for profiles; its figures then count the wrapper too).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "ListingBenchSupport.h"
#include "NginxBenchSupport.h"
#include "platform/RunLoop.h"
#include "settings/KMSettings.h"
#include "support/DAVServerProcess.h"
#include "support/TemporaryDirectory.h"

using kdisk::bench::median;
using kdisk::bench::ProgramRun;
using kdisk::bench::runProgram;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const std::uint64_t mebibytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 512;
  const std::uint64_t size = mebibytes * 1024 * 1024;
  const int rounds = std::max(1, argc > 2 ? std::atoi(argv[2]) : 3);
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
  kdisk::test::IsolatedHome home;  // its settings hold the token kdisk reads
  kdisk::KMSettings::mainSettings().setToken(std::string("bench"));
  kdisk::KMSettings::mainSettings().saveSettingsDelayed();  // written at once
  kdisk::test::TemporaryDirectory local;

  // Written, not sparse, so every client reads real blocks.
  const fs::path source = local.file("source.bin");
  {
    std::ofstream out(source, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    for (std::uint64_t written = 0; written < size; written += block.size()) out.write(block.data(), block.size());
  }
  fs::copy_file(source, fs::path(nginx.davRoot()) / "big.bin");
  ::sync();

  const std::map<std::string, std::string> environment{{"KDISK_HOME", home.path()},
                                                       {"KDISK_WEBDAV_ROOT_URL", nginx.url()}};
  std::vector<std::string> kdiskCommand;
  if (const char* wrapper = std::getenv("KDISK_BENCH_WRAPPER")) {
    std::istringstream words(wrapper);
    for (std::string word; words >> word;) kdiskCommand.push_back(word);
  }
  kdiskCommand.push_back(kdisk::bench::kdiskProgram());
  auto kdiskWith = [&](std::initializer_list<std::string> arguments) {
    std::vector<std::string> command = kdiskCommand;
    command.insert(command.end(), arguments);
    return command;
  };
  const fs::path cache = fs::path(home.path()) / "data" / "Documents";
  const fs::path received = local.file("received.bin");
  auto settled = [&](const fs::path& file) {
    std::error_code error;
    const bool whole = fs::file_size(file, error) == size;
    fs::remove(file, error);
    ::sync();
    return whole;
  };
  auto getWithCurl = [&] {
    auto run = runProgram({"curl", "-s", "-f", "-o", received.string(), nginx.url("big.bin")});
    return settled(received) ? run : ProgramRun{};
  };
  auto getWithKdisk = [&] {
    std::error_code error;
    fs::remove_all(cache, error);  // a download each time, not the cached copy
    auto run = runProgram(kdiskWith({"get", "/big.bin", received.string()}), environment);
    return settled(received) ? run : ProgramRun{};
  };
  auto putWithCurl = [&] {
    auto run = runProgram({"curl", "-s", "-f", "-o", "/dev/null", "-T", source.string(), nginx.url("up-curl.bin")});
    return settled(fs::path(nginx.davRoot()) / "up-curl.bin") ? run : ProgramRun{};
  };
  auto putWithKdisk = [&] {
    auto run = runProgram(kdiskWith({"put", source.string(), "/"}), environment);
    return settled(fs::path(nginx.davRoot()) / "source.bin") ? run : ProgramRun{};
  };

  std::vector<double> curlGet, kdiskGet, curlPut, kdiskPut;
  std::vector<double> curlGetCPU, kdiskGetCPU, curlPutCPU, kdiskPutCPU;
  long getPeak = 0, putPeak = 0;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    const bool curlFirst = round % 2 == 0;
    ProgramRun cg, kg, cp, kp;
    if (curlFirst) {
      cg = getWithCurl();
      kg = getWithKdisk();
      cp = putWithCurl();
      kp = putWithKdisk();
    } else {
      kg = getWithKdisk();
      cg = getWithCurl();
      kp = putWithKdisk();
      cp = putWithCurl();
    }
    ok = cg.seconds > 0 && kg.seconds > 0 && cp.seconds > 0 && kp.seconds > 0;
    if (!ok)
      std::cerr << "failed:" << (cg.seconds > 0 ? "" : " curl -o") << (kg.seconds > 0 ? "" : " kdisk get")
                << (cp.seconds > 0 ? "" : " curl -T") << (kp.seconds > 0 ? "" : " kdisk put") << "\n";
    curlGet.push_back(cg.seconds);
    kdiskGet.push_back(kg.seconds);
    curlPut.push_back(cp.seconds);
    kdiskPut.push_back(kp.seconds);
    curlGetCPU.push_back(cg.cpuSeconds);
    kdiskGetCPU.push_back(kg.cpuSeconds);
    curlPutCPU.push_back(cp.cpuSeconds);
    kdiskPutCPU.push_back(kp.cpuSeconds);
    getPeak = std::max(getPeak, kg.peakKiB);
    putPeak = std::max(putPeak, kp.peakKiB);
  }
  if (!ok) {
    std::cerr << "a transfer failed or left a file of the wrong size\n";
    return 1;
  }
  const double mib = static_cast<double>(size) / (1024 * 1024);
  auto line = [&](const char* what, double seconds, double cpu) {
    std::printf("  %-10s %8.1f MiB/s  (%.2f s, CPU %.2f s)\n", what, mib / seconds, seconds, cpu);
  };
  std::printf("%.0f MiB to and from nginx WebDAV on loopback, process start to exit, median of %d rounds (load %.1f)\n",
              mib, rounds, kdisk::bench::loadAverage());
  line("curl -o", median(curlGet), median(curlGetCPU));
  line("kdisk get", median(kdiskGet), median(kdiskGetCPU));
  std::printf("  ratio get/curl  %.2f  (target >= 0.9), CPU kdisk/curl %.2f, kdisk get peak RSS %.1f MiB (target < 32)\n",
              median(curlGet) / median(kdiskGet), median(kdiskGetCPU) / median(curlGetCPU), getPeak / 1024.0);
  line("curl -T", median(curlPut), median(curlPutCPU));
  line("kdisk put", median(kdiskPut), median(kdiskPutCPU));
  std::printf("  ratio put/curl  %.2f  (target >= 0.9), CPU kdisk/curl %.2f, kdisk put peak RSS %.1f MiB (target < 32)\n",
              median(curlPut) / median(kdiskPut), median(kdiskPutCPU) / median(curlPutCPU), putPeak / 1024.0);
  return 0;
}
