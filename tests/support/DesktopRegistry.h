#pragma once
// A desktop of the test's own: XDG_DATA_HOME, XDG_DATA_DIRS and XDG_CONFIG_HOME
// point at a temporary folder, so the only registered applications are the
// ones the test adds. Each added application writes the argument it was
// started with into a marker file the test reads back.
//
// GIO reads the registry once per process, so make one registry before the
// first look-up and keep it for the program's life (a test suite's static).

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/TemporaryDirectory.h"

namespace kdisk::test {

class DesktopRegistry {
 public:
  DesktopRegistry();

  // Adds "<identifier>.desktop" named `name` for the given MIME types
  // ("x-scheme-handler/sms", "image/png"); returns its marker file's path.
  std::string addApplication(const std::string& identifier, const std::string& name,
                             const std::vector<std::string>& mimeTypes);
  // The argument the application got, once it has written it; nothing when it
  // did not start within `timeout`.
  static std::optional<std::string> waitForMarker(
      const std::string& marker, std::chrono::milliseconds timeout = std::chrono::seconds(10));

  const std::string& path() const { return m_directory.path(); }

 private:
  TemporaryDirectory m_directory;
  ScopedEnvironmentVariable m_dataHome, m_dataDirs, m_configHome;
  std::map<std::string, std::string> m_mimeCache;
};

}  // namespace kdisk::test
