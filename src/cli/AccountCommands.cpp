#include <algorithm>
#include <iostream>
#include <thread>

#include "auth/KMOAuthOperation.h"
#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/CliText.h"
#include "foundation/KLApplicationLocale.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/KMError.h"
#include "platform/RunLoop.h"
#include "settings/KMSettings.h"
#include "storage/KMWebDAVStorage.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::cli {

int login(Session& session, std::optional<std::string> givenLogin, bool passwordFromStdin) {
  auto& settings = KMSettings::mainSettings();
  std::string login = givenLogin ? *givenLogin : settings.login().value_or("");
  if (login.empty()) {
    if (!stdinIsTerminal())
      return report(Failure{say("Give the login: kdisk login LOGIN"), kBadUsage});
    std::cerr << say("Login:") << " " << std::flush;
    std::getline(std::cin, login);
  }
  const auto password = readPassword(passwordFromStdin);
  if (!password.hasValue())
    return report(password.failure());
  Outcomes outcomes(
      {kKMXConnectionDidAuthenticateWithToken, kKMXConnectionDidFailAuthenticateWithError});
  auto operation = std::make_shared<KMOAuthOperation>();
  operation->setAuthParamsPasswordTimeOutInSeconds(login, password.value(), 15);
  // On a thread this command joins before it returns: one still ending while
  // the process exits leaves its TLS library state half torn down.
  std::thread worker([operation] { operation->start(); });
  RunLoop::main().runUntil([&] { return !outcomes.received.empty(); }, 60);
  worker.join();
  if (outcomes.received.empty())
    return report(Failure{say("Sign-in: the service at {} did not answer.", hostOf(KMOAuthOperation::tokenEndpointURL()))});
  const Notification& outcome = outcomes.received.front();
  if (outcome.name != kKMXConnectionDidAuthenticateWithToken) {
    const KMError* error = errorForKey(outcome.userInfo);
    if (error && error->code == kKMOAuthOperationErrorInvalidLoginOrPassword &&
        error->domain == kKMOAuthOperationErrorDomain)
      return report(Failure{say("Sign-in failed: wrong login or password.")});
    if (error && error->code == kKMOAuthOperationErrorLoginBlocked &&
        error->domain == kKMOAuthOperationErrorDomain)
      return report(Failure{say("Sign-in failed: this login is blocked.")});
    if (error && error->domain == webdav::kKMHTTPTransportErrorDomain)
      return report(Failure{say("Sign-in failed: cannot reach the service at {}.",
                                hostOf(KMOAuthOperation::tokenEndpointURL()))});
    return report(Failure{error ? say("Sign-in failed: {}", error->localizedDescription) : say("Sign-in failed.")});
  }
  // As the application does on a successful authentication.
  settings.setLogin(stringForKey(outcome.userInfo, "login").value_or(login));
  settings.setToken(stringForKey(outcome.userInfo, "token"));
  settings.setWasSuccessfullyAuthorized(true);
  settings.saveSettingsDelayed();
  (void)session;
  std::cout << say("Signed in as {}.", settings.login().value_or(login)) << "\n";
  return 0;
}

int logout(Session& session) {
  auto& settings = KMSettings::mainSettings();
  // The application's sign-out: settings first, then the cached listings and files.
  settings.clearUserRelatedSettingOnLogout();
  settings.saveSettingsDelayed();
  session.manager->clearFilePreviewCache();
  session.storage().clear();
  session.storage().removeAllDownloadedFiles();
  std::cout << say("Signed out.") << "\n";
  return 0;
}

int whoami(Session& session) {
  if (auto signedIn = session.requireToken(); !signedIn.hasValue())
    return report(signedIn.failure());
  auto& settings = KMSettings::mainSettings();
  Outcomes figures({kKMKMWebDAVFileManagerDidReceiveAdditionalInfo,
                    kKMKMWebDAVFileManagerDidFailWithAdditionalInfoRequest});
  session.manager->sendAdditionalInfoRequest();
  figures.waitForFirst();
  if (auto read = session.expectFirst(figures, kKMKMWebDAVFileManagerDidReceiveAdditionalInfo,
                                     say("Cannot read the account"));
      !read.hasValue())
    return report(read.failure());
  const auto& info = figures.received.front().userInfo;
  auto number = [&](const char* key) { return integerForKey(info, key); };
  // Copied into the settings as the application does.
  if (auto v = number("maxFileSizeNum"))
    settings.setMaxFileSize(*v);
  if (auto v = number("quotaAvailableBytesNum"))
    settings.setQuotaAvailableBytes(*v);
  if (auto v = number("quotaUsedBytesNum"))
    settings.setQuotaUsedBytes(*v);

  Outcomes user({kKMKMWebDAVFileManagerDidReceiveUserInfo});
  session.manager->sendUserInfoRequest();
  // The user-information request reports nothing on failure: bounded wait.
  user.waitFor([&] { return !user.received.empty(); }, 15);
  std::string login = settings.login().value_or("?");
  if (!user.received.empty())
    if (auto given = stringForKey(user.received.front().userInfo, "login"))
      login = *given;
  auto size = [](std::optional<std::int64_t> v) {
    return v ? LocalizedFileSizeStr(static_cast<std::uint64_t>(std::max<std::int64_t>(0, *v)))
             : say("unknown");
  };
  std::cout << say("Login: {}", login) << "\n"
            << say("Used: {}", size(number("quotaUsedBytesNum"))) << "\n"
            << say("Free: {}", size(number("quotaAvailableBytesNum"))) << "\n"
            << say("Maximum file size: {}", size(number("maxFileSizeNum"))) << "\n";
  return 0;
}

} // namespace kdisk::cli
