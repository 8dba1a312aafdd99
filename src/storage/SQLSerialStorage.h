#pragma once
// One SQLite database file in the library directory and the private serial
// queue on which every access to it runs. Opens lazily, creates the schema of a
// new file, and rebuilds a file whose recorded schema version differs (there is
// no migration: an outdated cache is thrown away).
//
// Thread: any caller; every database access runs on `storageQueue` and the
// caller waits. Work already on the queue that calls the store again runs
// inline, so storage operations may call each other.
//
// States of the connection, and the function for each arrow:
//   Closed --fmdb()/openDB()--> Open(file)       the file opened and is current
//   Closed --openDB(), file unusable twice-->  Open(memory)  logged; no cache
//   Open(*) --close()--> Closed
//   Open(*) --clear()--> Closed, no file
//   Open(file) --SQLite reports damage, outermost work done--> Closed, no file
// Invariant: outside openDB(), fmdb() never returns without a connection.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/DispatchQueue.h"
#include "platform/SequenceChecker.h"
#include "storage/SQLDatabase.h"

class SQLSerialStorage {
 public:
  explicit SQLSerialStorage(std::string filename);
  virtual ~SQLSerialStorage();
  SQLSerialStorage(const SQLSerialStorage&) = delete;
  SQLSerialStorage& operator=(const SQLSerialStorage&) = delete;

  const std::string& filename() const { return m_filename; }
  // Library directory + "/" + filename.
  std::string fullPath() const;

  // Runs `work` on the storage queue and returns when it has run; inline when
  // the caller already runs there.
  void performBlockInStorageQueue(const std::function<void()>& work);
  // The open connection, opening the file first when none is open. Only for
  // use inside work given to performBlockInStorageQueue().
  kdisk::sql::Database& fmdb();

  void close();
  // Closes and deletes the database file; the next access re-creates it.
  virtual void clear();

  // The schema version the code expects.
  virtual std::int64_t version() const { return 0; }

  // Whether the store fell back to a database in memory because the file could
  // not be used.
  bool isRunningInMemory();

  const std::shared_ptr<kdisk::DispatchQueue>& storageQueue() const { return m_storageQueue; }

 protected:
  // Creates the schema of a new file; subclasses call the base first. Runs
  // inside one transaction, so a new file gets all its tables or none.
  virtual bool initializeDatabase(kdisk::sql::Database& database);
  // Whether an existing file holds every table the code reads; a file missing
  // one is rebuilt like an outdated one.
  virtual bool hasCompleteSchema(kdisk::sql::Database& database);
  // Runs after every successful open of a current file or a new one; for
  // additions that leave the tables as they are (indexes).
  virtual void didOpenDatabase(kdisk::sql::Database&) {}
  static bool hasTable(kdisk::sql::Database& database, const std::string& name);

 private:
  // The state table above holds; on the storage queue, after each arrow.
  void assertInvariants() const;
  void openDB();
  // Nothing when the file cannot be used; `busy` says another process held it
  // past the wait, which is no reason to throw it away.
  std::unique_ptr<kdisk::sql::Database> openFile(int rebuildsLeft, bool& busy);
  bool removeDatabaseFiles();
  void dropDamagedFile();

  std::string m_filename;
  std::shared_ptr<kdisk::DispatchQueue> m_storageQueue;
  kdisk::SequenceChecker m_sequence;
  std::unique_ptr<kdisk::sql::Database> m_fmdb;
  int m_workDepth = 0;  // nesting of work on the storage queue
  bool m_inMemory = false;
};
