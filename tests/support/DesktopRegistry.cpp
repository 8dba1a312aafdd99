#include "support/DesktopRegistry.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace kdisk::test {

DesktopRegistry::DesktopRegistry()
    : m_dataHome("XDG_DATA_HOME", m_directory.file("data")),
      m_dataDirs("XDG_DATA_DIRS", m_directory.file("system")),
      m_configHome("XDG_CONFIG_HOME", m_directory.file("config")) {
  m_directory.write("system/applications/.keep", "");
  m_directory.write("config/.keep", "");
  // Content types still come from the system's MIME database.
  std::error_code ignored;
  std::filesystem::create_directory_symlink("/usr/share/mime", m_directory.file("system/mime"), ignored);
}

std::string DesktopRegistry::addApplication(const std::string& identifier, const std::string& name,
                                            const std::vector<std::string>& mimeTypes) {
  const std::string marker = m_directory.file("markers/" + identifier);
  const std::string script = m_directory.file("bin/" + identifier);
  // Written to a temporary name first, so a reader never sees half an argument.
  m_directory.write("bin/" + identifier,
                    "#!/bin/sh\nprintf '%s' \"$1\" > '" + marker + ".part' && mv '" + marker +
                        ".part' '" + marker + "'\n");
  ::chmod(script.c_str(), 0755);
  m_directory.write("markers/.keep", "");
  std::ostringstream desktop;
  desktop << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=" << script
          << " %u\nMimeType=";
  for (const std::string& type : mimeTypes) desktop << type << ';';
  desktop << "\nNoDisplay=false\n";
  m_directory.write("data/applications/" + identifier + ".desktop", desktop.str());
  // GIO finds the applications of a type through this index, as on a desktop
  // where update-desktop-database keeps it.
  for (const std::string& type : mimeTypes) m_mimeCache[type] += identifier + ".desktop;";
  std::string cache = "[MIME Cache]\n";
  for (const auto& [type, identifiers] : m_mimeCache) cache += type + "=" + identifiers + "\n";
  m_directory.write("data/applications/mimeinfo.cache", cache);
  return marker;
}

std::optional<std::string> DesktopRegistry::waitForMarker(const std::string& marker,
                                                          std::chrono::milliseconds timeout) {
  // The application is another process; its effect can only be looked for.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(marker, std::ios::binary);
    if (in) return std::string(std::istreambuf_iterator<char>(in), {});
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

}  // namespace kdisk::test
