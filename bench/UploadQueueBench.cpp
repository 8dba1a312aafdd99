// One large file through the upload queue to nginx's WebDAV module, beside
// `curl -T` of the same file to the same server in the same run. Prints both
// rates, their ratio and how far the client's resident memory grew. The two
// take turns for a few rounds and the medians count, so a busy machine
// weighs on both alike.
//
//   upload_queue_bench [size in MiB, default 1024] [rounds, default 3]
#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/LoopbackPort.h"
#include "manager/KMUploadNotifications.h"
#include "manager/KMUploadQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "storage/KMWebDAVStorage.h"

using namespace kdisk;
namespace fs = std::filesystem;

namespace {

int freePort() { return kdisk::test::freeLoopbackPort(); }

bool accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

long statusKiB(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return 0;
}

pid_t spawn(const std::vector<std::string>& arguments) {
  pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  RunLoop::main();
  const std::uint64_t mebibytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const std::uint64_t size = mebibytes * 1024 * 1024;
  const int rounds = std::max(1, argc > 2 ? std::atoi(argv[2]) : 3);
  char folderTemplate[] = "/tmp/kdisk-upload-bench-XXXXXX";
  const fs::path work = ::mkdtemp(folderTemplate);
  ::setenv("KDISK_HOME", (work / "home").c_str(), 1);
  fs::create_directories(work / "www/disk");
  fs::create_directories(work / "nginx");

  const int port = freePort();
  {
    std::ofstream config(work / "nginx/nginx.conf");
    const std::string n = (work / "nginx").string();
    config << "daemon off; master_process off; worker_processes 1; pid " << n << "/nginx.pid;\n"
           << "error_log " << n << "/error.log;\nevents { worker_connections 64; }\n"
           << "http { access_log off; client_body_temp_path " << n << "/body; proxy_temp_path " << n
           << "/proxy; fastcgi_temp_path " << n << "/fastcgi; uwsgi_temp_path " << n
           << "/uwsgi; scgi_temp_path " << n << "/scgi;\n"
           << "  server { listen 127.0.0.1:" << port << "; root " << (work / "www").string() << ";\n"
           << "    location / { dav_methods PUT DELETE MKCOL; create_full_put_path on;"
           << " client_max_body_size 0; client_body_buffer_size 1m; } } }\n";
  }
  pid_t nginx = spawn({"nginx", "-p", (work / "nginx").string(), "-c", (work / "nginx/nginx.conf").string()});
  if (!RunLoop::main().runUntil([&] { return accepts(port); }, 10)) {
    std::fprintf(stderr, "nginx did not start (see %s/nginx/error.log)\n", work.c_str());
    return 1;
  }

  // Written, not sparse, so both clients read real blocks from the page cache.
  const fs::path source = work / "source.bin";
  {
    std::ofstream out(source, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    for (std::uint64_t written = 0; written < size; written += block.size()) out.write(block.data(), block.size());
  }
  const std::string base = "http://127.0.0.1:" + std::to_string(port);

  auto storage = std::make_shared<KMWebDAVStorage>();
  storage->setRootURL(*URL::fromString(base + "/disk/"));
  manager::KMUploadQueue::Environment environment;
  environment.OAuthToken = [] { return std::optional<std::string>("bench"); };
  auto queue = manager::KMUploadQueue::create(storage, environment);
  bool ended = false, uploaded = false;
  auto done = NotificationCenter::defaultCenter().addObserver(manager::kKMKMWebDAVFileManagerDidUploadFile,
                                                              [&](const Notification&) { ended = uploaded = true; });
  auto failed = NotificationCenter::defaultCenter().addObserver(manager::kKMKMWebDAVFileManagerDidFailToUploadFile,
                                                                [&](const Notification&) { ended = true; });
  // When the last byte was handed to the socket, as the queue reports it.
  std::chrono::steady_clock::time_point allSent;
  auto progress = NotificationCenter::defaultCenter().addObserver(
      manager::kKMKMWebDAVFileManagerDidSendBytesForUploadFile, [&](const Notification& n) {
        if (auto* sent = find(n.userInfo, manager::kKMUploadUploadedSizeKey); sent && sent->integerValue() == std::int64_t(size))
          allSent = std::chrono::steady_clock::now();
      });
  storage->nextFileInUploadQueue();  // opens the database before the memory baseline
  queue->hostReachabilityDidChange(true);
  const long rssBefore = statusKiB("VmRSS:");

  std::vector<double> curlSeconds, queueSeconds, sentSeconds;
  bool whole = true;
  // Each upload starts with the server's disk settled: the copy before it is
  // gone and written back, so neither client pays for the other's dirty pages.
  auto settle = [&](const std::string& name) {
    std::error_code error;
    const bool complete = fs::file_size(work / "www/disk" / name, error) == size;
    fs::remove(work / "www/disk" / name, error);
    ::sync();
    return complete;
  };
  auto sendWithCurl = [&](const std::string& name) {
    auto started = std::chrono::steady_clock::now();
    pid_t curl = spawn({"curl", "-s", "-f", "-o", "/dev/null", "-T", source.string(), base + "/disk/" + name});
    int status = 0;
    ::waitpid(curl, &status, 0);
    curlSeconds.push_back(seconds(started));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "curl failed\n");
    return settle(name);
  };
  auto sendWithQueue = [&](const std::string& name) {
    ended = uploaded = false;
    auto started = std::chrono::steady_clock::now();
    queue->uploadFileForFileURLTo(URL::fileURLWithPath(source.string()), *URL::fromString(base + "/disk/" + name));
    RunLoop::main().runUntil([&] { return ended; }, 600);
    queueSeconds.push_back(seconds(started));
    sentSeconds.push_back(std::chrono::duration<double>(allSent - started).count());
    return settle(name) && uploaded;
  };
  ::sync();
  for (int round = 0; round < rounds && whole; ++round) {
    const std::string suffix = "-" + std::to_string(round) + ".bin";
    // Who goes first alternates, so neither always meets a warmer server.
    if (round % 2 == 0) {
      whole = sendWithCurl("curl" + suffix) && sendWithQueue("queue" + suffix);
    } else {
      whole = sendWithQueue("queue" + suffix) && sendWithCurl("curl" + suffix);
    }
  }
  const long peak = statusKiB("VmHWM:");
  ::kill(nginx, SIGTERM);
  ::waitpid(nginx, nullptr, 0);

  const double mib = static_cast<double>(size) / (1024 * 1024);
  const double curlMedian = median(curlSeconds), queueMedian = median(queueSeconds);
  std::printf("upload of %.0f MiB to nginx WebDAV on loopback, median of %zu rounds\n", mib, queueSeconds.size());
  std::printf("  curl -T       %8.1f MiB/s  (%.2f s)\n", mib / curlMedian, curlMedian);
  std::printf("  upload queue  %8.1f MiB/s  (%.2f s)\n", mib / queueMedian, queueMedian);
  std::printf("    of which until the last byte was sent  %.2f s\n", median(sentSeconds));
  std::printf("  ratio queue/curl  %.2f  (target >= 0.9)\n", curlMedian / queueMedian);
  std::printf("  client peak RSS growth  %.1f MiB  (target < 32)\n", (peak - rssBefore) / 1024.0);
  std::printf("  every file whole on the server: %s\n", whole ? "yes" : "NO");
  std::error_code error;
  fs::remove_all(work, error);
  return whole ? 0 : 1;
}
