#pragma once
// A fresh folder for one test, removed with everything in it at scope end.

#include <optional>
#include <string>

namespace kdisk::testing {

class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::string& path() const { return m_path; }
  // path() + "/" + relative
  std::string file(const std::string& relative) const;
  // Writes `contents` to `relative`, creating folders on the way.
  void write(const std::string& relative, const std::string& contents) const;

 private:
  std::string m_path;
};

// Sets (or, with nothing, unsets) an environment variable for the scope's life.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(std::string name, std::optional<std::string> value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_previous;
};

}  // namespace kdisk::testing
