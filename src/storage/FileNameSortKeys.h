#pragma once
// Sort keys for file names: glib's file-name collation of the case-folded
// name, with the locale collation of each run of text between digits and
// dots remembered. A folder's names share most of those runs ("IMG_", ".jpg",
// "Report ", …), and collating one is the costly part of a key.
// One thread at a time.

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kdisk::storage {

class FileNameSortKeys {
 public:
  // The same bytes as g_utf8_collate_key_for_filename(g_utf8_casefold(name)).
  std::string keyForName(std::string_view name);

 private:
  const std::string& collatedRun(std::string_view run);

  // Looked up by view: a key is built for every name of a folder, and most of
  // its runs are found, not collated.
  struct RunHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view run) const { return std::hash<std::string_view>{}(run); }
  };
  std::unordered_map<std::string, std::string, RunHash, std::equal_to<>> m_runs;
};

}  // namespace kdisk::storage
