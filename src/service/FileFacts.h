#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kdisk::service {

struct FileFacts {
  bool collection = false;
  std::uint64_t size = 0;
  std::int64_t modifiedSeconds = 0;
  std::string etag; // quoted
};

// lstat-based: symbolic links are not followed, so a link can never lead out of
// the data folder; they are reported as missing.
std::optional<FileFacts> factsOf(const std::filesystem::path& path);
std::optional<FileFacts> factsOfDescriptor(int fd);
std::string httpDate(std::int64_t seconds);
std::string contentTypeFor(const std::string& name);
// Bytes held by regular files below `root`.
std::uint64_t bytesUsedBelow(const std::filesystem::path& root);

} // namespace kdisk::service
