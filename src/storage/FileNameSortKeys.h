#pragma once
// Sort keys for file names: glib's file-name collation of the case-folded
// name, with the locale collation of each run of text between digits and
// dots remembered. A folder's names share most of those runs ("IMG_", ".jpg",
// "Report ", …), and collating one is the costly part of a key.
// One thread at a time.

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

  std::unordered_map<std::string, std::string> m_runs;
};

}  // namespace kdisk::storage
