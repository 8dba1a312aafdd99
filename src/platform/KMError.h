#pragma once
// A failure reported as a value: domain, code, localised description and user
// info. Errors from the network or the disk are always values, never crashes.

#include <cstdint>
#include <string>
#include <utility>

#include "platform/Value.h"

struct KMError {
  std::string domain;
  std::int64_t code = 0;
  std::string localizedDescription;
  kdisk::Dictionary userInfo;

  KMError() = default;
  KMError(std::string domain, std::int64_t code, std::string localizedDescription = {},
          kdisk::Dictionary userInfo = {})
      : domain(std::move(domain)), code(code),
        localizedDescription(std::move(localizedDescription)), userInfo(std::move(userInfo)) {}

  bool is(std::string_view errorDomain, std::int64_t errorCode) const {
    return domain == errorDomain && code == errorCode;
  }
  // "Error Domain=%@ Code=%d \"%@\"", the form the logs show.
  std::string description() const;
  bool operator==(const KMError&) const = default;
};

// Domains of failures that do not come from the network protocol.
inline constexpr const char* kKMPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr const char* kKMFileErrorDomain = "KMFileErrorDomain";

// An error from errno, with the path it concerns in the description.
KMError KMErrorFromErrno(int errorNumber, const std::string& path = {});
