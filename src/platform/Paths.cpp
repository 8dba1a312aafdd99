#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/FileOwners.h"

namespace kdisk::paths {

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : std::string();
}

std::string home() {
  std::string value = environment("HOME");
  return value.empty() ? "/tmp" : value;
}

// One folder by its own variable, else below KDISK_HOME, else the XDG folder.
std::string resolve(const char* variable, const char* homeSubfolder, const char* xdgVariable,
                    const char* xdgFallback) {
  std::string direct = environment(variable);
  if (!direct.empty()) return direct;
  std::string kdiskHome = environment("KDISK_HOME");
  if (!kdiskHome.empty()) return kdiskHome + "/" + homeSubfolder;
  std::string xdg = environment(xdgVariable);
  if (xdg.empty()) xdg = home() + "/" + xdgFallback;
  return xdg + "/kalumo-disk";
}

}  // namespace

std::string configDirectory() {
  return resolve("KDISK_CONFIG_DIR", "config", "XDG_CONFIG_HOME", ".config");
}

std::string libraryDirectory() {
  return resolve("KDISK_DATA_DIR", "data", "XDG_DATA_HOME", ".local/share");
}

std::string documentsDirectory() { return libraryDirectory() + "/Documents"; }

std::string temporaryDirectory() {
  return resolve("KDISK_CACHE_DIR", "cache", "XDG_CACHE_HOME", ".cache") + "/tmp";
}

std::string keychainDirectory() { return libraryDirectory() + "/keychain"; }

Status createDirectories(const std::string& path) {
  if (path.empty()) return KMErrorFromErrno(ENOENT, path);
  std::string partial;
  std::size_t position = 0;
  while (position != std::string::npos) {
    position = path.find('/', position + 1);
    partial = path.substr(0, position);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return KMErrorFromErrno(errno, partial);
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return KMErrorFromErrno(errno, path);
  if (!S_ISDIR(info.st_mode)) return KMErrorFromErrno(ENOTDIR, path);
  return success();
}

Status writeFileAtomically(const std::string& path, std::string_view contents, int mode) {
  std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    Status made = createDirectories(path.substr(0, slash));
    if (!made.hasValue()) return made;
  }
  std::string temporary = path + ".tmp-XXXXXX";
  UniqueFd owner(::mkstemp(temporary.data()));
  if (!owner.isValid()) return KMErrorFromErrno(errno, temporary);
  const int fd = owner.get();
  auto fail = [&](int error) {
    owner.reset();
    ::unlink(temporary.c_str());
    return Status(KMErrorFromErrno(error, path));
  };
  if (::fchmod(fd, static_cast<mode_t>(mode)) != 0) return fail(errno);
  std::size_t written = 0;
  while (written < contents.size()) {
    ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) return fail(errno);
  if (owner.close() != 0) {
    ::unlink(temporary.c_str());
    return KMErrorFromErrno(errno, path);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    int error = errno;
    ::unlink(temporary.c_str());
    return KMErrorFromErrno(error, path);
  }
  return success();
}

Expected<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return KMErrorFromErrno(errno ? errno : ENOENT, path);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace kdisk::paths
