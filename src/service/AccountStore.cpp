#include "service/AccountStore.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sqlite3.h>

#include <ctime>

namespace kdisk::service {

namespace {

constexpr int kPasswordIterations = 20000;
constexpr std::size_t kAllowedFailures = 5;

std::string toHex(const unsigned char* data, std::size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text.push_back(kHex[data[i] >> 4]);
    text.push_back(kHex[data[i] & 15]);
  }
  return text;
}

std::string passwordHash(const std::string& password, const std::string& salt) {
  unsigned char digest[32];
  PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                    reinterpret_cast<const unsigned char*>(salt.data()),
                    static_cast<int>(salt.size()), kPasswordIterations, EVP_sha256(), sizeof digest,
                    digest);
  return toHex(digest, sizeof digest);
}

// One prepared statement, finalized on scope exit.
class Statement {
public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr); }
  ~Statement() { sqlite3_finalize(m_statement); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& bind(int index, const std::string& text) {
    sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }
  Statement& bind(int index, std::int64_t value) {
    sqlite3_bind_int64(m_statement, index, value);
    return *this;
  }
  bool row() { return m_statement && sqlite3_step(m_statement) == SQLITE_ROW; }
  bool run() {
    if (!m_statement) return false;
    int rc = sqlite3_step(m_statement);
    return rc == SQLITE_DONE || rc == SQLITE_ROW;
  }
  std::string text(int column) {
    auto* value = sqlite3_column_text(m_statement, column);
    return value ? reinterpret_cast<const char*>(value) : "";
  }
  std::int64_t integer(int column) { return sqlite3_column_int64(m_statement, column); }

private:
  sqlite3_stmt* m_statement = nullptr;
};

std::int64_t wallSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

} // namespace

std::string randomHex(std::size_t bytes) {
  std::vector<unsigned char> data(bytes);
  RAND_bytes(data.data(), static_cast<int>(data.size()));
  return toHex(data.data(), data.size());
}

std::unique_ptr<AccountStore> AccountStore::open(const std::filesystem::path& file,
                                                 std::string& error) {
  std::unique_ptr<AccountStore> store(new AccountStore);
  sqlite3* connection = nullptr;
  const int opened = sqlite3_open_v2(file.c_str(), &connection,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                                     nullptr);
  // A failed open may still hand out a connection, to be closed all the same.
  store->m_db.reset(connection);
  if (opened != SQLITE_OK) {
    error = "cannot open " + file.string();
    return nullptr;
  }
  sqlite3_busy_timeout(store->m_db.get(), 5000);
  bool ok = store->execute("PRAGMA journal_mode=WAL") &&
            store->execute("CREATE TABLE IF NOT EXISTS accounts (uid INTEGER PRIMARY KEY "
                           "AUTOINCREMENT, login TEXT UNIQUE NOT NULL, salt TEXT NOT NULL, "
                           "hash TEXT NOT NULL)") &&
            store->execute("CREATE TABLE IF NOT EXISTS tokens (token TEXT PRIMARY KEY, uid "
                           "INTEGER NOT NULL, expires INTEGER NOT NULL)") &&
            store->execute("CREATE TABLE IF NOT EXISTS devices (udid TEXT PRIMARY KEY, uuid TEXT "
                           "NOT NULL, deviceid TEXT NOT NULL)") &&
            store->execute("CREATE TABLE IF NOT EXISTS publications (token TEXT PRIMARY KEY, uid "
                           "INTEGER NOT NULL, path TEXT NOT NULL, UNIQUE(uid, path))");
  if (!ok) {
    error = std::string("cannot set up the account database: ") + sqlite3_errmsg(store->m_db.get());
    return nullptr;
  }
  return store;
}

void AccountStore::ConnectionCloser::operator()(sqlite3* connection) const { sqlite3_close(connection); }

AccountStore::~AccountStore() = default;

bool AccountStore::execute(const char* sql) {
  return sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool AccountStore::isValidLogin(const std::string& login) {
  if (login.empty() || login.size() > 64) return false;
  for (char c : login) {
    bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '.' || c == '-' || c == '_';
    if (!allowed) return false;
  }
  return true;
}

std::optional<Account> AccountStore::setAccount(const std::string& login,
                                                const std::string& password) {
  if (!isValidLogin(login)) return std::nullopt;
  std::string salt = randomHex(16);
  {
    std::lock_guard lock(m_mutex);
    Statement upsert(m_db.get(), "INSERT INTO accounts (login, salt, hash) VALUES (?1, ?2, ?3) ON "
                           "CONFLICT(login) DO UPDATE SET salt = ?2, hash = ?3");
    if (!upsert.bind(1, login).bind(2, salt).bind(3, passwordHash(password, salt)).run())
      return std::nullopt;
  }
  return accountByLogin(login);
}

std::optional<Account> AccountStore::createAccount(const std::string& login,
                                                   const std::string& password) {
  if (!isValidLogin(login)) return std::nullopt;
  std::string salt = randomHex(16);
  {
    std::lock_guard lock(m_mutex);
    Statement insert(m_db.get(), "INSERT OR IGNORE INTO accounts (login, salt, hash) VALUES (?1, ?2, ?3)");
    insert.bind(1, login).bind(2, salt).bind(3, passwordHash(password, salt)).run();
    if (sqlite3_changes(m_db.get()) == 0) return std::nullopt;
  }
  return accountByLogin(login);
}

std::optional<Account> AccountStore::accountByLogin(const std::string& login) {
  std::lock_guard lock(m_mutex);
  Statement query(m_db.get(), "SELECT uid, login FROM accounts WHERE login = ?1");
  if (!query.bind(1, login).row()) return std::nullopt;
  return Account{query.integer(0), query.text(1)};
}

AccountStore::SignInResult AccountStore::signIn(const std::string& login,
                                                const std::string& password,
                                                std::optional<Account>& account) {
  account.reset();
  std::string salt, hash;
  Account found;
  bool known = false;
  {
    std::lock_guard lock(m_mutex);
    auto& failures = m_failures[login];
    auto cutoff = now() - std::chrono::hours(1);
    std::erase_if(failures, [&](auto when) { return when <= cutoff; });
    Statement query(m_db.get(), "SELECT uid, login, salt, hash FROM accounts WHERE login = ?1");
    if (query.bind(1, login).row()) {
      known = true;
      found = {query.integer(0), query.text(1)};
      salt = query.text(2);
      hash = query.text(3);
    }
    if (failures.size() >= kAllowedFailures) {
      failures.push_back(now());
      return SignInResult::Blocked;
    }
  }
  // Hash outside the lock: it is the slow part.
  std::string offered = passwordHash(password, salt);
  bool matches = known && offered.size() == hash.size() &&
                 CRYPTO_memcmp(offered.data(), hash.data(), hash.size()) == 0;
  std::lock_guard lock(m_mutex);
  if (!matches) {
    m_failures[login].push_back(now());
    return SignInResult::WrongCredentials;
  }
  account = found;
  return SignInResult::Success;
}

std::string AccountStore::issueToken(const Account& account, std::chrono::seconds lifetime) {
  std::string token = randomHex(24);
  std::lock_guard lock(m_mutex);
  Statement insert(m_db.get(), "INSERT INTO tokens (token, uid, expires) VALUES (?1, ?2, ?3)");
  insert.bind(1, token).bind(2, account.uid).bind(3, wallSeconds() + lifetime.count()).run();
  return token;
}

std::optional<Account> AccountStore::accountForToken(const std::string& token) {
  if (token.empty() || token.size() > 256) return std::nullopt;
  std::lock_guard lock(m_mutex);
  Statement query(m_db.get(), "SELECT accounts.uid, accounts.login FROM tokens JOIN accounts ON "
                        "accounts.uid = tokens.uid WHERE tokens.token = ?1 AND tokens.expires > ?2");
  if (!query.bind(1, token).bind(2, wallSeconds()).row()) return std::nullopt;
  return Account{query.integer(0), query.text(1)};
}

bool AccountStore::revokeToken(const std::string& token) {
  std::lock_guard lock(m_mutex);
  Statement remove(m_db.get(), "DELETE FROM tokens WHERE token = ?1");
  remove.bind(1, token).run();
  return sqlite3_changes(m_db.get()) > 0;
}

int AccountStore::revokeTokensOf(const std::string& login) {
  std::lock_guard lock(m_mutex);
  Statement remove(m_db.get(),
                   "DELETE FROM tokens WHERE uid = (SELECT uid FROM accounts WHERE login = ?1)");
  remove.bind(1, login).run();
  return sqlite3_changes(m_db.get());
}

DeviceRecord AccountStore::deviceFor(const std::string& udid, const std::string& proposedDeviceId) {
  std::lock_guard lock(m_mutex);
  Statement query(m_db.get(), "SELECT uuid, deviceid FROM devices WHERE udid = ?1");
  if (query.bind(1, udid).row()) return {query.text(0), query.text(1)};
  std::string uuid = randomHex(16);
  uuid = uuid.substr(0, 8) + "-" + uuid.substr(8, 4) + "-4" + uuid.substr(13, 3) + "-a" +
         uuid.substr(17, 3) + "-" + uuid.substr(20, 12);
  DeviceRecord record{uuid, proposedDeviceId.empty() ? randomHex(16) : proposedDeviceId};
  Statement insert(m_db.get(), "INSERT INTO devices (udid, uuid, deviceid) VALUES (?1, ?2, ?3)");
  insert.bind(1, udid).bind(2, record.uuid).bind(3, record.deviceId).run();
  return record;
}

std::string AccountStore::publicationToken(const Account& account, const std::string& pathKey) {
  std::lock_guard lock(m_mutex);
  Statement query(m_db.get(), "SELECT token FROM publications WHERE uid = ?1 AND path = ?2");
  if (query.bind(1, account.uid).bind(2, pathKey).row()) return query.text(0);
  std::string token = randomHex(12);
  Statement insert(m_db.get(), "INSERT INTO publications (token, uid, path) VALUES (?1, ?2, ?3)");
  insert.bind(1, token).bind(2, account.uid).bind(3, pathKey).run();
  return token;
}

std::optional<AccountStore::Publication> AccountStore::publication(const std::string& token) {
  std::lock_guard lock(m_mutex);
  Statement query(m_db.get(), "SELECT publications.uid, accounts.login, publications.path FROM "
                        "publications JOIN accounts ON accounts.uid = publications.uid WHERE "
                        "publications.token = ?1");
  if (!query.bind(1, token).row()) return std::nullopt;
  return Publication{query.integer(0), query.text(1), query.text(2)};
}

void AccountStore::forgetPublicationsUnder(const Account& account, const std::string& pathKey) {
  std::lock_guard lock(m_mutex);
  Statement remove(m_db.get(), "DELETE FROM publications WHERE uid = ?1 AND (path = ?2 OR "
                         "substr(path, 1, length(?2) + 1) = ?2 || '/')");
  remove.bind(1, account.uid).bind(2, pathKey).run();
}

} // namespace kdisk::service
