#include "storage/SQLDatabase.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace kdisk::sql {

namespace {

inline constexpr const char* kSQLiteErrorDomain = "SQLiteErrorDomain";

struct ConnectionDeleter {
  void operator()(sqlite3* connection) const { sqlite3_close_v2(connection); }
};
struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

// SQLite's answer for a file whose pages do not hold what they should.
bool isDamage(int result) { return (result & 0xff) == SQLITE_CORRUPT || (result & 0xff) == SQLITE_NOTADB; }
bool isBusy(int result) { return (result & 0xff) == SQLITE_BUSY || (result & 0xff) == SQLITE_LOCKED; }

// What SQLite's answers on one connection have said about its file.
struct FileHealth {
  bool damaged = false;
  bool busy = false;  // another connection held it past the wait
  void note(int result) {
    damaged = damaged || isDamage(result);
    busy = busy || isBusy(result);
  }
};

std::mutex g_busyHookMutex;
std::function<bool()> g_busyHook;

// The application and `kdisk` share the store: a file another process is
// committing to answers "busy" for a moment. Waiting it out (up to 5 s) keeps
// that from reading as a broken file, which would be deleted and rebuilt.
int waitWhileBusy(void*, int attempts) {
  {
    std::lock_guard lock(g_busyHookMutex);
    if (g_busyHook && !g_busyHook()) return 0;
  }
  if (attempts >= 500) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return 1;
}

bool bindValue(sqlite3_stmt* statement, int index, const Value& value) {
  struct Binder {
    sqlite3_stmt* statement;
    int index;
    int operator()(const Null&) const { return sqlite3_bind_null(statement, index); }
    int operator()(bool flag) const { return sqlite3_bind_int64(statement, index, flag ? 1 : 0); }
    int operator()(std::int64_t number) const { return sqlite3_bind_int64(statement, index, number); }
    int operator()(double number) const { return sqlite3_bind_double(statement, index, number); }
    int operator()(const std::string& text) const {
      return sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
    }
    int operator()(const Bytes& bytes) const {
      return sqlite3_bind_blob64(statement, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    }
    int operator()(const Date& date) const {
      return sqlite3_bind_double(statement, index, date.secondsSince1970);
    }
    // Containers have no column form; binding them is a caller's mistake.
    int operator()(const Array&) const { return SQLITE_MISMATCH; }
    int operator()(const Dictionary&) const { return SQLITE_MISMATCH; }
    int operator()(const Value::ErrorPointer&) const { return SQLITE_MISMATCH; }
  };
  return std::visit(Binder{statement, index}, value.storage()) == SQLITE_OK;
}

}  // namespace

// One prepared statement, possibly cached by its SQL text. `inUse` keeps a
// cached statement from being handed to a second cursor while one is open.
class Statement {
 public:
  Statement(sqlite3_stmt* handle, bool cached, std::shared_ptr<FileHealth> health)
      : m_handle(handle), m_cached(cached), m_health(std::move(health)) {}

  sqlite3_stmt* handle() const { return m_handle.get(); }
  bool cached() const { return m_cached; }
  bool inUse = false;
  void noteResult(int result) {
    m_health->note(result);
  }

  int columnIndex(std::string_view name) {
    // Rows are read column by column in the same order each time: try the
    // column after the last one found first.
    if (!m_columns.empty()) {
      const std::size_t guess = m_lastColumn + 1 < m_columns.size() ? m_lastColumn + 1 : 0;
      if (matches(guess, name)) return static_cast<int>(m_lastColumn = guess);
    }
    if (m_columns.empty()) {
      const int count = sqlite3_column_count(handle());
      for (int i = 0; i < count; ++i) m_columns.emplace_back(sqlite3_column_name(handle(), i));
    }
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
      if (matches(i, name)) return static_cast<int>(m_lastColumn = i);
    }
    return -1;
  }

  void release() {
    sqlite3_reset(handle());
    sqlite3_clear_bindings(handle());
    inUse = false;
  }

 private:
  std::unique_ptr<sqlite3_stmt, StatementDeleter> m_handle;
  bool m_cached;
  std::shared_ptr<FileHealth> m_health;
  bool matches(std::size_t column, std::string_view name) const {
    return m_columns[column].size() == name.size() &&
           strncasecmp(m_columns[column].data(), name.data(), name.size()) == 0;
  }

  std::vector<std::string> m_columns;
  std::size_t m_lastColumn = static_cast<std::size_t>(-1);
};

struct Database::Impl {
  std::unique_ptr<sqlite3, ConnectionDeleter> connection;
  std::string path;
  std::map<std::string, std::shared_ptr<Statement>, std::less<>> cache;
  std::function<bool()> progressHook;
  std::shared_ptr<FileHealth> health = std::make_shared<FileHealth>();
  int noteResult(int result) {
    health->note(result);
    return result;
  }
};

// ---- ResultSet

ResultSet::ResultSet(std::shared_ptr<Statement> statement) : m_statement(std::move(statement)) {}

ResultSet::~ResultSet() { close(); }

ResultSet::ResultSet(ResultSet&& other) noexcept
    : m_statement(std::move(other.m_statement)), m_failed(other.m_failed) {}

ResultSet& ResultSet::operator=(ResultSet&& other) noexcept {
  if (this != &other) {
    close();
    m_statement = std::move(other.m_statement);
    m_failed = other.m_failed;
  }
  return *this;
}

bool ResultSet::next() {
  if (!m_statement) return false;
  const int result = sqlite3_step(m_statement->handle());
  if (result == SQLITE_ROW) return true;
  if (result != SQLITE_DONE) {
    m_failed = true;
    m_statement->noteResult(result);
  }
  close();
  return false;
}

void ResultSet::close() {
  if (!m_statement) return;
  m_statement->release();
  m_statement.reset();
}

int ResultSet::columnIndex(std::string_view name) const {
  return m_statement ? m_statement->columnIndex(name) : -1;
}

bool ResultSet::columnIsNull(std::string_view name) const { return columnIndexIsNull(columnIndex(name)); }

std::optional<std::string> ResultSet::stringForColumn(std::string_view name) const {
  return stringForColumnIndex(columnIndex(name));
}

std::int64_t ResultSet::longLongIntForColumn(std::string_view name) const {
  return longLongIntForColumnIndex(columnIndex(name));
}

bool ResultSet::boolForColumn(std::string_view name) const {
  return longLongIntForColumn(name) != 0;
}

std::optional<Date> ResultSet::dateForColumn(std::string_view name) const {
  return dateForColumnIndex(columnIndex(name));
}

bool ResultSet::columnIndexIsNull(int index) const {
  return index < 0 || !m_statement || sqlite3_column_type(m_statement->handle(), index) == SQLITE_NULL;
}

std::optional<std::string> ResultSet::stringForColumnIndex(int index) const {
  if (columnIndexIsNull(index)) return std::nullopt;
  sqlite3_stmt* handle = m_statement->handle();
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(handle, index));
  if (!text) return std::nullopt;
  return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(handle, index)));
}

std::string_view ResultSet::textForColumnIndex(int index) const {
  if (columnIndexIsNull(index)) return {};
  sqlite3_stmt* handle = m_statement->handle();
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(handle, index));
  if (!text) return {};
  return {text, static_cast<std::size_t>(sqlite3_column_bytes(handle, index))};
}

std::int64_t ResultSet::longLongIntForColumnIndex(int index) const {
  return index < 0 || !m_statement ? 0 : sqlite3_column_int64(m_statement->handle(), index);
}

std::optional<Date> ResultSet::dateForColumnIndex(int index) const {
  if (index < 0 || !m_statement) return std::nullopt;
  sqlite3_stmt* handle = m_statement->handle();
  switch (sqlite3_column_type(handle, index)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      return Date{sqlite3_column_double(handle, index)};
    default:
      return std::nullopt;
  }
}

// ---- Database

Database::Database(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

Database::~Database() {
  // Statements first: a connection closes cleanly only when none is left.
  m_impl->cache.clear();
}

Expected<std::unique_ptr<Database>> Database::open(const std::string& path) {
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  if (path != ":memory:") {
    // Our databases hold the user's file names: private to the user, and an
    // older file (or its journals) left readable by others is tightened.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::fchmod(fd, 0600);
      ::close(fd);
    }
    for (const char* suffix : {"-journal", "-wal", "-shm"}) ::chmod((path + suffix).c_str(), 0600);
  }
  sqlite3* raw = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX |
                    (path == ":memory:" ? SQLITE_OPEN_MEMORY : 0);
  const int result = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  impl->connection.reset(raw);
  if (result != SQLITE_OK) {
    std::string message = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(result);
    return KMError(kSQLiteErrorDomain, result, message);
  }
  sqlite3_extended_result_codes(raw, 0);
  sqlite3_busy_handler(raw, waitWhileBusy, nullptr);
  // Reading the schema makes SQLite look at the file's header, so a file that is
  // not a database (or is damaged at its start) fails here.
  char* error = nullptr;
  const int check = sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &error);
  if (check != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errstr(check);
    sqlite3_free(error);
    return KMError(kSQLiteErrorDomain, check, message);
  }
  return std::unique_ptr<Database>(new Database(std::move(impl)));
}

Expected<std::unique_ptr<Database>> Database::openInMemory() { return open(":memory:"); }

std::shared_ptr<Statement> Database::prepare(std::string_view sql, const Arguments& arguments) {
  std::shared_ptr<Statement> statement;
  if (auto found = m_impl->cache.find(sql); found != m_impl->cache.end() && !found->second->inUse) {
    statement = found->second;
  } else {
    sqlite3_stmt* handle = nullptr;
    const int result = sqlite3_prepare_v2(m_impl->connection.get(), sql.data(),
                                          static_cast<int>(sql.size()), &handle, nullptr);
    if (result != SQLITE_OK || !handle) {
      m_impl->noteResult(result);
      sqlite3_finalize(handle);
      return nullptr;
    }
    const bool cache = found == m_impl->cache.end();
    statement = std::make_shared<Statement>(handle, cache, m_impl->health);
    if (cache) m_impl->cache.emplace(std::string(sql), statement);
  }
  statement->inUse = true;
  const int expected = sqlite3_bind_parameter_count(statement->handle());
  if (expected != static_cast<int>(arguments.size())) {
    statement->release();
    return nullptr;
  }
  for (int i = 0; i < expected; ++i) {
    if (!bindValue(statement->handle(), i + 1, arguments[static_cast<std::size_t>(i)])) {
      statement->release();
      return nullptr;
    }
  }
  return statement;
}

bool Database::executeUpdate(std::string_view sql, const Arguments& arguments) {
  auto statement = prepare(sql, arguments);
  if (!statement) return false;
  int result;
  do {
    result = sqlite3_step(statement->handle());
  } while (result == SQLITE_ROW);
  statement->noteResult(result);
  statement->release();
  return result == SQLITE_DONE;
}

ResultSet Database::executeQuery(std::string_view sql, const Arguments& arguments) {
  auto statement = prepare(sql, arguments);
  ResultSet cursor(statement);
  if (!statement) cursor.m_failed = true;
  return cursor;
}

bool Database::executeStatements(std::string_view sql) {
  std::string text(sql);
  return m_impl->noteResult(sqlite3_exec(m_impl->connection.get(), text.c_str(), nullptr, nullptr, nullptr)) ==
         SQLITE_OK;
}

bool Database::beginTransaction() { return executeStatements("BEGIN"); }
bool Database::commit() { return executeStatements("COMMIT"); }
bool Database::rollback() { return executeStatements("ROLLBACK"); }

bool Database::inTransaction() const {
  return sqlite3_get_autocommit(m_impl->connection.get()) == 0;
}

std::int64_t Database::lastInsertRowId() const {
  return sqlite3_last_insert_rowid(m_impl->connection.get());
}

int Database::changes() const { return sqlite3_changes(m_impl->connection.get()); }

int Database::lastErrorCode() const { return sqlite3_errcode(m_impl->connection.get()); }

std::string Database::lastErrorMessage() const { return sqlite3_errmsg(m_impl->connection.get()); }

KMError Database::lastError() const {
  return KMError(kSQLiteErrorDomain, lastErrorCode(), lastErrorMessage());
}

const std::string& Database::path() const { return m_impl->path; }

bool Database::hasFoundDamage() const { return m_impl->health->damaged; }

bool Database::hasFoundTheFileBusy() const { return m_impl->health->busy; }

bool Database::isBusyError(const KMError& error) {
  return error.domain == kSQLiteErrorDomain && isBusy(static_cast<int>(error.code));
}

bool Database::sizeMatchesHeader() {
  if (m_impl->path == ":memory:") return true;
  // Both looks under one read lock: another process sharing the file cannot
  // grow it between them.
  Transaction reading(*this);
  std::int64_t pageSize = 0, pageCount = 0;
  {
    auto cursor = executeQuery("PRAGMA page_size");
    if (cursor.next()) pageSize = cursor.longLongIntForColumn("page_size");
  }
  {
    auto cursor = executeQuery("PRAGMA page_count");
    if (cursor.next()) pageCount = cursor.longLongIntForColumn("page_count");
  }
  struct stat status {};
  if (::stat(m_impl->path.c_str(), &status) != 0) return false;
  return pageSize > 0 && pageCount > 0 && pageSize * pageCount == static_cast<std::int64_t>(status.st_size);
}

void Database::setBusyHookForTesting(std::function<bool()> hook) {
  std::lock_guard lock(g_busyHookMutex);
  g_busyHook = std::move(hook);
}

void Database::setProgressHookForTesting(int instructions, std::function<bool()> hook) {
  m_impl->progressHook = std::move(hook);
  if (!m_impl->progressHook) {
    sqlite3_progress_handler(m_impl->connection.get(), 0, nullptr, nullptr);
    return;
  }
  sqlite3_progress_handler(
      m_impl->connection.get(), instructions,
      [](void* context) -> int {
        auto* impl = static_cast<Impl*>(context);
        return impl->progressHook() ? 0 : 1;
      },
      m_impl.get());
}

// ---- Transaction

Transaction::Transaction(Database& database) : m_database(database) {
  if (!database.inTransaction()) {
    m_active = database.beginTransaction();
    return;
  }
  static thread_local unsigned counter = 0;
  m_savepoint = "unit_of_work_" + std::to_string(++counter);
  m_active = database.executeStatements("SAVEPOINT " + m_savepoint);
}

Transaction::~Transaction() {
  if (!m_active) return;
  if (m_savepoint.empty()) {
    if (m_database.inTransaction()) m_database.rollback();
  } else if (m_database.inTransaction()) {
    m_database.executeStatements("ROLLBACK TO " + m_savepoint + "; RELEASE " + m_savepoint);
  }
}

bool Transaction::commit() {
  if (!m_active) return false;
  const bool committed = m_savepoint.empty() ? m_database.commit()
                                             : m_database.executeStatements("RELEASE " + m_savepoint);
  if (committed) m_active = false;
  return committed;
}

}  // namespace kdisk::sql
