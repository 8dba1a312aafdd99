// Uploads and downloads one large file (1 GiB by default) through kdisk-service
// and through nginx on loopback in the same run, and prints both rates, their
// ratio and how far the service's resident memory grew meanwhile.
//
//   service_transfer_bench [BYTES]
#include "support/LoopbackPort.h"
#include "support/HttpClient.h"
#include "support/ServiceProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

using namespace kdisk::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr long kRssBudgetKiB = 32 * 1024;

long residentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

// Samples a process's RSS until stopped and keeps the highest value.
class RssSampler {
public:
  explicit RssSampler(pid_t pid) : m_pid(pid), m_peak(residentKiB(pid)) {
    m_thread = std::thread([this] {
      while (!m_stop) {
        long now = residentKiB(m_pid);
        if (now > m_peak) m_peak = now;
        ::poll(nullptr, 0, 20);
      }
    });
  }
  ~RssSampler() { stop(); }
  long stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    return m_peak;
  }

private:
  pid_t m_pid;
  std::atomic<long> m_peak;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

std::uint16_t freePort() { return static_cast<std::uint16_t>(kdisk::test::freeLoopbackPort()); }

bool portAnswers(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

struct Nginx {
  pid_t pid = 0;
  std::uint16_t port = 0;
  ~Nginx() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

bool startNginx(const std::filesystem::path& folder, Nginx& nginx) {
  std::filesystem::create_directories(folder / "root");
  std::filesystem::create_directories(folder / "body");
  nginx.port = freePort();
  std::ofstream conf(folder / "nginx.conf");
  if (::geteuid() == 0) conf << "user root;\n";
  conf << "worker_processes 1;\ndaemon off;\npid " << (folder / "nginx.pid").string()
       << ";\nerror_log " << (folder / "error.log").string()
       << ";\nevents { worker_connections 64; }\nhttp {\n  access_log off;\n  sendfile on;\n"
       << "  client_body_temp_path " << (folder / "body").string() << ";\n"
       << "  proxy_temp_path " << (folder / "body").string() << ";\n"
       << "  fastcgi_temp_path " << (folder / "body").string() << ";\n"
       << "  uwsgi_temp_path " << (folder / "body").string() << ";\n"
       << "  scgi_temp_path " << (folder / "body").string() << ";\n"
       << "  server {\n    listen 127.0.0.1:" << nginx.port << ";\n    root "
       << (folder / "root").string()
       << ";\n    client_max_body_size 0;\n    location / { dav_methods PUT DELETE MKCOL; }\n  }\n}\n";
  conf.close();
  pid_t pid = ::fork();
  if (pid == 0) {
    std::string config = (folder / "nginx.conf").string(), prefix = folder.string() + "/";
    ::execlp("nginx", "nginx", "-c", config.c_str(), "-p", prefix.c_str(), nullptr);
    ::_exit(127);
  }
  nginx.pid = pid;
  for (int attempt = 0; attempt < 250; ++attempt) {
    if (portAnswers(nginx.port)) return true;
    if (::waitpid(pid, nullptr, WNOHANG) == pid) {
      nginx.pid = 0;
      return false;
    }
    ::poll(nullptr, 0, 20);
  }
  return false;
}

double seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

struct Rates {
  double upload = 0;
  double download = 0;
};

bool transfer(const std::string& url, const std::vector<std::string>& headers,
              const std::filesystem::path& source, const std::filesystem::path& caFile,
              std::uint64_t bytes, Rates& rates) {
  HttpCall put;
  put.method = "PUT";
  put.url = url;
  put.headers = headers;
  put.uploadFile = source;
  put.caFile = caFile;
  put.timeoutMilliseconds = 20 * 60 * 1000;
  auto started = Clock::now();
  auto stored = perform(put);
  double upload = seconds(Clock::now() - started);
  if (stored.status < 200 || stored.status > 299) {
    std::cerr << "PUT " << url << " failed: " << stored.status << " " << stored.error << "\n";
    return false;
  }
  HttpCall get = put;
  get.method = "GET";
  get.uploadFile.clear();
  get.downloadFile = "/dev/null";
  started = Clock::now();
  auto fetched = perform(get);
  double download = seconds(Clock::now() - started);
  if (fetched.status != 200) {
    std::cerr << "GET " << url << " failed: " << fetched.status << " " << fetched.error << "\n";
    return false;
  }
  rates.upload = bytes / upload / (1 << 20);
  rates.download = bytes / download / (1 << 20);
  return true;
}

} // namespace

int main(int argc, char** argv) {
  std::uint64_t bytes = argc > 1 ? std::stoull(argv[1]) : (1ULL << 30);
  std::string pattern = (std::filesystem::temp_directory_path() / "kdisk-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return 1;
  std::filesystem::path folder = pattern;
  auto source = folder / "payload.bin";
  {
    std::ofstream out(source, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 131) ^ (i >> 7));
    for (std::uint64_t written = 0; written < bytes; written += block.size())
      out.write(block.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(block.size(), bytes - written)));
  }

  int exitCode = 0;
  {
    ServiceProcess service;
    ServiceOptions options;
    options.maxFileSizeBytes = bytes * 2;
    options.quotaBytes = bytes * 4;
    options.dataFolder = folder / "service";
    if (!service.start(options)) {
      std::cerr << service.lastError() << "\n";
      return 1;
    }
    auto token = service.signIn("alice", "alice-password");
    Nginx nginx;
    if (!token || !startNginx(folder / "nginx", nginx)) {
      std::cerr << "could not start nginx or sign in\n";
      return 1;
    }
    std::vector<std::string> auth = {"Authorization: OAuth " + *token};

    Rates reference, plain, secure;
    long baseline = residentKiB(service.endpoints().pid);
    RssSampler sampler(service.endpoints().pid);
    bool ok = transfer("http://127.0.0.1:" + std::to_string(nginx.port) + "/payload.bin", {}, source,
                       {}, bytes, reference) &&
              transfer(service.endpoints().httpBaseURL + "/disk/payload.bin", auth, source, {}, bytes,
                       plain) &&
              transfer(service.endpoints().httpsBaseURL + "/disk/payload-tls.bin", auth, source,
                       service.endpoints().caCertificate, bytes, secure);
    long peak = sampler.stop();
    if (!ok) return 1;

    std::printf("payload: %.1f MiB\n", bytes / double(1 << 20));
    std::printf("%-26s %12s %12s\n", "", "upload MiB/s", "download MiB/s");
    std::printf("%-26s %12.1f %12.1f\n", "nginx (http)", reference.upload, reference.download);
    std::printf("%-26s %12.1f %12.1f\n", "kdisk-service (http)", plain.upload, plain.download);
    std::printf("%-26s %12.1f %12.1f\n", "kdisk-service (https)", secure.upload, secure.download);
    std::printf("ratio service/nginx (http): upload %.2f, download %.2f\n",
                plain.upload / reference.upload, plain.download / reference.download);
    long growth = peak - baseline;
    std::printf("service RSS: %ld KiB before, %ld KiB peak, growth %ld KiB (budget %ld KiB): %s\n",
                baseline, peak, growth, kRssBudgetKiB, growth < kRssBudgetKiB ? "ok" : "OVER");
    if (growth >= kRssBudgetKiB) exitCode = 2;
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return exitCode;
}
