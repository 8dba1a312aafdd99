#include "storage/SQLSerialStorage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Log.h"
#include "platform/Paths.h"

namespace {

std::shared_ptr<spdlog::logger> log() {
  static auto logger = kdisk::logger("SQLSerialStorage");
  return logger;
}

}  // namespace

SQLSerialStorage::SQLSerialStorage(std::string filename)
    : m_filename(std::move(filename)),
      m_storageQueue(kdisk::DispatchQueue::createSerial("ru.kalumo.disk.SQLStorageQueue." + m_filename)),
      m_sequence(m_storageQueue) {}

SQLSerialStorage::~SQLSerialStorage() { close(); }

std::string SQLSerialStorage::fullPath() const {
  return kdisk::paths::libraryDirectory() + "/" + m_filename;
}

void SQLSerialStorage::performBlockInStorageQueue(const std::function<void()>& work) {
  m_storageQueue->sync([&] {
    struct Depth {
      int& depth;
      explicit Depth(int& d) : depth(++d) {}
      ~Depth() { --depth; }
    } depth(m_workDepth);
    work();
    // Only the outermost work may close: inner work's caller still holds cursors.
    if (m_workDepth == 1 && m_fmdb && !m_inMemory && m_fmdb->hasFoundDamage()) dropDamagedFile();
  });
}

void SQLSerialStorage::dropDamagedFile() {
  // The file is not read whole on open (that cost every start a pass over the
  // cache); damage shows as SQLite refusing a page, and the cache is then
  // thrown away like an outdated one and refilled from the server.
  log()->error("The database {} is damaged ({}); it is rebuilt empty.", fullPath(), m_fmdb->lastErrorMessage());
  m_fmdb.reset();
  removeDatabaseFiles();
  assertInvariants();
}

kdisk::sql::Database& SQLSerialStorage::fmdb() {
  KDISK_CHECK_SEQUENCE(m_sequence, "SQLSerialStorage");
  if (!m_fmdb) openDB();
  KDISK_CONTRACT(m_fmdb != nullptr, "SQLSerialStorage " + m_filename + ": no connection after opening");
  return *m_fmdb;
}

void SQLSerialStorage::assertInvariants() const {
  KDISK_CHECK_SEQUENCE(m_sequence, "SQLSerialStorage");
  KDISK_CONTRACT(!m_inMemory || m_fmdb, "SQLSerialStorage " + m_filename + ": in memory without a connection");
}

bool SQLSerialStorage::isRunningInMemory() {
  bool inMemory = false;
  performBlockInStorageQueue([&] {
    fmdb();
    inMemory = m_inMemory;
  });
  return inMemory;
}

void SQLSerialStorage::close() {
  performBlockInStorageQueue([&] {
    m_fmdb.reset();
    m_inMemory = false;
    assertInvariants();
  });
}

void SQLSerialStorage::clear() {
  performBlockInStorageQueue([&] {
    close();
    removeDatabaseFiles();
    assertInvariants();
  });
}

bool SQLSerialStorage::removeDatabaseFiles() {
  bool removed = true;
  // A journal left by a killed process must go with its database, or SQLite
  // would play it back into the new, empty file.
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    const std::string path = fullPath() + suffix;
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) removed = false;
  }
  return removed;
}

bool SQLSerialStorage::initializeDatabase(kdisk::sql::Database& database) {
  return database.executeUpdate("CREATE TABLE db_meta(version INTEGER)") &&
         database.executeUpdateWith("INSERT INTO db_meta(version) VALUES (?)", version());
}

bool SQLSerialStorage::hasTable(kdisk::sql::Database& database, const std::string& name) {
  auto cursor = database.executeQueryWith(
      "SELECT name FROM sqlite_master WHERE type='table' AND name=?", name);
  return cursor.next();
}

bool SQLSerialStorage::hasCompleteSchema(kdisk::sql::Database& database) {
  return hasTable(database, "db_meta");
}

void SQLSerialStorage::openDB() {
  // A file that cannot be used is deleted and tried once more; after that the
  // store runs on a database in memory, so it always has a connection and the
  // application keeps working, only without a cache that outlives it.
  bool busy = false;
  for (int attempt = 0; attempt < 2 && !m_fmdb && !busy; ++attempt) {
    if (attempt > 0) removeDatabaseFiles();
    m_fmdb = openFile(/*rebuildsLeft=*/1, busy);
  }
  if (m_fmdb) {
    didOpenDatabase(*m_fmdb);
    return;
  }
  log()->error("Could not open db. Running without a cache, in memory.");
  auto memory = kdisk::sql::Database::openInMemory();
  if (memory.hasValue()) {
    kdisk::sql::Transaction transaction(*memory.value());
    if (initializeDatabase(*memory.value())) transaction.commit();
    m_fmdb = std::move(memory.value());
    didOpenDatabase(*m_fmdb);
  }
  // SQLite opens a private in-memory database unless memory itself is gone, in
  // which case nothing could work; stop here rather than run with no connection.
  if (!m_fmdb) std::abort();
  m_inMemory = true;
  assertInvariants();
}

std::unique_ptr<kdisk::sql::Database> SQLSerialStorage::openFile(int rebuildsLeft, bool& busy) {
  const std::string path = fullPath();
  kdisk::paths::createDirectories(kdisk::paths::libraryDirectory());
  // Made 0700 when created; one made by an older version is tightened.
  ::chmod(kdisk::paths::libraryDirectory().c_str(), 0700);
  const bool existed = kdisk::paths::fileExists(path);
  auto opened = kdisk::sql::Database::open(path);
  if (!opened.hasValue()) {
    log()->error("Could not open db. {}", opened.error().localizedDescription);
    busy = kdisk::sql::Database::isBusyError(opened.error());
    return nullptr;
  }
  std::unique_ptr<kdisk::sql::Database> database = std::move(opened.value());
  log()->info("Opened SQL DB at {}", path);

  if (!existed) {
    // A new file holds nothing yet: its tables are written without waiting for
    // the disk. A crash before the first real commit leaves at worst a damaged
    // empty file, which the next open rebuilds; that commit's own sync then
    // takes these pages along.
    database->executeStatements("PRAGMA synchronous=OFF");
    kdisk::sql::Transaction transaction(*database);
    if (!initializeDatabase(*database) || !transaction.commit()) {
      log()->error("Could not create the tables of {}: {}", path, database->lastErrorMessage());
      return nullptr;
    }
    database->executeStatements("PRAGMA synchronous=FULL");
    return database;
  }

  // A damaged file shows up here as a length its header disagrees with, a
  // failing read, a missing table or a foreign version; all are rebuilt like an
  // outdated cache. Damage further in is found when a page is read.
  std::int64_t storedVersion = 0;
  bool readable = database->sizeMatchesHeader();
  if (readable) {
    auto cursor = database->executeQuery("SELECT version FROM db_meta LIMIT 1");
    if (cursor.next()) storedVersion = cursor.longLongIntForColumn("version");
    readable = !cursor.failed() && hasCompleteSchema(*database);
    cursor.close();
  }
  if (readable && storedVersion == version()) return database;
  if (database->hasFoundTheFileBusy()) {
    // The file holds the upload queue, which the server cannot give back.
    log()->error("The database {} stayed locked by another program; running without it this time.", path);
    busy = true;
    return nullptr;
  }

  log()->error("Version of disk database is outdated. Database was reinitialized.");
  database.reset();
  if (rebuildsLeft == 0) return nullptr;
  clear();
  if (kdisk::paths::fileExists(path)) return nullptr;  // could not delete: give up on the file
  return openFile(rebuildsLeft - 1, busy);
}
