#pragma once
// A thin wrapper of our own over one SQLite connection: open and close, updates
// with positional "?" arguments, queries with a row cursor and typed reads by
// column name, and a transaction that rolls back unless committed.
//
// Not thread-safe: a connection and its cursors belong to the one queue that
// opened them (the storage queue of SQLSerialStorage). No exceptions: failures
// are return values, and the last error is kept for the log.
//
// Binding: Null binds SQL NULL, bool 0/1, integers as 64-bit integers, Date as
// REAL seconds since 1970, Bytes as BLOB, text as UTF-8 text.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Expected.h"
#include "platform/Value.h"

namespace kdisk::sql {

using Arguments = std::vector<Value>;

class Statement;

// A row cursor over one query. Move-only; the statement is reset when the cursor
// is closed or goes, so a cached statement can be reused.
class ResultSet {
 public:
  ResultSet() = default;
  ~ResultSet();
  ResultSet(ResultSet&& other) noexcept;
  ResultSet& operator=(ResultSet&& other) noexcept;
  ResultSet(const ResultSet&) = delete;
  ResultSet& operator=(const ResultSet&) = delete;

  // Steps to the next row; false at the end or on an error (see failed()).
  bool next();
  void close();
  bool failed() const { return m_failed; }

  std::optional<std::string> stringForColumn(std::string_view name) const;
  std::int64_t longLongIntForColumn(std::string_view name) const;
  bool boolForColumn(std::string_view name) const;
  // No date for SQL NULL; otherwise the REAL or INTEGER value as seconds since 1970.
  std::optional<Date> dateForColumn(std::string_view name) const;
  bool columnIsNull(std::string_view name) const;

  // The same reads by the column's place in the SELECT list, for loops over
  // many rows. The view lasts until the cursor moves; empty for SQL NULL.
  std::optional<std::string> stringForColumnIndex(int index) const;
  std::string_view textForColumnIndex(int index) const;
  std::int64_t longLongIntForColumnIndex(int index) const;
  std::optional<Date> dateForColumnIndex(int index) const;
  bool columnIndexIsNull(int index) const;

 private:
  friend class Database;
  explicit ResultSet(std::shared_ptr<Statement> statement);
  int columnIndex(std::string_view name) const;

  std::shared_ptr<Statement> m_statement;
  bool m_failed = false;
};

class Database {
 public:
  // Opens (creating) the file at `path`. The file is checked to be a database
  // here, so a damaged or foreign file fails now and not at the first query.
  static Expected<std::unique_ptr<Database>> open(const std::string& path);
  static Expected<std::unique_ptr<Database>> openInMemory();
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool executeUpdate(std::string_view sql, const Arguments& arguments = {});
  template <typename... A> bool executeUpdateWith(std::string_view sql, A&&... arguments) {
    return executeUpdate(sql, Arguments{Value(std::forward<A>(arguments))...});
  }
  // A cursor; a failed query gives a cursor whose next() is false and failed() true.
  ResultSet executeQuery(std::string_view sql, const Arguments& arguments = {});
  template <typename... A> ResultSet executeQueryWith(std::string_view sql, A&&... arguments) {
    return executeQuery(sql, Arguments{Value(std::forward<A>(arguments))...});
  }
  // Runs several statements without arguments (schema scripts).
  bool executeStatements(std::string_view sql);

  bool beginTransaction();
  bool commit();
  bool rollback();
  bool inTransaction() const;

  std::int64_t lastInsertRowId() const;
  int changes() const;
  int lastErrorCode() const;
  std::string lastErrorMessage() const;
  KMError lastError() const;
  const std::string& path() const;
  // Whether SQLite has answered any call with "corrupt" or "not a database".
  bool hasFoundDamage() const;
  // Whether any call failed because another connection held the file past the wait.
  bool hasFoundTheFileBusy() const;
  // Whether an error of this module says the same.
  static bool isBusyError(const KMError& error);
  // Whether the file is as long as its header says: a file cut short or grown
  // by something other than SQLite fails this. Reads the header only.
  bool sizeMatchesHeader();

  // Called every `instructions` virtual-machine steps of any statement;
  // returning false interrupts it. For fault-injection tests (a kill in the
  // middle of a write); an empty hook removes it.
  void setProgressHookForTesting(int instructions, std::function<bool()> hook);
  // Called each time any connection finds the file locked by another one and
  // waits; for tests that release the lock at that moment, or end the wait
  // (returning false) as if its time were up.
  static void setBusyHookForTesting(std::function<bool()> hook);


 private:
  struct Impl;
  explicit Database(std::unique_ptr<Impl> impl);
  std::shared_ptr<Statement> prepare(std::string_view sql, const Arguments& arguments);
  std::unique_ptr<Impl> m_impl;
};

// Begins on construction; rolls back on destruction unless commit() succeeded.
// Nested use inside an open transaction is a savepoint, so a unit of work that
// calls another still commits or fails as a whole.
class Transaction {
 public:
  explicit Transaction(Database& database);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool isActive() const { return m_active; }
  // SQLite ends a transaction by itself on some failures (a full disk); later
  // statements would then commit one by one, so a unit of work must stop.
  bool wasRolledBackBySQLite() const { return m_active && !m_database.inTransaction(); }
  bool commit();

 private:
  Database& m_database;
  std::string m_savepoint;  // empty for the outermost transaction
  bool m_active = false;
};

}  // namespace kdisk::sql
