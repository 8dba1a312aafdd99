#include "platform/KMError.h"

#include <cstring>

std::string KMError::description() const {
  return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" +
         localizedDescription + "\"";
}

KMError KMErrorFromErrno(int errorNumber, const std::string& path) {
  std::string text = std::strerror(errorNumber);
  kdisk::Dictionary info;
  if (!path.empty()) {
    text += ": " + path;
    info["NSFilePath"] = path;
  }
  return KMError(kKMPOSIXErrorDomain, errorNumber, text, std::move(info));
}
