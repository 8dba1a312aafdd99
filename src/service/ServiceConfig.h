#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kdisk::service {

inline constexpr std::string_view kClientId = "3c5e9a7b1d2f4e60a8b7c6d5e4f30a21";
inline constexpr std::string_view kClientSecret = "7e1d4c2b9a8f4b3e96d5c0a1b2e3f405";

struct ServiceConfig {
  std::filesystem::path dataFolder;
  std::uint16_t httpPort = 18080;
  std::uint16_t httpsPort = 18443;
  bool seedDemo = false;
  std::vector<std::pair<std::string, std::string>> users;
  std::uint64_t quotaBytes = 10ULL << 30;
  std::uint64_t maxFileSizeBytes = 2ULL << 30;
  std::optional<std::filesystem::path> readyFile;
  std::string adminSecret; // empty: no admin endpoint, no faults
  std::uint64_t tokenLifetimeSeconds = 365ULL * 24 * 3600;
  // Update manifest: a file served as it is, or the two values.
  std::optional<std::filesystem::path> updateManifest;
  std::uint64_t updateBuildNumber = 0;
  std::string updateURL;

  // Filled in once the listeners are bound.
  std::string httpBaseURL;
  std::string httpsBaseURL;
};

} // namespace kdisk::service
