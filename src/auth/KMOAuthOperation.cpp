#include "auth/KMOAuthOperation.h"

#include <nlohmann/json.hpp>

#include <thread>

#include "foundation/KLApplicationEnvironment.h"
#include "platform/Bundle.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "webdav/KMSynchronousHTTP.h"

using kdisk::Dictionary;
using kdisk::NotificationCenter;

namespace {

auto& log() {
  static auto logger = kdisk::logger("KMOAuthOperation", kdisk::LogLevel::Warning);
  return logger;
}

// The parsed answer as an object; nothing for anything else (not JSON, an array, …).
std::optional<nlohmann::json> jsonObjectOfBody(const std::string& data) {
  auto value = nlohmann::json::parse(data, nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded() || !value.is_object()) return std::nullopt;
  return value;
}

std::optional<std::string> stringMember(const nlohmann::json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

}  // namespace

void KMOAuthOperation::setAuthParamsPasswordTimeOutInSeconds(std::string login,
                                                             std::string password,
                                                             unsigned timeOutInSeconds) {
  m_login = std::move(login);
  m_password = std::move(password);
  m_timeOutInSec = timeOutInSeconds;
}

void KMOAuthOperation::start() { main(); }

void KMOAuthOperation::startOnNewThread() {
  std::thread([self = shared_from_this()] { self->start(); }).detach();
}

void KMOAuthOperation::authenticate() {
  NotificationCenter::defaultCenter().postNotificationInMainThreadWithNameObjectUserInfo(
      kKMXConnectionWillAuthenticate, this, {});
  sendUpdateRequest();
}

kdisk::URL KMOAuthOperation::tokenEndpointURL() {
  auto origin = kdisk::KLApplicationEnvironment::currentEnvironment().OAuthURL();
  std::string text = origin.absoluteString();
  while (!text.empty() && text.back() == '/') text.pop_back();
  return kdisk::URL::fromString(text + "/token").value_or(origin);
}

std::string KMOAuthOperation::percentEscapedCredential(std::string_view text) {
  // "%" is escaped too: a password holding "%41" must arrive as typed.
  return kdisk::percentEncode(text, "'");
}

std::string KMOAuthOperation::requestBodyForLoginPassword(std::string_view login,
                                                          std::string_view password) {
  return fmt::format(
      "grant_type=password&username={}&password={}&client_id={}&client_secret={}&scope={}",
      percentEscapedCredential(login), percentEscapedCredential(password),
      kKMOAuthClientIdentifier, kKMOAuthClientSecret, kKMOAuthScope);
}

void KMOAuthOperation::sendUpdateRequest() {
  kdisk::webdav::HTTPRequest request;
  request.URL = m_tokenEndpointForTesting ? *m_tokenEndpointForTesting : tokenEndpointURL();
  request.method = "POST";
  request.timeoutInterval = m_timeOutInSec;
  request.handlesCookies = false;
  request.body = requestBodyForLoginPassword(m_login, m_password);
  request.setValueForHTTPHeaderField(fmt::format("{}", request.body.size()), "Content-Length");
  request.setValueForHTTPHeaderField("application/x-www-form-urlencoded", "Content-Type");

  auto result = kdisk::webdav::sendSynchronousRequest(request);
  if (result.error) {
    log()->error("Error authenticating: {}", result.error->description());
    postFailure(*result.error);
    return;
  }
  if (!result.body.empty()) didReceiveResponseWithData(result.body);
  // An answer without a body and without an error is left unannounced.
}

std::optional<std::string> KMOAuthOperation::tokenOfAnswer(const std::string& data) {
  auto object = jsonObjectOfBody(data);
  if (!object) return std::nullopt;
  auto token = stringMember(*object, "access_token");
  if (!token || token->empty()) return std::nullopt;
  return token;
}

void KMOAuthOperation::handleUpdateResponseData(const std::string& data) {
  if (auto token = tokenOfAnswer(data)) {
    sendDidAuthenticateWithTokenNotificationWithLoginToken(m_login, *token);
    return;
  }
  didNotAuthenticate(data);
}

KMError KMOAuthOperation::errorForRefusalBody(const std::string& data) {
  int code = kKMOAuthOperationErrorUnknown;
  std::string description =
      kdisk::KMLocalizedString("Authenticating error.", "Authenticating error.");
  if (auto object = jsonObjectOfBody(data)) {
    if (stringMember(*object, "error_description") == "CAPTCHA required") {
      code = kKMOAuthOperationErrorLoginBlocked;
      description = kdisk::KMLocalizedString(
          "AuthOneHourLoginBlocked", "Too many attempts. Signing in is blocked for an hour.");
    } else if (stringMember(*object, "error") == "invalid_grant") {
      code = kKMOAuthOperationErrorInvalidLoginOrPassword;
      description =
          kdisk::KMLocalizedString("AuthInvalidLoginOrPassword", "Wrong login or password.");
    }
  }
  return KMError(kKMOAuthOperationErrorDomain, code, description);
}

void KMOAuthOperation::didNotAuthenticate(const std::string& data) {
  // The reason, never the answer: a malformed one may still carry a token.
  const KMError error = errorForRefusalBody(data);
  log()->error("Error authenticating: {} ({} bytes of answer)", error.description(), data.size());
  postFailure(error);
}

void KMOAuthOperation::postFailure(const KMError& error) {
  NotificationCenter::defaultCenter().postNotificationInMainThreadWithNameObjectUserInfo(
      kKMXConnectionDidFailAuthenticateWithError, this, {{"error", kdisk::Value(error)}});
}

void KMOAuthOperation::sendDidAuthenticateWithTokenNotificationWithLoginToken(
    const std::optional<std::string>& login, const std::string& token) {
  Dictionary userInfo{{"token", token}};
  if (login) userInfo["login"] = *login;
  NotificationCenter::defaultCenter().postNotificationInMainThreadWithNameObjectUserInfo(
      kKMXConnectionDidAuthenticateWithToken, nullptr, std::move(userInfo));
}
