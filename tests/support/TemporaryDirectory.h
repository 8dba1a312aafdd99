#pragma once
// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.

#include <optional>
#include <string>

namespace kdisk::test {

class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + "/" + name; }
  // Writes `contents` to the file `name`, making the folders on its way.
  void write(const std::string& name, const std::string& contents) const;

 private:
  std::string m_path;
};

// Points every folder the program writes to (KDISK_HOME) at a fresh temporary
// folder for the object's life, and restores the previous value after.
class IsolatedHome {
 public:
  IsolatedHome();
  ~IsolatedHome();
  const std::string& path() const { return m_directory.path(); }

 private:
  TemporaryDirectory m_directory;
  std::string m_previous;
  bool m_hadPrevious = false;
};

// Sets (or, given nothing, unsets) one environment variable for the object's
// life, and restores the previous value after.
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

// Runs the main loop's run clock virtually for the object's life.
class VirtualClock {
 public:
  VirtualClock();
  ~VirtualClock();
  void advance(double seconds);
};

}  // namespace kdisk::test
