#include "support/TemporaryDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/RunLoop.h"

namespace kdisk::test {

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kdisk-test-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  m_path = made ? std::string(made) : std::string();
}

TemporaryDirectory::~TemporaryDirectory() {
  if (m_path.empty()) return;
  std::error_code ignored;
  // A test may leave a read-only folder behind; open it up so it can go.
  for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(m_path, ignored);
}

void TemporaryDirectory::write(const std::string& name, const std::string& contents) const {
  const std::filesystem::path target = file(name);
  std::filesystem::create_directories(target.parent_path());
  std::ofstream(target, std::ios::binary | std::ios::trunc) << contents;
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name,
                                                     std::optional<std::string> value)
    : m_name(std::move(name)) {
  if (const char* previous = std::getenv(m_name.c_str())) m_previous = previous;
  if (value)
    ::setenv(m_name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(m_name.c_str());
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  if (m_previous)
    ::setenv(m_name.c_str(), m_previous->c_str(), 1);
  else
    ::unsetenv(m_name.c_str());
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
