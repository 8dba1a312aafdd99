// Cold start of the application under Xvfb: from process start to the first
// painted frame showing the root folder's cached listing (kalumo-disk with
// KDISK_FIRST_FRAME_MARK, signed in, cache warm, against a kdisk-service
// started here), beside a bare GTK 4 window program's first frame. Both run
// on one session bus and display, alternating; the medians count.
//
//   cold_start_bench [ROUNDS, default 9]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "ListingBenchSupport.h"
#include "support/ServiceProcess.h"
#include "support/TemporaryDirectory.h"
#include "support/VirtualDisplay.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFrameWaitMilliseconds = 30'000;

fs::path besideThisProgram(const std::string& name) {
  return fs::read_symlink("/proc/self/exe").parent_path() / name;
}

double monotonicNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Seconds from just before the program is started to the first frame it
// reports; negative when it reported none in time.
double firstFrameSeconds(const fs::path& program) {
  int output[2];
  if (::pipe2(output, O_CLOEXEC) != 0) return -1;
  const double started = monotonicNow();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(output[1], STDOUT_FILENO);
    const int quiet = ::open("/dev/null", O_RDWR);
    ::dup2(quiet, STDIN_FILENO);
    ::dup2(quiet, STDERR_FILENO);
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(output[1]);
  std::string text;
  double frame = -1;
  while (pid > 0) {
    pollfd wait{output[0], POLLIN, 0};
    if (::poll(&wait, 1, kFrameWaitMilliseconds) <= 0) break;
    char buffer[256];
    const ssize_t n = ::read(output[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    const auto at = text.find("first-frame ");
    if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
      frame = std::strtod(text.c_str() + at + 12, nullptr);
      break;
    }
  }
  ::close(output[0]);
  // The next run must not find this one still holding the application id.
  for (int i = 0; pid > 0 && i < 100; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return frame > 0 ? frame - started : -1;
    ::usleep(50'000);
  }
  if (pid > 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  return frame > 0 ? frame - started : -1;
}

// A session bus of our own, as a desktop session has; its pid, or -1.
pid_t startSessionBus() {
  FILE* bus = ::popen("dbus-daemon --session --fork --nosyslog --print-address=1 --print-pid=1", "r");
  if (!bus) return -1;
  char address[512] = {0}, pid[32] = {0};
  const bool read = std::fgets(address, sizeof address, bus) && std::fgets(pid, sizeof pid, bus);
  ::pclose(bus);
  if (!read) return -1;
  std::string value(address);
  value.erase(value.find_last_not_of("\n") + 1);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", value.c_str(), 1);
  return static_cast<pid_t>(std::atol(pid));
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  ::setenv("KDISK_LOG_LEVEL", "error", 0);
  kdisk::test::VirtualDisplay display("1280x800x24");
  if (!display.isRunning()) {
    std::cerr << "Xvfb did not start\n";
    return 1;
  }
  kdisk::test::ServiceProcess service;
  auto token = kdisk::bench::startSignedIn(service);
  if (!token) return 1;
  // A root of folders and files on the service's disk, as a person's is.
  const fs::path root = service.dataFolder() / "disks" / "1";
  for (int i = 0; i < 12; ++i) fs::create_directories(root / ("Папка " + std::to_string(i)));
  for (int i = 0; i < 30; ++i) std::ofstream(root / ("Документ " + std::to_string(i) + ".txt")) << i;

  kdisk::test::IsolatedHome home;
  const pid_t bus = startSessionBus();
  for (auto [name, value] : std::vector<std::pair<const char*, std::string>>{
           {"DISPLAY", display.name()},
           {"GDK_BACKEND", "x11"},
           {"KDISK_HOME", home.path()},
           {"KDISK_SERVICE_URL", service.endpoints().httpsBaseURL},
           {"KDISK_EXTRA_CA_FILE", service.endpoints().caCertificate.string()},
           {"KDISK_FIRST_FRAME_MARK", "1"},
           {"LANG", "C.UTF-8"}})
    ::setenv(name, value.c_str(), 1);
  // No screen reader runs under Xvfb; neither program looks for one.
  ::setenv("GTK_A11Y", "none", 1);
  ::setenv("NO_AT_BRIDGE", "1", 1);

  // Signed in and the root listed once by the command line, which shares the
  // application's settings and cache.
  const std::string kdisk = besideThisProgram("kdisk").string();
  const std::string signIn = "printf alice-password | '" + kdisk + "' login alice --password-stdin > /dev/null";
  const std::string list = "'" + kdisk + "' ls / > /dev/null";
  if (std::system(signIn.c_str()) != 0 || std::system(list.c_str()) != 0) {
    std::cerr << "kdisk could not sign in or list the root\n";
    return 1;
  }

  const fs::path application = besideThisProgram("kalumo-disk"), bare = besideThisProgram("bare_gtk_window");
  // Once each unmeasured: the libraries in the page cache, first-run screens seen.
  firstFrameSeconds(bare);
  firstFrameSeconds(application);
  std::vector<double> bareTimes, applicationTimes;
  for (int round = 0; round < rounds; ++round) {
    const double b = firstFrameSeconds(bare), a = firstFrameSeconds(application);
    if (b <= 0 || a <= 0) {
      std::cerr << "no first frame from " << (b <= 0 ? bare : application) << " within "
                << kFrameWaitMilliseconds / 1000 << " s\n";
      if (bus > 0) ::kill(bus, SIGTERM);
      return 1;
    }
    bareTimes.push_back(b);
    applicationTimes.push_back(a);
  }
  if (bus > 0) ::kill(bus, SIGTERM);

  double load[1] = {0};
  ::getloadavg(load, 1);
  const double reference = kdisk::bench::median(bareTimes), measured = kdisk::bench::median(applicationTimes);
  std::printf("cold start to the first frame under Xvfb, medians of %d runs (load average %.2f)\n", rounds, load[0]);
  std::printf("  bare GTK 4 window                 %7.1f ms\n", reference * 1000);
  std::printf("  kalumo-disk, cached root listing  %7.1f ms  ratio %.2f  (target <= 2, < 400 ms)\n",
              measured * 1000, measured / reference);
  return 0;
}
