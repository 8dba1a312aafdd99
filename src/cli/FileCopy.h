#pragma once
// Bringing a file from the cache to where the user asked for it without a
// second pass through this process's memory.

#include <filesystem>
#include <system_error>

namespace kdisk::cli {

// Replaces `to` with a copy of `from`: a reflink where the file system shares
// blocks, else copy_file_range in the kernel, else a plain copy. `from` is
// left as it was.
std::error_code copyFileContents(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace kdisk::cli
