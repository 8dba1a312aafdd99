#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kdisk::test {

// One blocking HTTP(S) exchange for tests, over libcurl. Verification stays on:
// HTTPS calls name the CA to trust.
struct HttpCall {
  std::string method = "GET";
  std::string url;
  std::vector<std::string> headers; // "Name: value"
  std::optional<std::string> body;
  std::filesystem::path uploadFile;   // streamed as the body when set
  std::filesystem::path downloadFile; // the answer body goes here when set
  std::filesystem::path caFile;
  long timeoutMilliseconds = 15000;
  long lowSpeedSeconds = 0; // abort when under 1 byte/s for this long (0: off)
};

struct HttpReply {
  long status = 0;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string error; // transport failure, empty when an answer arrived

  std::optional<std::string> header(const std::string& name) const;
  bool transportFailed() const { return !error.empty(); }
};

HttpReply perform(const HttpCall& call);

} // namespace kdisk::test
