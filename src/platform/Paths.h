#pragma once
// Every folder the program writes to. Each follows XDG and can be moved by an
// environment variable, so tests run in a temporary folder and never touch the
// user's files:
//   KDISK_HOME          moves all of them below one folder (config/, data/, cache/)
//   KDISK_CONFIG_DIR    preferences           (else $XDG_CONFIG_HOME/kalumo-disk)
//   KDISK_DATA_DIR      library and documents (else $XDG_DATA_HOME/kalumo-disk)
//   KDISK_CACHE_DIR     temporary files       (else $XDG_CACHE_HOME/kalumo-disk)

#include <string>

#include "platform/Expected.h"

namespace kdisk::paths {

std::string configDirectory();
// The library directory: the database lives here.
std::string libraryDirectory();
// The documents directory: downloaded files live below it.
std::string documentsDirectory();
std::string temporaryDirectory();
std::string keychainDirectory();

// Creates `path` and its missing ancestors (mode 0700 for new folders).
Status createDirectories(const std::string& path);
// Writes `contents` to `path` through a temporary file and rename, so readers
// see the old file or the new one, never a torn one.
Status writeFileAtomically(const std::string& path, std::string_view contents, int mode = 0600);
Expected<std::string> readFile(const std::string& path);
bool fileExists(const std::string& path);

}  // namespace kdisk::paths
