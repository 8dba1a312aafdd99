#include "storage/KMWebDAVStorage.h"

#include <algorithm>
#include <typeinfo>
#include <unordered_map>

#include "platform/Log.h"
#include "storage/FileNameSortKeys.h"
#include "webdav/KMDirectory.h"
#include "webdav/KMFile.h"

using kdisk::sql::Database;

namespace {

std::shared_ptr<spdlog::logger> log() {
  static auto logger = kdisk::logger("KMWebDAVStorage");
  return logger;
}

KMError storageError(Database& database) {
  KMError error = database.lastError();
  if (error.code == 0) error.localizedDescription = "The unit of work was not completed.";
  return error;
}

bool isExactlyDirectory(const KMFileItem& item) { return typeid(item) == typeid(KMDirectory); }

// The text of the URL with its last path component removed; a trailing slash
// belongs to the last component.
std::string parentURLText(const kdisk::URL& url) {
  // Most URLs are plain "scheme://authority/path": cut the text itself rather
  // than rebuild the URL from its parts, which a folder's merge did per row.
  const std::string_view text = url.absoluteString();
  const std::size_t colon = text.find(':');
  const std::size_t path = colon == std::string_view::npos || text.substr(colon, 3) != "://"
                               ? std::string_view::npos
                               : text.find('/', colon + 3);
  if (path == std::string_view::npos || text.find('?') != std::string_view::npos ||
      text.find('#') != std::string_view::npos) {
    return url.deletingLastPathComponent().absoluteString();
  }
  std::size_t end = text.size();
  while (end - path > 1 && text[end - 1] == '/') --end;
  return std::string(text.substr(0, text.rfind('/', end - 1) + 1));
}

std::string withoutTrailingSlash(std::string text) {
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool sameIgnoringTrailingSlash(std::string_view text, std::string_view bare) {
  while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  return text == bare;
}

kdisk::Value textOrNull(const std::optional<std::string>& text) {
  return text ? kdisk::Value(*text) : kdisk::Value(kdisk::Null{});
}

// itemFromRow reads the columns by their place in this list.
constexpr std::string_view kSelectItemColumns =
    "SELECT url, display_name, is_dir, size, last_modified, etag FROM FileItem";
enum ItemColumn { kURLColumn, kDisplayNameColumn, kIsDirColumn, kSizeColumn, kLastModifiedColumn, kETagColumn };

std::shared_ptr<KMFileItem> itemFromRow(const kdisk::sql::ResultSet& row) {
  auto url = kdisk::URL::fromString(row.textForColumnIndex(kURLColumn));
  if (!url) return nullptr;  // a row no URL can be made of is unreadable, not fatal
  std::shared_ptr<KMFileItem> item;
  if (row.longLongIntForColumnIndex(kIsDirColumn) != 0) {
    item = KMDirectory::fileItemWithURL(std::move(*url));
  } else {
    auto file = KMFile::fileItemWithURL(std::move(*url));
    file->setSize(static_cast<std::uint64_t>(row.longLongIntForColumnIndex(kSizeColumn)));
    file->setLastModified(row.dateForColumnIndex(kLastModifiedColumn));
    file->setEtag(row.stringForColumnIndex(kETagColumn));
    item = std::move(file);
  }
  item->setDisplayName(row.stringForColumnIndex(kDisplayNameColumn));
  return item;
}

}  // namespace

constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);

// What the merge needs of a cached child, without building an item.
struct KMWebDAVStorage::CachedRow {
  std::int64_t rowid = 0;
  std::string url;
  bool isDirectory = false;
  std::optional<std::string> etag;
  std::uint64_t size = 0;
  std::optional<kdisk::Date> lastModified;
  bool taken = false;
  std::size_t next = kNoRow;  // the next cached row of the same URL
};

namespace {

// Servers without entity tags still give size and date; a file whose both
// are unchanged is the same file. Anything less certain counts as changed.
bool sameFileVersion(const std::optional<std::string>& etag, std::uint64_t size,
                     const std::optional<kdisk::Date>& lastModified, const KMFile& fresh) {
  if (etag || fresh.etag()) return etag && fresh.etag() && *etag == *fresh.etag();
  return lastModified && fresh.lastModified() && *lastModified == *fresh.lastModified() && size == fresh.size();
}

}  // namespace

KMWebDAVStorage::KMWebDAVStorage() : SQLSerialStorage("WebDAVStorage.sqlite") {}

// ---- Schema

bool KMWebDAVStorage::initializeDatabase(Database& database) {
  return SQLSerialStorage::initializeDatabase(database) &&
         database.executeUpdate("CREATE TABLE DiskMeta(disk_available INTEGER)") &&
         database.executeUpdate("INSERT INTO DiskMeta(disk_available) VALUES (0)") &&
         database.executeUpdate(
             "CREATE TABLE FileItem(parent_url TEXT, url TEXT, display_name TEXT, is_dir INTEGER, "
             "size INTEGER, last_modified INTEGER, last_access INTEGER, etag TEXT)") &&
         database.executeUpdate(
             "CREATE TABLE Upload(url TEXT, parent_url TEXT, local_url TEXT, size INTEGER, "
             "uploaded_size INTEGER, failed INTEGER, fail_reason TEXT)") &&
         createIndexes(database);
}

bool KMWebDAVStorage::createIndexes(Database& database) {
  return database.executeStatements(
      "CREATE INDEX IF NOT EXISTS FileItem_parent_url ON FileItem(parent_url);"
      "CREATE INDEX IF NOT EXISTS FileItem_url ON FileItem(url);"
      "CREATE INDEX IF NOT EXISTS Upload_url ON Upload(url);");
}

bool KMWebDAVStorage::hasCompleteSchema(Database& database) {
  return SQLSerialStorage::hasCompleteSchema(database) && hasTable(database, "DiskMeta") &&
         hasTable(database, "FileItem") && hasTable(database, "Upload");
}

void KMWebDAVStorage::didOpenDatabase(Database& database) {
  // Indexes beside the tables, not in them: every folder open looks rows up by
  // parent, every merge and removal by URL. A file without them stays readable
  // by the same queries; they are added to it here (a new file got them with
  // its tables, in the same transaction).
  kdisk::sql::Transaction transaction(database);
  if (createIndexes(database)) transaction.commit();
  // A large folder's merge touches a few thousand pages; with SQLite's 2 MiB
  // default they were spilled to the file mid-transaction and written up to
  // eight times each. The cache grows only as far as it is used.
  database.executeStatements("PRAGMA cache_size=-16384");
}

kdisk::Status KMWebDAVStorage::performUnitOfWork(const std::function<bool(Database&)>& work) {
  kdisk::Status status = kdisk::success();
  performBlockInStorageQueue([&] {
    Database& database = fmdb();
    kdisk::sql::Transaction transaction(database);
    if (!transaction.isActive()) {
      status = storageError(database);
      return;
    }
    const bool held = work(database) && !transaction.wasRolledBackBySQLite();
    if (!held || !transaction.commit()) {
      status = storageError(database);
      log()->error("A unit of work on the cache failed and was rolled back: {}",
                   database.lastErrorMessage());
    }
  });
  return status;
}

// ---- Reading items

std::shared_ptr<KMFileItem> KMWebDAVStorage::fileItemAtURL(const kdisk::URL& url) {
  std::shared_ptr<KMFileItem> item;
  performBlockInStorageQueue([&] {
    auto row = fmdb().executeQueryWith(
        "SELECT url, display_name, is_dir, size, last_modified, etag FROM FileItem WHERE url=? "
        "LIMIT 1",
        url.absoluteString());
    if (row.next()) item = itemFromRow(row);
  });
  return item;
}

KMFileItemList KMWebDAVStorage::contentsOfDirectoryAtURLIncludeHidden(const kdisk::URL& url,
                                                                      bool includeHidden) {
  return contentsOfDirectoryAtURLIncludeHiddenExcludeDirs(url, includeHidden, false);
}

KMFileItemList KMWebDAVStorage::contentsOfDirectoryAtURLIncludeHiddenExcludeDirs(
    const kdisk::URL& url, bool includeHidden, bool excludeDirs) {
  std::string sql = std::string(kSelectItemColumns) + " WHERE parent_url=?";
  // NOT LIKE is NULL for a NULL name, so hiding also hides unnamed rows.
  if (!includeHidden) sql += " AND display_name NOT LIKE '.%'";
  if (excludeDirs) sql += " AND is_dir == 0";
  KMFileItemList items;
  performBlockInStorageQueue([&] {
    auto row = fmdb().executeQueryWith(sql, url.absoluteString());
    while (row.next()) {
      if (auto item = itemFromRow(row)) items.push_back(std::move(item));
    }
  });
  if (items.size() > 1) items = sortFileItemsUsingStandartOrder(items);
  return items;
}

KMFileItemList KMWebDAVStorage::sortFileItemsUsingStandartOrder(const KMFileItemList& items) {
  struct Keyed {
    bool isDirectory;
    std::string key;
    std::string name;
    std::size_t index;  // in `items`; keeps equal names in the order given
  };
  std::vector<Keyed> keyed;
  keyed.reserve(items.size());
  // Folded first, so the order ignores case whatever the locale's collation.
  kdisk::storage::FileNameSortKeys keys;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!items[i]) continue;
    std::string name = items[i]->displayName();
    std::string key = keys.keyForName(name);
    keyed.push_back({items[i]->isDirectory(), std::move(key), std::move(name), i});
  }
  // Pointers are sorted, not the entries: moving two strings per swap cost
  // more than comparing them.
  std::vector<const Keyed*> order;
  order.reserve(keyed.size());
  for (const Keyed& entry : keyed) order.push_back(&entry);
  std::sort(order.begin(), order.end(), [](const Keyed* a, const Keyed* b) {
    if (a->isDirectory != b->isDirectory) return a->isDirectory;
    if (int byKey = a->key.compare(b->key); byKey != 0) return byKey < 0;
    if (int byName = a->name.compare(b->name); byName != 0) return byName < 0;
    return a->index < b->index;
  });
  KMFileItemList sorted;
  sorted.reserve(order.size());
  for (const Keyed* entry : order) sorted.push_back(items[entry->index]);
  return sorted;
}

std::vector<KMWebDAVStorage::CachedRow> KMWebDAVStorage::cachedChildren(
    Database& database, const std::string& directory) {
  std::vector<CachedRow> rows;
  auto row = database.executeQueryWith(
      "SELECT rowid, url, is_dir, etag, size, last_modified FROM FileItem WHERE parent_url=?", directory);
  while (row.next()) {
    rows.push_back({row.longLongIntForColumnIndex(0), std::string(row.textForColumnIndex(1)),
                    row.longLongIntForColumnIndex(2) != 0, row.stringForColumnIndex(3),
                    static_cast<std::uint64_t>(row.longLongIntForColumnIndex(4)), row.dateForColumnIndex(5)});
  }
  return rows;
}

std::vector<kdisk::URL> KMWebDAVStorage::allUsedFileURLsInDirectoryAtURL(const kdisk::URL& directory) {
  std::vector<kdisk::URL> urls;
  performBlockInStorageQueue([&] {
    const std::string text = directory.absoluteString();
    auto row = fmdb().executeQueryWith(
        "SELECT url FROM FileItem WHERE parent_url=? UNION SELECT url FROM Upload WHERE "
        "parent_url=? ORDER BY url",
        text, text);
    while (row.next()) {
      if (auto url = kdisk::URL::fromString(row.stringForColumn("url").value_or(""))) {
        urls.push_back(*url);
      }
    }
  });
  return urls;
}

// ---- Writing items

bool KMWebDAVStorage::addItemInUnit(Database& database, const KMFileItem& item) {
  const kdisk::URL& url = item.URL();
  if (isExactlyDirectory(item)) {
    return database.executeUpdateWith(
        "INSERT INTO FileItem(parent_url, url, display_name, is_dir) VALUES (?, ?, ?, ?)",
        parentURLText(url), url.absoluteString(), textOrNull(item.storedDisplayName()), 1);
  }
  const auto* file = dynamic_cast<const KMFile*>(&item);
  const kdisk::Value date = file && file->lastModified() ? kdisk::Value(*file->lastModified())
                                                         : kdisk::Value(kdisk::Null{});
  return database.executeUpdateWith(
      "INSERT INTO FileItem(parent_url, url, display_name, is_dir, size, last_modified, etag) "
      "VALUES (?, ?, ?, ?, ?, ?, ?)",
      parentURLText(url), url.absoluteString(), textOrNull(item.storedDisplayName()), 0,
      file ? file->size() : std::uint64_t{0}, date,
      file ? textOrNull(file->etag()) : kdisk::Value(kdisk::Null{}));
}

bool KMWebDAVStorage::saveItemInUnit(Database& database, const KMFileItem& item) {
  const std::string url = item.URL().absoluteString();
  bool cached = false;
  {
    auto row = database.executeQueryWith("SELECT url FROM FileItem WHERE url=? LIMIT 1", url);
    cached = row.next();
  }
  if (!cached) return addItemInUnit(database, item);
  if (isExactlyDirectory(item)) {
    return database.executeUpdateWith("UPDATE FileItem SET display_name=?, is_dir=? WHERE url=?",
                                      textOrNull(item.storedDisplayName()), 1, url);
  }
  const auto* file = dynamic_cast<const KMFile*>(&item);
  const kdisk::Value date = file && file->lastModified() ? kdisk::Value(*file->lastModified())
                                                         : kdisk::Value(kdisk::Null{});
  return database.executeUpdateWith(
      "UPDATE FileItem SET display_name=?, is_dir=?, size=?, last_modified=?, etag=? WHERE url=?",
      textOrNull(item.storedDisplayName()), 0, file ? file->size() : std::uint64_t{0}, date,
      file ? textOrNull(file->etag()) : kdisk::Value(kdisk::Null{}), url);
}

kdisk::Status KMWebDAVStorage::addItem(const KMFileItem& item) {
  return performUnitOfWork([&](Database& database) { return addItemInUnit(database, item); });
}

kdisk::Status KMWebDAVStorage::saveItem(const KMFileItem& item) {
  return performUnitOfWork([&](Database& database) { return saveItemInUnit(database, item); });
}

void KMWebDAVStorage::updateETagForItemAtURL(const std::optional<std::string>& etag,
                                             const std::optional<kdisk::URL>& url) {
  if (!url) return;
  performUnitOfWork([&](Database& database) {
    return database.executeUpdateWith("UPDATE FileItem SET etag=? WHERE url=?", textOrNull(etag),
                                      url->absoluteString());
  });
}

void KMWebDAVStorage::setLastAccessDateForItemWithURL(const std::optional<kdisk::Date>& date,
                                                      const std::optional<kdisk::URL>& url) {
  if (!date || !url) return;
  performUnitOfWork([&](Database& database) {
    return database.executeUpdateWith("UPDATE FileItem SET last_access=? WHERE url=?", *date,
                                      url->absoluteString());
  });
}

// ---- Merging a fresh listing
//
// Each cached child C of the directory ends in one of these states:
//   kept      a fresh item has C's URL and the same kind, and for files the same
//             etag (text, both present), or, when neither has an etag, the
//             same size and last-modified date (both dates present): C's row
//             stays as it is;
//   replaced  a fresh item has C's URL but another kind or etag: C goes with its
//             subtree and local copy (removeItem), the fresh item is added;
//   gone      no fresh item has C's URL: C goes like a replaced one;
//   duplicate a second cached row of a URL already kept or replaced: only that
//             row goes, by row id, since the resource itself is still listed.
// A fresh item with no cached row is added; the item for the directory itself
// updates the directory's own row; a URL listed twice counts once.
kdisk::Status KMWebDAVStorage::updateContentsOfDirectoryAtURLWithItems(
    const kdisk::URL& directory, const KMFileItemList& items) {
  return performUnitOfWork([&](Database& database) {
    const std::string directoryText = directory.absoluteString();
    const std::string directoryKey = withoutTrailingSlash(directoryText);
    std::vector<CachedRow> old = cachedChildren(database, directoryText);
    // URL → its first cached row (duplicates chained through `next`) and
    // whether a fresh item of that URL was handled already: one look-up per
    // fresh item. The folder's own text, which every child URL repeats, is
    // left out of the hash.
    struct Entry {
      std::size_t cached = kNoRow;
      bool handled = false;
    };
    struct ChildURLHash {
      std::size_t skip;
      std::size_t operator()(std::string_view url) const {
        return std::hash<std::string_view>{}(url.substr(std::min(skip, url.size())));
      }
    };
    std::unordered_map<std::string_view, Entry, ChildURLHash> byURL(old.size() + items.size(),
                                                                   ChildURLHash{directoryText.size()});
    for (std::size_t i = old.size(); i-- > 0;) {
      Entry& entry = byURL[old[i].url];
      old[i].next = entry.cached;
      entry.cached = i;
    }
    auto markTaken = [&](std::size_t first) {
      for (std::size_t i = first; i != kNoRow; i = old[i].next) old[i].taken = true;
    };

    for (std::size_t index = 0; index < items.size(); ++index) {
      const auto& fresh = items[index];
      if (!fresh) continue;
      const std::string& url = fresh->URL().absoluteString();
      Entry& entry = byURL[url];
      if (entry.handled) continue;
      entry.handled = true;
      if (sameIgnoringTrailingSlash(url, directoryKey)) {
        if (!saveItemInUnit(database, *fresh)) return false;
      } else if (entry.cached == kNoRow) {
        if (!addItemInUnit(database, *fresh)) return false;
      } else {
        CachedRow& cached = old[entry.cached];
        markTaken(entry.cached);
        const auto* freshFile = fresh->isDirectory() ? nullptr : dynamic_cast<const KMFile*>(fresh.get());
        const bool bothDirectories = cached.isDirectory && fresh->isDirectory();
        const bool changed =
            !bothDirectories && (cached.isDirectory != fresh->isDirectory() || !freshFile ||
                                 !sameFileVersion(cached.etag, cached.size, cached.lastModified, *freshFile));
        if (changed) {
          // Removal by URL takes every duplicate row along.
          if (!removeRowsAndLocalCopy(database, cached.url, cached.isDirectory) ||
              !addItemInUnit(database, *fresh)) {
            return false;
          }
        } else {
          for (std::size_t other = cached.next; other != kNoRow; other = old[other].next) {
            if (!database.executeUpdateWith("DELETE FROM FileItem WHERE rowid=?", old[other].rowid)) {
              return false;
            }
          }
        }
      }
      if (m_mergeHook) m_mergeHook(index);
    }
    for (const CachedRow& gone : old) {
      if (gone.taken) continue;
      if (!removeRowsAndLocalCopy(database, gone.url, gone.isDirectory)) return false;
      // Every row of that URL went at once; skip its duplicates.
      markTaken(byURL[gone.url].cached);
    }
    return true;
  });
}

// ---- Removing items

bool KMWebDAVStorage::removeRowsAndLocalCopy(Database& database, const std::string& urlText,
                                             bool isDirectory) {
  bool removed;
  if (isDirectory) {
    // The subtree is every URL that starts with the directory's text plus "/",
    // as a range on the bound text: "%", "_" and "'" are plain bytes here, and
    // a sibling such as …/ab is not below …/a.
    const std::string bare = withoutTrailingSlash(urlText);
    const std::string prefix = bare + "/";
    const std::string end = bare + "0";  // "0" is the byte after "/"
    removed = database.executeUpdateWith(
        "DELETE FROM FileItem WHERE url=? OR (url>=? AND url<?)", bare, prefix, end);
  } else {
    removed = database.executeUpdateWith("DELETE FROM FileItem WHERE url=?", urlText);
  }
  if (!removed) return false;
  // Local files go before the commit: a kill after this point leaves rows whose
  // copy is missing (downloaded again), never a stale copy under a newer row.
  if (auto url = kdisk::URL::fromString(urlText)) removeLocalCopy(*url);
  return true;
}

kdisk::Status KMWebDAVStorage::removeItem(const KMFileItem& item) {
  return performUnitOfWork([&](Database& database) {
    return removeRowsAndLocalCopy(database, item.URL().absoluteString(), isExactlyDirectory(item));
  });
}

kdisk::Status KMWebDAVStorage::removeItems(const KMFileItemList& items) {
  if (items.empty()) return kdisk::success();
  return performUnitOfWork([&](Database& database) {
    for (const auto& item : items) {
      if (!item) continue;
      if (!removeRowsAndLocalCopy(database, item->URL().absoluteString(), isExactlyDirectory(*item))) {
        return false;
      }
    }
    return true;
  });
}

kdisk::Status KMWebDAVStorage::removeItemAtURL(const kdisk::URL& url) {
  kdisk::Status status = kdisk::success();
  performBlockInStorageQueue([&] {
    if (auto item = fileItemAtURL(url)) status = removeItem(*item);
  });
  return status;
}

// ---- Disk flag

bool KMWebDAVStorage::diskAvailable() {
  bool available = false;
  performBlockInStorageQueue([&] {
    if (!m_diskAvailable) {
      auto row = fmdb().executeQuery("SELECT disk_available FROM DiskMeta LIMIT 1");
      m_diskAvailable = row.next() && row.boolForColumn("disk_available");
    }
    available = *m_diskAvailable;
  });
  return available;
}

void KMWebDAVStorage::setDiskAvailable(bool available) {
  performBlockInStorageQueue([&] {
    if (m_diskAvailable == available) return;
    auto status = performUnitOfWork([&](Database& database) {
      return database.executeUpdateWith("UPDATE DiskMeta SET disk_available=?", available);
    });
    // Cached only once written, so a failed write is retried next time.
    if (status.hasValue()) m_diskAvailable = available;
  });
}

void KMWebDAVStorage::clear() {
  performBlockInStorageQueue([&] {
    SQLSerialStorage::clear();
    m_diskAvailable.reset();
  });
}
