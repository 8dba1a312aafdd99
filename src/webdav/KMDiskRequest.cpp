#include "webdav/KMDiskRequest.h"

#include <fmt/format.h>

#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "webdav/KMWebDAVEnvironment.h"

namespace {

// JSON string escaping for the identity texts, which come from files and the
// keychain and must not break the one-line object.
std::string jsonEscaped(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20) {
          out += fmt::format("\\u{:04x}", c);
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

}  // namespace

std::string KMDiskRequest::diskUserAgentString() {
  const auto identity = kdisk::webdav::currentClientIdentity();
  const std::string version = fmt::format("{}.{}", identity.versionString, identity.buildNumberString);
  return fmt::format("Kalumo.Disk {{\"os\":\"iOS\",\"src\":\"disk.mobile\",\"vsn\":\"{}\",\"id\":\"{}\"}}",
                     jsonEscaped(version), jsonEscaped(identity.deviceIdentifier));
}

void KMDiskRequest::prepareRequest(HTTPRequest& request) {
  KMRequest::prepareRequest(request);
  request.method = "GET";
  request.setValueForHTTPHeaderField(diskUserAgentString(), "User-Agent");
}

void KMDiskRequest::connectionDidReceiveResponse(const HTTPResponse& response) {
  // Keeps the request alive across the base's failure report, which may drop
  // the last outside reference.
  auto self = shared_from_this();
  KMRequest::connectionDidReceiveResponse(response);
  if (response.statusCode != 401 || isCanceled()) return;
  // Without credentials a 401 says nobody is signed in, not that a sign-in
  // failed: the login screen would greet a first launch with an error.
  if (!OAuthToken() || OAuthToken()->empty()) return;
  KMError error(kKMOAuthOperationErrorDomain, kKMOAuthOperationErrorUnknown,
                kdisk::webdav::localizedString("AuthAuthorizationUnknownErrorText",
                                               "Не удалось авторизоваться. Попробуйте ещё раз."));
  kdisk::Dictionary userInfo;
  userInfo["error"] = kdisk::Value(error);
  kdisk::NotificationCenter::defaultCenter().postNotificationInMainThreadWithNameObjectUserInfo(
      kKMXConnectionDidFailAuthenticateWithError, this, std::move(userInfo));
  kdisk::logger("KMRequest", kdisk::LogLevel::Warning)
      ->warn("Error authenticating: {} {}", 401, kdisk::webdav::localizedStringForStatusCode(401));
}

void KMDiskPOSTRequest::prepareRequest(HTTPRequest& request) {
  KMDiskRequest::prepareRequest(request);
  request.method = "POST";
}

void KMMKCOLRequest::prepareRequest(HTTPRequest& request) {
  KMDiskRequest::prepareRequest(request);
  request.method = "MKCOL";
}
