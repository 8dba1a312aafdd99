#include "support/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace kdisk::test {
namespace {

constexpr int kStartWaitMilliseconds = 15'000;

} // namespace

VirtualDisplay::VirtualDisplay(const std::string& screen) {
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0)
    return;
  m_pid = ::fork();
  if (m_pid == 0) {
    // Xvfb writes the display number it chose to this descriptor once it
    // accepts clients, so no fixed number can collide with another run.
    ::dup2(ready[1], 3);
    const int quiet = ::open("/dev/null", O_WRONLY);
    if (quiet >= 0) {
      ::dup2(quiet, STDOUT_FILENO);
      ::dup2(quiet, STDERR_FILENO);
    }
    ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", screen.c_str(),
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(ready[1]);
  std::string number;
  while (m_pid > 0 && number.find('\n') == std::string::npos) {
    pollfd wait{ready[0], POLLIN, 0};
    if (::poll(&wait, 1, kStartWaitMilliseconds) <= 0)
      break;
    char buffer[32];
    const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
    if (n <= 0)
      break;
    number.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(ready[0]);
  if (number.find('\n') != std::string::npos)
    m_name = ":" + number.substr(0, number.find('\n'));
}

VirtualDisplay::~VirtualDisplay() {
  if (m_pid <= 0)
    return;
  ::kill(m_pid, SIGTERM);
  ::waitpid(m_pid, nullptr, 0);
}

} // namespace kdisk::test
