#pragma once
// An X display of our own (Xvfb) for the life of the object, for programs
// that need a desktop: ":<n>" in `name()`, empty when Xvfb is missing or
// did not start.
#include <string>
#include <sys/types.h>

namespace kdisk::test {

class VirtualDisplay {
public:
  // `screen` as Xvfb takes it: WIDTHxHEIGHTxDEPTH.
  explicit VirtualDisplay(const std::string& screen = "320x240x24");
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& name() const { return m_name; }
  bool isRunning() const { return !m_name.empty(); }

private:
  pid_t m_pid = -1;
  std::string m_name;
};

} // namespace kdisk::test
