#pragma once
// What the benchmarks against nginx share: timing a program from start to
// exit with its peak memory, the kdisk program beside the benchmark, and a
// home whose settings hold a token so kdisk counts as signed in.

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace kdisk::bench {

struct ProgramRun {
  double seconds = -1;  // negative when it could not run or failed
  long peakKiB = 0;     // the child's maximum resident set
  double cpuSeconds = 0;  // user + system time of the child and what it waited for
};

inline double cpuSecondsOf(const rusage& usage) {
  auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// User + system time of this process (every thread) or of its waited-for
// children so far: on a loaded machine wall time mostly measures the others.
inline double cpuSecondsUsed(int who = RUSAGE_SELF) {
  rusage usage{};
  ::getrusage(who, &usage);
  return cpuSecondsOf(usage);
}

// Runs `arguments` with `environment` added (an empty value unsets one),
// output to /dev/null, and waits for it. The peak comes from /usr/bin/time
// in between: Linux keeps a process's peak across exec, so a child forked
// straight from this (large) benchmark would report this program's size.
inline ProgramRun runProgram(std::vector<std::string> arguments,
                             const std::map<std::string, std::string>& environment = {}) {
  ProgramRun run;
  const std::string peakFile =
      (std::filesystem::temp_directory_path() / ("kdisk-bench-peak-" + std::to_string(::getpid()))).string();
  arguments.insert(arguments.begin(), {"/usr/bin/time", "-q", "-f", "%M", "-o", peakFile});
  const auto begin = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    for (const auto& [name, value] : environment)
      value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return run;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::ifstream peak(peakFile);
  peak >> run.peakKiB;
  std::error_code error;
  std::filesystem::remove(peakFile, error);
  run.cpuSeconds = cpuSecondsOf(usage);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) run.seconds = seconds;
  return run;
}

// The one-minute load average, printed beside wall-clock figures.
inline double loadAverage() {
  double load = 0;
  std::ifstream("/proc/loadavg") >> load;
  return load;
}

// The kdisk program built beside this benchmark.
inline std::string kdiskProgram() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kdisk").string();
}

}  // namespace kdisk::bench
