#include "support/TemporaryDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kdisk::testing {

TemporaryDirectory::TemporaryDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/kdisk-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) std::abort();
  m_path = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  // Tests may leave read-only folders behind; give them back before removing.
  for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(m_path, ignored);
}

std::string TemporaryDirectory::file(const std::string& relative) const { return m_path + "/" + relative; }

void TemporaryDirectory::write(const std::string& relative, const std::string& contents) const {
  const std::filesystem::path target = file(relative);
  std::filesystem::create_directories(target.parent_path());
  std::ofstream(target, std::ios::binary) << contents;
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

}  // namespace kdisk::testing
