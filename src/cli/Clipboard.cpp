#include "cli/Clipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "platform/FileOwners.h"
#include "platform/KMError.h"

namespace fs = std::filesystem;

namespace kdisk::cli {
namespace {

constexpr const char* kClipboardErrorDomain = "kdisk.clipboard";
constexpr int kAnswerWaitMilliseconds = 10'000;

KMError clipboardError(std::string text) {
  return KMError{kClipboardErrorDomain, 1, std::move(text), {}};
}

bool hasDisplay() {
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value)
      return true;
  }
  return false;
}

fs::path holderProgram() {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path("kdisk-clipboard") : self.parent_path() / "kdisk-clipboard";
}

// The holder's one-line answer: "stored", "held" or "error: …".
std::string readAnswer(int fd) {
  std::string answer;
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMilliseconds);
  while (answer.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      break;
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0)
      break;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0)
      break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  return answer.substr(0, answer.find('\n'));
}

} // namespace

Status copyToClipboard(const std::string& text) {
  if (!hasDisplay())
    return clipboardError("no display to copy to (neither WAYLAND_DISPLAY nor DISPLAY is set)");
  const fs::path program = holderProgram();
  if (::access(program.c_str(), X_OK) != 0)
    return clipboardError(program.string() + " is missing");

  int inputEnds[2], outputEnds[2];
  if (::pipe2(inputEnds, O_CLOEXEC) != 0)
    return clipboardError("cannot start " + program.string());
  UniqueFd inputRead(inputEnds[0]), inputWrite(inputEnds[1]);
  if (::pipe2(outputEnds, O_CLOEXEC) != 0)
    return clipboardError("cannot start " + program.string());
  UniqueFd outputRead(outputEnds[0]), outputWrite(outputEnds[1]);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Our stderr stays ours: a holder left running must not keep a pipe of
    // whoever ran us open.
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(inputRead.get(), STDIN_FILENO);
    ::dup2(outputWrite.get(), STDOUT_FILENO);
    if (quiet >= 0)
      ::dup2(quiet, STDERR_FILENO);
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  inputRead.reset();
  outputWrite.reset();
  if (pid < 0)
    return clipboardError("cannot start " + program.string());
  // A holder that died early must not kill us with SIGPIPE.
  struct sigaction ignore {
  }, saved{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &saved);
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(inputWrite.get(), text.data() + written, text.size() - written);
    if (n <= 0)
      break;
    written += static_cast<std::size_t>(n);
  }
  inputWrite.reset();
  ::sigaction(SIGPIPE, &saved, nullptr);
  const std::string answer = readAnswer(outputRead.get());
  outputRead.reset();

  if (answer == "held")
    return Done{}; // it lives on in the background
  int status = 0;
  if (answer.empty())
    ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  if (answer == "stored")
    return Done{};
  if (answer.rfind("error: ", 0) == 0)
    return clipboardError(answer.substr(7));
  return clipboardError("the clipboard did not answer");
}

} // namespace kdisk::cli
