#pragma once
// Exchanges a login and password for an OAuth access token (the password
// grant) and announces the outcome by notification. It is also the one place
// that announces a token obtained another way (the web sign-in).
//
// Threads: start() blocks the calling thread for the whole exchange, so run it
// on a thread of its own (startOnNewThread() does that). Every notification is
// delivered on the main thread. One operation per attempt; it stores nothing.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/KMError.h"
#include "platform/URL.h"
#include "webdav/KMDiskRequest.h"

inline constexpr const char* kKMXConnectionWillAuthenticate = "kKMXConnectionWillAuthenticate";
inline constexpr const char* kKMXConnectionDidAuthenticateWithToken =
    "kKMXConnectionDidAuthenticateWithToken";
// kKMXConnectionDidFailAuthenticateWithError and kKMOAuthOperationErrorDomain
// come with the request layer, which posts and uses them too.

inline constexpr int kKMOAuthOperationErrorInvalidLoginOrPassword = 1;
inline constexpr int kKMOAuthOperationErrorLoginBlocked = 2;

inline constexpr const char* kKMOAuthClientIdentifier = "3c5e9a7b1d2f4e60a8b7c6d5e4f30a21";
inline constexpr const char* kKMOAuthClientSecret = "7e1d4c2b9a8f4b3e96d5c0a1b2e3f405";
inline constexpr const char* kKMOAuthScope = "kadisk:all";

class KMOAuthOperation : public std::enable_shared_from_this<KMOAuthOperation> {
 public:
  KMOAuthOperation() = default;

  void setAuthParamsPasswordTimeOutInSeconds(std::string login, std::string password,
                                             unsigned timeOutInSeconds);
  const std::string& login() const { return m_login; }
  const std::string& password() const { return m_password; }
  unsigned timeOutInSec() const { return m_timeOutInSec; }

  // The body of the operation, on the calling thread; returns when the outcome
  // has been handed to the main thread.
  void start();
  void main() { authenticate(); }
  // Runs start() on a new detached thread that keeps the operation alive.
  void startOnNewThread();

  void authenticate();
  void sendUpdateRequest();
  void didReceiveResponseWithData(const std::string& data) { handleUpdateResponseData(data); }
  void handleUpdateResponseData(const std::string& data);
  void didNotAuthenticate(const std::string& data);

  // Posts kKMXConnectionDidAuthenticateWithToken with "login" (when given) and "token".
  static void sendDidAuthenticateWithTokenNotificationWithLoginToken(
      const std::optional<std::string>& login, const std::string& token);

  // The service's "/token" below the environment's OAuth origin.
  static kdisk::URL tokenEndpointURL();
  // "grant_type=password&username=…&password=…&client_id=…&client_secret=…&scope=…"
  static std::string requestBodyForLoginPassword(std::string_view login, std::string_view password);
  // UTF-8 percent-encoding that leaves only letters, digits, "-", ".", "_",
  // "~" and the apostrophe as they are.
  static std::string percentEscapedCredential(std::string_view text);
  // The token of a good answer: a JSON object with a non-empty "access_token".
  static std::optional<std::string> tokenOfAnswer(const std::string& data);
  // The error a refusal body gives (codes 1, 2 or 4).
  static KMError errorForRefusalBody(const std::string& data);

  void setTokenEndpointURLForTesting(kdisk::URL url) { m_tokenEndpointForTesting = std::move(url); }

 private:
  void postFailure(const KMError& error);

  std::string m_login;
  std::string m_password;
  unsigned m_timeOutInSec = 15;
  std::optional<kdisk::URL> m_tokenEndpointForTesting;
};
