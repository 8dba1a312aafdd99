#pragma once
// The servers the protocol client is tried against, behind one small interface,
// so the same cases run against kdisk-service and the ordinary WebDAV servers
// of Debian (Apache, lighttpd, nginx, rclone).

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "platform/RunLoop.h"
#include "support/ApacheProcess.h"
#include "support/DAVServerProcess.h"
#include "support/ServiceProcess.h"
#include "support/TemporaryDirectory.h"
#include "webdav/KMHTTPTransfer.h"
#include "webdav/KMPROPFINDRequest.h"

namespace kdisk::test {

class WebDAVServerUnderTest {
 public:
  virtual ~WebDAVServerUnderTest() = default;
  // Empty when running; otherwise why it is not (the test is skipped or fails).
  virtual std::string start() = 0;
  virtual bool isAvailable() const { return true; }
  // The WebDAV root with `path` (already percent-encoded) appended.
  virtual std::string url(const std::string& path = {}) const = 0;
  virtual std::optional<std::string> token() const = 0;
  // The folder holding the files served at the root.
  virtual std::string storageRoot() const = 0;
  // Whether folder listings carry a displayname.
  virtual bool sendsDisplayName() const = 0;
  // Whether folder listings carry a getetag.
  virtual bool sendsEntityTags() const { return true; }
  // Whether a PUT with "If-None-Match: *" over an existing file is refused.
  virtual bool refusesOverwrite() const { return true; }
  // Whether MKCOL of an existing folder is refused (rclone answers 201).
  virtual bool refusesExistingFolder() const { return true; }
};

class ApacheServer final : public WebDAVServerUnderTest {
 public:
  static constexpr const char* kName = "Apache";
  bool isAvailable() const override { return ApacheProcess::isAvailable(); }
  std::string start() override {
    m_apache = std::make_unique<ApacheProcess>();
    return m_apache->isRunning() ? std::string() : "apache2 did not start: " + m_apache->errorLog();
  }
  std::string url(const std::string& path = {}) const override { return m_apache->url(path); }
  // mod_dav ignores it; sent so both servers see the same requests.
  std::optional<std::string> token() const override { return "tok"; }
  std::string storageRoot() const override { return m_apache->davRoot(); }
  bool sendsDisplayName() const override { return false; }

 private:
  std::unique_ptr<ApacheProcess> m_apache;
};

// lighttpd, nginx or rclone, each as a Debian package installs it.
template <DAVServerProcess::Kind kind>
class DebianDAVServer final : public WebDAVServerUnderTest {
 public:
  static constexpr const char* kName = kind == DAVServerProcess::Kind::Lighttpd ? "Lighttpd"
                                       : kind == DAVServerProcess::Kind::Nginx  ? "Nginx"
                                                                                : "Rclone";
  bool isAvailable() const override { return DAVServerProcess::isAvailable(kind); }
  std::string start() override {
    m_process = std::make_unique<DAVServerProcess>(kind);
    return m_process->isRunning() ? std::string() : std::string(kName) + " did not start: " + m_process->errorLog();
  }
  std::string url(const std::string& path = {}) const override { return m_process->url(path); }
  std::optional<std::string> token() const override { return "tok"; }
  std::string storageRoot() const override { return m_process->davRoot(); }
  bool sendsDisplayName() const override { return kind != DAVServerProcess::Kind::Lighttpd; }
  bool sendsEntityTags() const override { return kind != DAVServerProcess::Kind::Nginx; }
  bool refusesOverwrite() const override { return kind == DAVServerProcess::Kind::Lighttpd; }
  bool refusesExistingFolder() const override { return kind != DAVServerProcess::Kind::Rclone; }

 private:
  std::unique_ptr<DAVServerProcess> m_process;
};

using LighttpdServer = DebianDAVServer<DAVServerProcess::Kind::Lighttpd>;
using NginxServer = DebianDAVServer<DAVServerProcess::Kind::Nginx>;
using RcloneServer = DebianDAVServer<DAVServerProcess::Kind::Rclone>;

// kdisk-service over HTTPS with its own CA trusted and verification on.
class ServiceServer final : public WebDAVServerUnderTest {
 public:
  static constexpr const char* kName = "Service";
  explicit ServiceServer(ServiceOptions options = {}) : m_options(std::move(options)) {}
  ~ServiceServer() override { kdisk::webdav::setAdditionalCertificateAuthorityFile(std::nullopt); }

  std::string start() override {
    if (!m_service.start(m_options)) return m_service.lastError();
    auto token = m_service.signIn("alice", "alice-password");
    if (!token) return "alice could not sign in";
    m_token = *token;
    kdisk::webdav::setAdditionalCertificateAuthorityFile(m_service.endpoints().caCertificate.string());
    return {};
  }
  std::string url(const std::string& path = {}) const override { return m_service.endpoints().diskURL() + path; }
  std::optional<std::string> token() const override { return m_token; }
  std::string storageRoot() const override { return (m_service.dataFolder() / "disks" / "1").string(); }
  bool sendsDisplayName() const override { return true; }

  ServiceProcess& process() { return m_service; }
  ServiceFaults faults() const { return m_service.faults(); }

 private:
  ServiceOptions m_options;
  ServiceProcess m_service;
  std::string m_token;
};

inline kdisk::URL url(const std::string& text) { return *kdisk::URL::fromString(text); }

inline std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Requests against one server, run to their outcome on the main loop.
class WebDAVClientTest {
 public:
  explicit WebDAVClientTest(WebDAVServerUnderTest& server) : m_server(server) {}

  template <typename Request>
  std::shared_ptr<Request> make(const std::string& path) const {
    auto request = std::make_shared<Request>(url(m_server.url(path)));
    request->setOAuthToken(m_server.token());
    return request;
  }

  struct Listing {
    KMMultiStatusResponseList responses;
    std::optional<KMError> failure;
  };

  Listing list(const std::string& path, const std::optional<std::string>& token) const {
    return listAt(url(m_server.url(path)), token);
  }

  Listing listAt(const kdisk::URL& at, const std::optional<std::string>& token) const {
    auto request = std::make_shared<KMFileListRequest>(at);
    request->setOAuthToken(token);
    request->setDepth(KMWebDAVDepthOne);
    request->setProps({KMFileListRequest::displayNameProp(), KMPROPFINDRequest::resourceTypeProp(),
                       KMFileListRequest::contentLengthProp(), KMFileListRequest::lastModifiedProp(),
                       KMFileListRequest::eTagProp()});
    request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
    std::atomic<bool> done{false};
    Listing result;
    request->setDidReceiveMultistatusResponsesBlock([&](const KMMultiStatusResponseList& responses) {
      result.responses = responses;
      done = true;
    });
    request->setDidFailBlock([&](const KMError& error) {
      result.failure = error;
      done = true;
    });
    request->start();
    EXPECT_TRUE(kdisk::RunLoop::main().runUntil([&] { return done.load(); }, 15));
    return result;
  }

  KMMultiStatusResponseList list(const std::string& path) const {
    auto listing = list(path, m_server.token());
    EXPECT_FALSE(listing.failure) << listing.failure->description();
    return listing.responses;
  }

  static std::optional<KMError> runToOutcome(KMRequest& request, double wallSeconds = 15) {
    std::optional<KMError> failure;
    bool done = false;
    request.setDidFinishLoadingBlock([&](const std::optional<std::string>&) { done = true; });
    request.setDidFailBlock([&](const KMError& error) {
      failure = error;
      done = true;
    });
    request.start();
    EXPECT_TRUE(kdisk::RunLoop::main().runUntil([&] { return done; }, wallSeconds));
    return failure;
  }

 private:
  WebDAVServerUnderTest& m_server;
};

}  // namespace kdisk::test
