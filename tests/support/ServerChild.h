#pragma once
// A server program run as a child in the foreground for the life of the
// object: started from its arguments, ready once its loopback port takes
// connections, stopped with SIGTERM and reaped.

#include <sys/types.h>

#include <string>
#include <vector>

namespace kdisk::test {

class ServerChild {
 public:
  ServerChild() = default;
  ~ServerChild();
  ServerChild(const ServerChild&) = delete;
  ServerChild& operator=(const ServerChild&) = delete;

  // `arguments` starts with the program's path. Its output goes to
  // `outputLog` when one is named. True once `port` accepts within 15 s;
  // false when the program exits first or never listens.
  bool start(std::vector<std::string> arguments, int port, const std::string& outputLog = {});
  bool isRunning() const { return m_pid > 0 && m_ready; }

 private:
  pid_t m_pid = -1;
  bool m_ready = false;
};

}  // namespace kdisk::test
