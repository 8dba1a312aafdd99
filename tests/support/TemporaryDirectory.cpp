#include "support/TemporaryDirectory.h"

#include <cstdlib>
#include <filesystem>

#include "platform/RunLoop.h"

namespace kdisk::test {

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kdisk-test-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  m_path = made ? std::string(made) : std::string();
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
}

IsolatedHome::IsolatedHome() {
  if (const char* previous = std::getenv("KDISK_HOME")) {
    m_previous = previous;
    m_hadPrevious = true;
  }
  ::setenv("KDISK_HOME", m_directory.path().c_str(), 1);
}

IsolatedHome::~IsolatedHome() {
  if (m_hadPrevious) {
    ::setenv("KDISK_HOME", m_previous.c_str(), 1);
  } else {
    ::unsetenv("KDISK_HOME");
  }
}

VirtualClock::VirtualClock() { RunLoop::main().useVirtualClockForTesting(true); }
VirtualClock::~VirtualClock() {
  RunLoop::main().runPending();
  RunLoop::main().useVirtualClockForTesting(false);
}
void VirtualClock::advance(double seconds) { RunLoop::main().advance(seconds); }

}  // namespace kdisk::test
