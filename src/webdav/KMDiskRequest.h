#pragma once
// A request to the storage service itself: adds the client's User-Agent and
// reacts to HTTP 401 by posting kKMXConnectionDidFailAuthenticateWithError on
// the main thread (after the request has reported its failure). Same threads
// and life cycle as KMRequest.

#include "webdav/KMRequest.h"

inline constexpr const char* kKMOAuthOperationErrorDomain = "kKMOAuthOperationErrorDomain";
inline constexpr int kKMOAuthOperationErrorUnknown = 4;
inline constexpr const char* kKMXConnectionDidFailAuthenticateWithError =
    "kKMXConnectionDidFailAuthenticateWithError";

class KMDiskRequest : public KMRequest {
 public:
  using KMRequest::KMRequest;

  // Kalumo.Disk {"os":"iOS","src":"disk.mobile","vsn":"<version>.<build>","id":"<device>"}
  static std::string diskUserAgentString();
  const char* className() const override { return "KMDiskRequest"; }

 protected:
  void prepareRequest(HTTPRequest& request) override;
  void connectionDidReceiveResponse(const HTTPResponse& response) override;
};

class KMDiskPOSTRequest : public KMDiskRequest {
 public:
  using KMDiskRequest::KMDiskRequest;
  const char* className() const override { return "KMDiskPOSTRequest"; }

 protected:
  void prepareRequest(HTTPRequest& request) override;
};

class KMMKCOLRequest : public KMDiskRequest {
 public:
  using KMDiskRequest::KMDiskRequest;
  const char* className() const override { return "KMMKCOLRequest"; }

 protected:
  void prepareRequest(HTTPRequest& request) override;
  bool acceptResponseCode(int statusCode) override { return statusCode == 201; }
};
