#pragma once

#include "support/HttpClient.h"
#include "support/ServiceProcess.h"

#include <gtest/gtest.h>

#include <fstream>

namespace kdisk::test {

// A running service with the account alice and her token, for one test.
class ServiceTest : public testing::Test {
protected:
  virtual ServiceOptions options() { return {}; }

  void SetUp() override {
    ASSERT_TRUE(m_service.start(options())) << m_service.lastError();
    auto token = m_service.signIn("alice", "alice-password");
    ASSERT_TRUE(token);
    m_token = *token;
  }

  HttpCall davCall(const std::string& method, const std::string& path) const {
    HttpCall call;
    call.method = method;
    call.url = m_service.endpoints().httpsBaseURL + path;
    call.caFile = m_service.endpoints().caCertificate;
    call.headers = {"Authorization: OAuth " + m_token};
    return call;
  }

  HttpReply dav(const std::string& method, const std::string& path,
                std::optional<std::string> body = std::nullopt,
                std::vector<std::string> headers = {}) const {
    auto call = davCall(method, path);
    call.body = std::move(body);
    call.headers.insert(call.headers.end(), headers.begin(), headers.end());
    return perform(call);
  }

  HttpReply put(const std::string& path, const std::string& content) const {
    return dav("PUT", path, content);
  }

  HttpReply propfind(const std::string& path, const std::string& depth) const {
    return dav("PROPFIND", path,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?><D:propfind xmlns:D=\"DAV:\"><D:prop "
               "xmlns:K=\"urn:kalumo:disk:meta\"><D:displayname/><D:resourcetype/>"
               "<D:getcontentlength/><D:getlastmodified/><D:getetag/></D:prop></D:propfind>",
               {"Depth: " + depth, "Content-Type: application/xml"});
  }

  std::filesystem::path aliceRoot() const { return m_service.dataFolder() / "disks" / "1"; }

  std::filesystem::path scratchFile(const std::string& name, std::size_t size) const {
    auto path = m_service.dataFolder().parent_path() / name;
    std::ofstream out(path, std::ios::binary);
    std::string block(64 * 1024, 'x');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + i % 26);
    for (std::size_t written = 0; written < size; written += block.size())
      out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - written)));
    return path;
  }

  static std::string fileContent(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  ServiceProcess m_service;
  std::string m_token;
};

} // namespace kdisk::test
