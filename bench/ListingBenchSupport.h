#pragma once
// What the listing benchmarks share: a large folder written straight into a
// running kdisk-service's account, the curl program fetching the same PROPFIND,
// and medians.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "support/ServiceProcess.h"

namespace kdisk::bench {

struct SeededFolder {
  std::filesystem::path path;  // on the service's disk
  std::string url;             // as the client asks for it
};

// `entries` small files in alice's (account 1) folder "Большая папка"; the
// service lists what is on its disk, so nothing goes through WebDAV.
inline SeededFolder seedLargeFolder(const test::ServiceProcess& service, std::size_t entries) {
  SeededFolder folder;
  folder.path = service.dataFolder() / "disks" / "1" / "Большая папка";
  std::filesystem::create_directories(folder.path);
  for (std::size_t i = 0; i < entries; ++i)
    std::ofstream(folder.path / ("Файл номер " + std::to_string(i) + " с пробелами.txt")) << i;
  folder.url = service.endpoints().diskURL() +
               "%D0%91%D0%BE%D0%BB%D1%8C%D1%88%D0%B0%D1%8F%20%D0%BF%D0%B0%D0%BF%D0%BA%D0%B0/";
  return folder;
}

// Seconds for the curl program to run the PROPFIND once (process start and TLS
// handshake included, as a user at a shell would see it); negative on failure.
inline double curlProgramSeconds(const std::string& url, const std::string& token,
                                 const std::filesystem::path& bodyFile, const std::string& caFile) {
  const std::string command = "curl -s -f -o /dev/null --compressed -X PROPFIND --cacert '" + caFile +
                              "' -H 'Authorization: OAuth " + token +
                              "' -H 'Depth: 1' -H 'Content-Type: application/xml' --data-binary @'" +
                              bodyFile.string() + "' '" + url + "'";
  const auto begin = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// Starts the service and signs alice in; her token, or nothing after saying why.
inline std::optional<std::string> startSignedIn(test::ServiceProcess& service) {
  if (!service.start()) {
    std::cerr << "kdisk-service did not start: " << service.lastError() << "\n";
    return std::nullopt;
  }
  auto token = service.signIn("alice", "alice-password");
  if (!token) std::cerr << "sign-in refused\n";
  return token;
}

inline bool haveCurlProgram() { return std::system("command -v curl > /dev/null 2>&1") == 0; }

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace kdisk::bench
