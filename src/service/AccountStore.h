#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace kdisk::service {

struct Account {
  std::int64_t uid = 0;
  std::string login;
};

struct DeviceRecord {
  std::string uuid;
  std::string deviceId;
};

// Accounts, tokens, device identifiers and public links, in DIR/service.sqlite so
// they outlive restarts. Safe to call from any connection thread: one connection,
// one lock. Wrong-password counts live in memory only; a restart forgives them.
class AccountStore {
public:
  enum class SignInResult { Success, WrongCredentials, Blocked };

  static std::unique_ptr<AccountStore> open(const std::filesystem::path& file, std::string& error);
  ~AccountStore();

  // Creates the account or, when it exists, sets its password.
  std::optional<Account> setAccount(const std::string& login, const std::string& password);
  // Creates the account only when the login is free.
  std::optional<Account> createAccount(const std::string& login, const std::string& password);
  std::optional<Account> accountByLogin(const std::string& login);
  static bool isValidLogin(const std::string& login);

  // Checks a password the way the token endpoint does: after five wrong attempts
  // within an hour a login is blocked until the hour has passed.
  SignInResult signIn(const std::string& login, const std::string& password,
                      std::optional<Account>& account);

  std::string issueToken(const Account& account, std::chrono::seconds lifetime);
  std::optional<Account> accountForToken(const std::string& token);
  bool revokeToken(const std::string& token);
  int revokeTokensOf(const std::string& login);

  DeviceRecord deviceFor(const std::string& udid, const std::string& proposedDeviceId);

  // Public links: one per file path per account, kept until the file goes.
  std::string publicationToken(const Account& account, const std::string& pathKey);
  struct Publication {
    std::int64_t uid = 0;
    std::string login;
    std::string pathKey;
  };
  std::optional<Publication> publication(const std::string& token);
  void forgetPublicationsUnder(const Account& account, const std::string& pathKey);

  // Clock for the one-hour window, replaceable in tests.
  using Clock = std::chrono::steady_clock;
  void setNowForTesting(Clock::time_point now) { m_fixedNow = now; }

private:
  AccountStore() = default;
  Clock::time_point now() const { return m_fixedNow.value_or(Clock::now()); }
  bool execute(const char* sql);

  std::mutex m_mutex;
  struct ConnectionCloser {
    void operator()(sqlite3* connection) const;
  };
  std::unique_ptr<sqlite3, ConnectionCloser> m_db;
  std::map<std::string, std::vector<Clock::time_point>> m_failures;
  std::optional<Clock::time_point> m_fixedNow;
};

std::string randomHex(std::size_t bytes);

} // namespace kdisk::service
