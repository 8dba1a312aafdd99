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

kdisk::Value KMErrorValue(const KMError& error) {
  kdisk::Dictionary fields{{"domain", error.domain},
                           {"code", error.code},
                           {"localizedDescription", error.localizedDescription}};
  if (!error.userInfo.empty()) fields["userInfo"] = error.userInfo;
  return fields;
}

std::optional<KMError> KMErrorFromValue(const kdisk::Value& value) {
  const auto* fields = value.dictionaryValue();
  if (!fields) return std::nullopt;
  auto domain = kdisk::stringForKey(*fields, "domain");
  const auto* code = kdisk::find(*fields, "code");
  if (!domain || !code || !code->integerValue()) return std::nullopt;
  KMError error(*domain, *code->integerValue(),
                kdisk::stringForKey(*fields, "localizedDescription").value_or(""));
  if (const auto* info = kdisk::find(*fields, "userInfo"); info && info->dictionaryValue())
    error.userInfo = *info->dictionaryValue();
  return error;
}
