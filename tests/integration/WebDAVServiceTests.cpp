// What only kdisk-service can show the protocol client: refused and revoked
// tokens, injected faults mid-answer, and the names and port of its items.
#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

#include "WebDAVServerFixture.h"
#include "platform/NotificationCenter.h"
#include "webdav/KMDiskRequest.h"

namespace {

using kdisk::RunLoop;
using namespace kdisk::test;

class WebDAVServiceTests : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string problem = m_server.start();
    ASSERT_TRUE(problem.empty()) << problem;
    m_signInFailures = kdisk::NotificationCenter::defaultCenter().addObserver(
        kKMXConnectionDidFailAuthenticateWithError, [this](const kdisk::Notification& notification) {
          if (const KMError* error = kdisk::errorForKey(notification.userInfo)) m_signInError = *error;
        });
  }

  void putFile(const std::string& name, const std::string& content) {
    // The account's folder appears with its first file.
    std::filesystem::create_directories(m_server.storageRoot());
    std::ofstream(m_server.storageRoot() + "/" + name, std::ios::binary) << content;
  }

  // A listing with `token` that must be refused with 401.
  void expectRefusedListing(const std::optional<std::string>& token) {
    auto listing = m_client.list("", token);
    ASSERT_TRUE(listing.failure);
    EXPECT_TRUE(listing.failure->is(kKMRequestErrorDomain, kKMRequestErrorNotAccepted));
    EXPECT_TRUE(listing.responses.empty());
    // Posted on the main thread right after the failure, so it has arrived.
    RunLoop::main().runPending();
    ASSERT_TRUE(m_signInError);
    EXPECT_TRUE(m_signInError->is(kKMOAuthOperationErrorDomain, kKMOAuthOperationErrorUnknown));
    EXPECT_FALSE(m_signInError->localizedDescription.empty());
  }

  ServiceServer m_server;
  WebDAVClientTest m_client{m_server};
  TemporaryDirectory m_local;
  kdisk::ObserverToken m_signInFailures;
  std::optional<KMError> m_signInError;
};

TEST_F(WebDAVServiceTests, UnknownTokenFailsWithCodeOneAndPostsTheSignInFailure) {
  expectRefusedListing("not-a-token");
}

// Nobody is signed in: the refusal fails the request but is no failed sign-in.
TEST_F(WebDAVServiceTests, RequestWithoutTokenIsRefusedWithoutTheSignInNotification) {
  auto listing = m_client.list("", std::nullopt);
  ASSERT_TRUE(listing.failure);
  EXPECT_TRUE(listing.failure->is(kKMRequestErrorDomain, kKMRequestErrorNotAccepted));
  RunLoop::main().runPending();
  EXPECT_FALSE(m_signInError);
}

TEST_F(WebDAVServiceTests, RevokedTokenIsRefusedOnTheNextRequest) {
  EXPECT_EQ(m_client.list("").size(), 1u);
  ASSERT_TRUE(m_server.faults().revokeToken(*m_server.token()));
  expectRefusedListing(m_server.token());
}

TEST_F(WebDAVServiceTests, ForbiddenIsAFailureWithoutTheSignInNotification) {
  ASSERT_TRUE(m_server.faults().failNext("PROPFIND", "/disk/", 403));
  auto listing = m_client.list("", m_server.token());
  ASSERT_TRUE(listing.failure);
  EXPECT_TRUE(listing.failure->is(kKMRequestErrorDomain, kKMRequestErrorNotAccepted));
  RunLoop::main().runPending();
  EXPECT_FALSE(m_signInError);
}

TEST_F(WebDAVServiceTests, ResponseCutMidBodyLeavesNoDownloadFileBehind) {
  putFile("big.bin", std::string(200000, 'b'));
  ASSERT_TRUE(m_server.faults().cutResponseBodyAfter("GET", "/disk/big.bin", 50000));
  const std::string cached = m_local.path() + "/cache/big.bin";
  std::filesystem::create_directories(m_local.path() + "/cache");
  // An older copy is replaced by the download, so after a failure none is left.
  std::ofstream(cached) << "older copy";
  auto download = m_client.make<KMDiskRequest>("big.bin");
  download->setFileURL(kdisk::URL::fileURLWithPath(cached));
  auto failure = WebDAVClientTest::runToOutcome(*download);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->domain, kdisk::webdav::kKMHTTPTransportErrorDomain) << failure->description();
  struct stat info {};
  EXPECT_NE(::stat(cached.c_str(), &info), 0);

  // The next attempt is not disturbed by the one that failed.
  auto again = m_client.make<KMDiskRequest>("big.bin");
  again->setFileURL(kdisk::URL::fileURLWithPath(cached));
  auto second = WebDAVClientTest::runToOutcome(*again);
  EXPECT_FALSE(second) << second->description();
  EXPECT_TRUE(readFile(cached) == std::string(200000, 'b'));
}

TEST_F(WebDAVServiceTests, ListingCutMidBodyFailsWithoutResponses) {
  for (int i = 0; i < 50; ++i) putFile("file " + std::to_string(i) + ".txt", "x");
  ASSERT_TRUE(m_server.faults().cutResponseBodyAfter("PROPFIND", "/disk/", 2000));
  auto listing = m_client.list("", m_server.token());
  ASSERT_TRUE(listing.failure);
  EXPECT_EQ(listing.failure->domain, kdisk::webdav::kKMHTTPTransportErrorDomain);
  EXPECT_TRUE(listing.responses.empty());
}

TEST_F(WebDAVServiceTests, StalledServerEndsInTheRequestTimeOut) {
  VirtualClock clock;
  ASSERT_TRUE(m_server.faults().stall("PROPFIND", "/disk/", std::chrono::milliseconds(10000)));
  auto request = m_client.make<KMFileListRequest>("");
  request->setDepth(KMWebDAVDepthOne);
  request->setTimeoutInterval(20);
  std::optional<KMError> failure;
  bool done = false;
  request->setDidFinishLoadingBlock([&](const std::optional<std::string>&) { done = true; });
  request->setDidFailBlock([&](const KMError& error) {
    failure = error;
    done = true;
  });
  request->start();
  clock.advance(19);
  RunLoop::main().runPending();
  EXPECT_FALSE(done);
  clock.advance(2);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return done; }, 5));
  ASSERT_TRUE(failure);
  EXPECT_TRUE(failure->is(kdisk::webdav::kKMHTTPTransportErrorDomain, kdisk::webdav::kKMHTTPTransportTimedOut));
}

TEST_F(WebDAVServiceTests, FoldersWithSpacesCyrillicAndPercentAreListedOnTheServicePort) {
  const std::map<std::string, std::string> folders{
      {"Folder%20with%20spaces/", "/disk/Folder with spaces/"},
      {"%D0%9F%D0%B0%D0%BF%D0%BA%D0%B0/", "/disk/Папка/"},
      {"100%25%20done/", "/disk/100% done/"}};
  for (const auto& [encoded, path] : folders) {
    ASSERT_FALSE(WebDAVClientTest::runToOutcome(*m_client.make<KMMKCOLRequest>(encoded))) << path;
    putFile(path.substr(6) + "inside.txt", "inside");
  }
  const int port = *url(m_server.url()).port();
  std::map<std::string, kdisk::URL> byPath;
  for (const auto& response : m_client.list("")) {
    EXPECT_EQ(response->URL().port(), port) << response->URL().absoluteString();
    byPath.emplace(response->URL().path(), response->URL());
  }
  ASSERT_EQ(byPath.size(), 4u);
  for (const auto& [encoded, path] : folders) {
    auto found = byPath.find(path);
    ASSERT_NE(found, byPath.end()) << path;
    // The item URL itself reaches the service again.
    auto inside = m_client.listAt(found->second, m_server.token());
    ASSERT_FALSE(inside.failure) << path << ": " << inside.failure->description();
    ASSERT_EQ(inside.responses.size(), 2u) << path;
    EXPECT_EQ(inside.responses[1]->URL().path(), path + "inside.txt");
    EXPECT_EQ(inside.responses[1]->URL().port(), port);
    const kdisk::Dictionary* values = inside.responses[0]->successPropValues();
    ASSERT_NE(values, nullptr);
    EXPECT_TRUE(kdisk::find(*values, "DAV:displayname")) << path;
  }
}

}  // namespace
