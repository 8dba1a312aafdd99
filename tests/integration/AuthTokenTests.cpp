// The password grant against kdisk-service: the three outcomes, the escaping,
// and the transport's own errors, each announced on the main thread.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "NotificationRecorder.h"
#include "auth/KMOAuthOperation.h"
#include "support/LoopbackPort.h"
#include "support/HttpClient.h"
#include "support/ScriptedHTTPServer.h"
#include "support/ServiceProcess.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::test {
namespace {

const std::vector<std::string> kAuthNotifications{kKMXConnectionWillAuthenticate,
                                                  kKMXConnectionDidAuthenticateWithToken,
                                                  kKMXConnectionDidFailAuthenticateWithError};

// A loopback port on which nothing listens.
int closedPort() { return kdisk::test::freeLoopbackPort(); }

class KMOAuthOperationTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_service = new ServiceProcess;
    ServiceOptions options;
    options.users = {{"alice", "alice-password"}, {"carol", "carol-password"}};
    ASSERT_TRUE(s_service->start(options)) << s_service->lastError();
    webdav::setAdditionalCertificateAuthorityFile(s_service->endpoints().caCertificate.string());
  }
  static void TearDownTestSuite() {
    delete s_service;
    s_service = nullptr;
  }

  std::string tokenEndpoint() const { return s_service->endpoints().httpsBaseURL + "/token"; }

  // Runs one exchange on its own thread and waits for its outcome.
  void exchange(const std::string& login, const std::string& password,
                const std::string& endpoint, unsigned timeout = 15) {
    auto operation = std::make_shared<KMOAuthOperation>();
    operation->setAuthParamsPasswordTimeOutInSeconds(login, password, timeout);
    operation->setTokenEndpointURLForTesting(*URL::fromString(endpoint));
    operation->startOnNewThread();
    ASSERT_TRUE(m_recorder.waitFor({kKMXConnectionDidAuthenticateWithToken,
                                    kKMXConnectionDidFailAuthenticateWithError}));
    m_recorder.drain();
  }

  KMError failure() const {
    auto failures = m_recorder.named(kKMXConnectionDidFailAuthenticateWithError);
    EXPECT_EQ(failures.size(), 1u);
    if (failures.empty()) return {};
    auto error = errorIn(failures[0].userInfo);
    EXPECT_TRUE(error.has_value());
    return error.value_or(KMError{});
  }

  std::string userInfoBody(const std::string& token) const {
    HttpCall call;
    call.url = s_service->endpoints().httpsBaseURL + "/?userinfo";
    call.caFile = s_service->endpoints().caCertificate;
    call.headers = {"Authorization: OAuth " + token};
    return perform(call).body;
  }

  static ServiceProcess* s_service;
  NotificationRecorder m_recorder{kAuthNotifications};
};
ServiceProcess* KMOAuthOperationTest::s_service = nullptr;

TEST_F(KMOAuthOperationTest, RightPasswordGivesAWorkingTokenWithTheLogin) {
  exchange("alice", "alice-password", tokenEndpoint());
  EXPECT_EQ(m_recorder.names(), (std::vector<std::string>{kKMXConnectionWillAuthenticate,
                                                          kKMXConnectionDidAuthenticateWithToken}));
  EXPECT_TRUE(m_recorder.allOnMainThread());
  auto success = m_recorder.named(kKMXConnectionDidAuthenticateWithToken).at(0);
  EXPECT_EQ(success.string("login"), "alice");
  ASSERT_FALSE(success.string("token").empty());
  EXPECT_NE(userInfoBody(success.string("token")).find("login:alice"), std::string::npos);
}

TEST_F(KMOAuthOperationTest, PasswordWithFormCharactersArrivesIntact) {
  const std::string login = "dan";
  const std::string password = "p&ss=w+rd %2B/?#[]@!$()*,;:";
  ASSERT_TRUE(s_service->faults().addUser(login, password));
  exchange(login, password, tokenEndpoint());
  ASSERT_EQ(m_recorder.count(kKMXConnectionDidAuthenticateWithToken), 1u);
  auto token = m_recorder.named(kKMXConnectionDidAuthenticateWithToken)[0].string("token");
  EXPECT_NE(userInfoBody(token).find("login:" + login), std::string::npos);
}

TEST_F(KMOAuthOperationTest, WrongPasswordGivesCodeOne) {
  exchange("alice", "not-her-password", tokenEndpoint());
  KMError error = failure();
  EXPECT_EQ(error.domain, kKMOAuthOperationErrorDomain);
  EXPECT_EQ(error.code, 1);
  EXPECT_FALSE(error.localizedDescription.empty());
  EXPECT_EQ(m_recorder.count(kKMXConnectionDidAuthenticateWithToken), 0u);
  EXPECT_TRUE(m_recorder.allOnMainThread());
}

TEST_F(KMOAuthOperationTest, BlockedSignInGivesCodeTwoEvenWithTheRightPassword) {
  for (int attempt = 0; attempt < 5; ++attempt) ASSERT_FALSE(s_service->signIn("carol", "wrong"));
  exchange("carol", "carol-password", tokenEndpoint());
  KMError error = failure();
  EXPECT_EQ(error.domain, kKMOAuthOperationErrorDomain);
  EXPECT_EQ(error.code, 2);
}

TEST_F(KMOAuthOperationTest, AnswerThatIsNotJSONIsARefusalWithCodeFour) {
  ASSERT_TRUE(s_service->faults().failNext("POST", "/token", 503));
  exchange("alice", "alice-password", tokenEndpoint());
  KMError error = failure();
  EXPECT_EQ(error.domain, kKMOAuthOperationErrorDomain);
  EXPECT_EQ(error.code, 4);
}

TEST_F(KMOAuthOperationTest, ARefusedAnswerIsNotWrittenToTheLog) {
  ScriptedHTTPServer server([&](const RecordedRequest&) {
    return ScriptedReply::make(200, "OK", R"({"access_token":"SECRET-TOKEN-1234", )");
  });
  testing::internal::CaptureStderr();
  exchange("alice", "alice-password", server.url("/token"));
  const std::string logged = testing::internal::GetCapturedStderr();
  EXPECT_EQ(failure().code, 4);
  EXPECT_NE(logged.find("Error authenticating"), std::string::npos) << logged;
  EXPECT_EQ(logged.find("SECRET-TOKEN"), std::string::npos) << logged;
}

TEST_F(KMOAuthOperationTest, EmptyTokenOrOtherJSONIsARefusalWithCodeFour) {
  for (const std::string body : {R"({"access_token":""})", R"({"access_token":17})", R"(["access_token"])",
                                 R"({"error":"invalid_client"})"}) {
    SCOPED_TRACE(body);
    ScriptedHTTPServer server([&](const RecordedRequest&) {
      return ScriptedReply::make(200, "OK", body, {{"Content-Type", "application/json"}});
    });
    m_recorder.clear();
    exchange("alice", "alice-password", server.url("/token"));
    EXPECT_EQ(failure().code, 4);
  }
}

TEST_F(KMOAuthOperationTest, RequestCarriesTheFormBodyAndItsHeaders) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    return ScriptedReply::make(200, "OK", R"({"access_token":"t0k3n"})");
  });
  exchange("a@b", "x y", server.url("/token"));
  ASSERT_EQ(server.requestCount(), 1u);
  auto request = server.requests()[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/token");
  EXPECT_EQ(request.body,
            "grant_type=password&username=a%40b&password=x%20y&client_id="
            "3c5e9a7b1d2f4e60a8b7c6d5e4f30a21&client_secret=7e1d4c2b9a8f4b3e96d5c0a1b2e3f405"
            "&scope=kadisk:all");
  EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));
  EXPECT_FALSE(request.hasHeader("Cookie"));
  EXPECT_EQ(m_recorder.named(kKMXConnectionDidAuthenticateWithToken).at(0).string("token"), "t0k3n");
}

TEST_F(KMOAuthOperationTest, RefusedConnectionDeliversTheTransportError) {
  exchange("alice", "alice-password", "https://127.0.0.1:" + std::to_string(closedPort()) + "/token");
  KMError error = failure();
  EXPECT_EQ(error.domain, webdav::kKMHTTPTransportErrorDomain);
  EXPECT_EQ(error.code, 7);  // could not connect
}

TEST_F(KMOAuthOperationTest, SilentServerTimesOutWithTheTransportError) {
  ASSERT_TRUE(s_service->faults().stall("POST", "/token", std::chrono::milliseconds(4000)));
  exchange("alice", "alice-password", tokenEndpoint(), /*timeout=*/1);
  KMError error = failure();
  EXPECT_EQ(error.domain, webdav::kKMHTTPTransportErrorDomain);
  EXPECT_EQ(error.code, webdav::kKMHTTPTransportTimedOut);
  s_service->faults().clear();
}

TEST_F(KMOAuthOperationTest, AnswerWithoutBodyAnnouncesNothing) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ScriptedReply::make(204, "No Content", ""); });
  auto operation = std::make_shared<KMOAuthOperation>();
  operation->setAuthParamsPasswordTimeOutInSeconds("alice", "pw", 5);
  operation->setTokenEndpointURLForTesting(*URL::fromString(server.url("/token")));
  operation->start();  // on this thread: returns once the exchange is over
  m_recorder.drain();
  EXPECT_EQ(m_recorder.names(), std::vector<std::string>{kKMXConnectionWillAuthenticate});
}

TEST_F(KMOAuthOperationTest, TokenFromElsewhereIsAnnouncedWithTheKeysGiven) {
  KMOAuthOperation::sendDidAuthenticateWithTokenNotificationWithLoginToken(std::nullopt, "web-token");
  m_recorder.drain();
  auto success = m_recorder.named(kKMXConnectionDidAuthenticateWithToken).at(0);
  EXPECT_EQ(success.string("token"), "web-token");
  EXPECT_FALSE(success.has("login"));
}

TEST(KMOAuthOperationEscaping, OnlyUnreservedCharactersAndTheApostropheStay) {
  EXPECT_EQ(KMOAuthOperation::percentEscapedCredential("aZ9-._~'"), "aZ9-._~'");
  EXPECT_EQ(KMOAuthOperation::percentEscapedCredential(":/?#[]@!$&()*+,;="),
            "%3A%2F%3F%23%5B%5D%40%21%24%26%28%29%2A%2B%2C%3B%3D");
  EXPECT_EQ(KMOAuthOperation::percentEscapedCredential("% \"<>я"), "%25%20%22%3C%3E%D1%8F");
}

TEST(KMOAuthOperationRefusal, CaptchaWinsOverInvalidGrant) {
  EXPECT_EQ(KMOAuthOperation::errorForRefusalBody(
                R"({"error":"invalid_grant","error_description":"CAPTCHA required"})").code, 2);
  EXPECT_EQ(KMOAuthOperation::errorForRefusalBody(R"({"error":"invalid_grant"})").code, 1);
  EXPECT_EQ(KMOAuthOperation::errorForRefusalBody("<html>").code, 4);
  EXPECT_EQ(KMOAuthOperation::errorForRefusalBody("").code, 4);
}

}  // namespace
}  // namespace kdisk::test
