#include "support/ServerChild.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/RunLoop.h"
#include "support/LoopbackPort.h"

namespace kdisk::test {

bool ServerChild::start(std::vector<std::string> arguments, int port, const std::string& outputLog) {
  if (arguments.empty() || m_pid > 0) return false;
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  m_pid = ::fork();
  if (m_pid == 0) {
    if (!outputLog.empty()) {
      const int output = ::open(outputLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (output >= 0) {
        ::dup2(output, 1);
        ::dup2(output, 2);
      }
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (m_pid < 0) return false;
  const pid_t pid = m_pid;
  m_ready = RunLoop::main().runUntil(
      [port, pid] {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return true;  // exited: not ready
        return loopbackPortAccepts(port);
      },
      15);
  m_ready = m_ready && ::kill(m_pid, 0) == 0 && loopbackPortAccepts(port);
  return m_ready;
}

ServerChild::~ServerChild() {
  if (m_pid <= 0) return;
  ::kill(m_pid, SIGTERM);
  int status = 0;
  ::waitpid(m_pid, &status, 0);
}

}  // namespace kdisk::test
