#include "uikit/KMMessageComposer.h"

#include <string>

#include "platform/DesktopApplications.h"

namespace kdisk {

URL KMMessageComposer::messageURLWithBody(std::string_view body) {
  // Only unreserved characters and escapes remain, which always parse.
  return *URL::fromString("sms:?body=" + percentEncode(body));
}

Status KMMessageComposer::composeWithBody(std::string_view body) {
  return openURLWithDefaultApplication(messageURLWithBody(body));
}

} // namespace kdisk
