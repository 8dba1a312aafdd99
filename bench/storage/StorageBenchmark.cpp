// The metadata cache on a cache of 100,000 rows: merge, re-merge, changed
// re-merge, sorted read and subtree removal of one folder, each beside plain
// SQLite doing the same work on an identical file in one transaction.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Log.h"
#include "platform/URL.h"
#include "storage/KMWebDAVStorage.h"
#include "webdav/KMDirectory.h"
#include "webdav/KMFile.h"

namespace {

constexpr const char* kHost = "https://webdav.kalumo.test";
constexpr int kBackgroundFolders = 90;
constexpr int kBackgroundFolderSize = 1000;
constexpr int kRepetitions = 3;

kdisk::URL url(const std::string& path) { return *kdisk::URL::fromString(kHost + path); }

double millisecondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string fileName(int i) { return "IMG_" + std::to_string(i) + ".jpg"; }

KMFileItemList folderListing(const std::string& folder, int count, int changedEvery, int generation) {
  KMFileItemList items;
  items.push_back(KMDirectory::fileItemWithURL(url(folder)));
  for (int i = 0; i < count; ++i) {
    auto file = KMFile::fileItemWithURL(url(folder + fileName(i)));
    file->setDisplayName(fileName(i));
    file->setSize(1000 + i);
    file->setLastModified(kdisk::Date{1.7e9 + i});
    const bool changed = changedEvery > 0 && i % changedEvery == 0;
    file->setEtag("\"" + std::to_string(i) + "-" + std::to_string(changed ? generation : 0) + "\"");
    items.push_back(file);
  }
  return items;
}

// Plain SQLite over the same schema and indexes.
class Baseline {
 public:
  explicit Baseline(const std::string& path) {
    sqlite3_open(path.c_str(), &m_db);
    exec("CREATE TABLE FileItem(parent_url TEXT, url TEXT, display_name TEXT, is_dir INTEGER, "
         "size INTEGER, last_modified INTEGER, last_access INTEGER, etag TEXT);"
         "CREATE INDEX FileItem_parent_url ON FileItem(parent_url);"
         "CREATE INDEX FileItem_url ON FileItem(url);");
  }
  ~Baseline() { sqlite3_close(m_db); }

  void exec(const char* sql) { sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

  void insertFolder(const std::string& folder, int count, int changedEvery, int generation) {
    sqlite3_stmt* insert = prepare(
        "INSERT INTO FileItem(parent_url, url, display_name, is_dir, size, last_modified, etag) "
        "VALUES (?, ?, ?, 0, ?, ?, ?)");
    const std::string parent = std::string(kHost) + folder;
    for (int i = 0; i < count; ++i) {
      if (changedEvery > 0 && i % changedEvery != 0) continue;
      const std::string child = parent + fileName(i);
      const std::string name = fileName(i);
      const std::string etag = "\"" + std::to_string(i) + "-" + std::to_string(generation) + "\"";
      sqlite3_bind_text(insert, 1, parent.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 2, child.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 3, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(insert, 4, 1000 + i);
      sqlite3_bind_double(insert, 5, 1.7e9 + i);
      sqlite3_bind_text(insert, 6, etag.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
  }

  int readFolder(const std::string& folder, const char* columns) {
    const std::string sql = std::string("SELECT ") + columns + " FROM FileItem WHERE parent_url=?";
    sqlite3_stmt* select = prepare(sql.c_str());
    const std::string parent = std::string(kHost) + folder;
    sqlite3_bind_text(select, 1, parent.c_str(), -1, SQLITE_TRANSIENT);
    int rows = 0;
    while (sqlite3_step(select) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(select); ++c) sqlite3_column_text(select, c);
      ++rows;
    }
    sqlite3_finalize(select);
    return rows;
  }

  void deleteEvery(const std::string& folder, int count, int every) {
    sqlite3_stmt* remove = prepare("DELETE FROM FileItem WHERE url=?");
    for (int i = 0; i < count; i += every) {
      const std::string child = std::string(kHost) + folder + fileName(i);
      sqlite3_bind_text(remove, 1, child.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(remove);
      sqlite3_reset(remove);
    }
    sqlite3_finalize(remove);
  }

  void deleteSubtree(const std::string& folder) {
    sqlite3_stmt* remove = prepare("DELETE FROM FileItem WHERE url=? OR (url>=? AND url<?)");
    std::string bare = std::string(kHost) + folder;
    bare.pop_back();
    const std::string prefix = bare + "/", end = bare + "0";
    sqlite3_bind_text(remove, 1, bare.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(remove, 2, prefix.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(remove, 3, end.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(remove);
    sqlite3_finalize(remove);
  }

 private:
  sqlite3_stmt* prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr);
    return statement;
  }
  sqlite3* m_db = nullptr;
};

struct Figures {
  double store = 0, baseline = 0;
};

void printRow(const char* step, int size, const Figures& figures) {
  std::printf("| %-34s | %6d | %9.1f | %9.1f | %5.2f |\n", step, size, figures.store, figures.baseline,
              figures.store / std::max(figures.baseline, 0.001));
}

}  // namespace

int main() {
  char pattern[] = "/tmp/kdisk-bench-XXXXXX";
  const std::string home = ::mkdtemp(pattern);
  ::setenv("KDISK_HOME", home.c_str(), 1);
  kdisk::setAllLogLevels(kdisk::LogLevel::Warning);

  KMWebDAVStorage storage;
  storage.setRootURL(url("/disk/"));
  Baseline baseline(home + "/baseline.sqlite");

  std::printf("Building a cache of %d rows...\n", kBackgroundFolders * kBackgroundFolderSize);
  for (int f = 0; f < kBackgroundFolders; ++f) {
    const std::string folder = "/disk/background" + std::to_string(f) + "/";
    storage.updateContentsOfDirectoryAtURLWithItems(url(folder), folderListing(folder, kBackgroundFolderSize, 0, 0));
    baseline.exec("BEGIN");
    baseline.insertFolder(folder, kBackgroundFolderSize, 0, 0);
    baseline.exec("COMMIT");
  }

  std::printf("\n| %-34s | %6s | %9s | %9s | %5s |\n", "step", "items", "store ms", "plain ms", "ratio");
  std::printf("|%s|%s|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(8, '-').c_str(),
              std::string(11, '-').c_str(), std::string(11, '-').c_str(), std::string(7, '-').c_str());
  for (int size : {1000, 10000}) {
    std::vector<double> first[2], unchanged[2], changed[2], sorted[2], removal[2];
    for (int rep = 0; rep < kRepetitions; ++rep) {
      const std::string folder = "/disk/bench" + std::to_string(size) + "_" + std::to_string(rep) + "/";
      const auto fresh = folderListing(folder, size, 0, 0);
      const auto onePercent = folderListing(folder, size, 100, 1);

      first[0].push_back(millisecondsOf([&] { storage.updateContentsOfDirectoryAtURLWithItems(url(folder), fresh); }));
      first[1].push_back(millisecondsOf([&] {
        baseline.exec("BEGIN");
        baseline.insertFolder(folder, size, 0, 0);
        baseline.exec("COMMIT");
      }));

      unchanged[0].push_back(millisecondsOf([&] { storage.updateContentsOfDirectoryAtURLWithItems(url(folder), fresh); }));
      unchanged[1].push_back(millisecondsOf([&] {
        baseline.exec("BEGIN");
        baseline.readFolder(folder, "rowid, url, is_dir, etag");
        baseline.exec("COMMIT");
      }));

      changed[0].push_back(millisecondsOf([&] { storage.updateContentsOfDirectoryAtURLWithItems(url(folder), onePercent); }));
      changed[1].push_back(millisecondsOf([&] {
        baseline.exec("BEGIN");
        baseline.readFolder(folder, "rowid, url, is_dir, etag");
        baseline.deleteEvery(folder, size, 100);
        baseline.insertFolder(folder, size, 100, 1);
        baseline.exec("COMMIT");
      }));

      std::size_t count = 0;
      sorted[0].push_back(millisecondsOf([&] {
        count = storage.contentsOfDirectoryAtURLIncludeHidden(url(folder), true).size();
      }));
      sorted[1].push_back(millisecondsOf([&] {
        baseline.readFolder(folder, "url, display_name, is_dir, size, last_modified, etag");
      }));
      if (count != static_cast<std::size_t>(size)) std::printf("unexpected folder size %zu\n", count);

      removal[0].push_back(millisecondsOf([&] { storage.removeItem(*KMDirectory::fileItemWithURL(url(folder))); }));
      removal[1].push_back(millisecondsOf([&] {
        baseline.exec("BEGIN");
        baseline.deleteSubtree(folder);
        baseline.exec("COMMIT");
      }));
    }
    printRow("first merge", size, {median(first[0]), median(first[1])});
    printRow("unchanged re-merge", size, {median(unchanged[0]), median(unchanged[1])});
    printRow("re-merge, 1% etags changed", size, {median(changed[0]), median(changed[1])});
    printRow("contents, sorted", size, {median(sorted[0]), median(sorted[1])});
    printRow("remove subtree", size, {median(removal[0]), median(removal[1])});
  }
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return 0;
}
