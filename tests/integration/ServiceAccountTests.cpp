#include "ServiceFixture.h"

#include <nlohmann/json.hpp>

using namespace kdisk::test;

namespace {
const std::string kClient =
    "&client_id=3c5e9a7b1d2f4e60a8b7c6d5e4f30a21&client_secret=7e1d4c2b9a8f4b3e96d5c0a1b2e3f405"
    "&scope=kadisk:all";
}

class ServiceAccounts : public ServiceTest {
protected:
  nlohmann::json tokenAnswer(const std::string& form) const {
    HttpCall call;
    call.method = "POST";
    call.url = m_service.endpoints().httpsBaseURL + "/token";
    call.caFile = m_service.endpoints().caCertificate;
    call.headers = {"Content-Type: application/x-www-form-urlencoded"};
    call.body = form;
    return nlohmann::json::parse(perform(call).body, nullptr, false);
  }
  HttpReply plain(const std::string& path, std::vector<std::string> headers = {}) const {
    HttpCall call;
    call.url = m_service.endpoints().httpBaseURL + path;
    call.headers = std::move(headers);
    return perform(call);
  }
};

TEST_F(ServiceAccounts, EveryDiskAndUserInfoRequestNeedsAValidToken) {
  for (const char* method : {"PROPFIND", "GET", "PUT", "MKCOL", "DELETE", "POST"}) {
    auto call = davCall(method, "/disk/x");
    call.headers = {"Depth: 1"};
    EXPECT_EQ(perform(call).status, 401) << method;
    call.headers = {"Depth: 1", "Authorization: OAuth not-a-token"};
    EXPECT_EQ(perform(call).status, 401) << method;
  }
  EXPECT_EQ(plain("/?userinfo").status, 401);
  EXPECT_FALSE(std::filesystem::exists(aliceRoot() / "x"));
}

TEST_F(ServiceAccounts, UserInfoIsPlainTextLines) {
  auto reply = plain("/?userinfo", {"Authorization: OAuth " + m_token});
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "uid:1\nlogin:alice\n");
}

TEST_F(ServiceAccounts, ARevokedTokenGets401) {
  ASSERT_EQ(propfind("/disk/", "0").status, 207);
  ASSERT_TRUE(m_service.faults().revokeToken(m_token));
  EXPECT_EQ(propfind("/disk/", "0").status, 401);
}

TEST_F(ServiceAccounts, ThePasswordGrantKeepsEscapedCharacters) {
  ASSERT_TRUE(m_service.faults().addUser("bob", "a&b=c+d"));
  auto answer = tokenAnswer("grant_type=password&username=bob&password=a%26b%3Dc%2Bd" + kClient);
  ASSERT_TRUE(answer.contains("access_token")) << answer.dump();
  EXPECT_EQ(answer["token_type"], "bearer");
  EXPECT_GT(answer["expires_in"].get<long>(), 0);
}

TEST_F(ServiceAccounts, WrongPasswordsAreInvalidGrantsUntilTheSixthNeedsACaptcha) {
  for (int attempt = 1; attempt <= 5; ++attempt) {
    auto answer = tokenAnswer("grant_type=password&username=alice&password=wrong" + kClient);
    EXPECT_EQ(answer["error"], "invalid_grant") << attempt;
    EXPECT_NE(answer.value("error_description", ""), "CAPTCHA required") << attempt;
  }
  auto sixth = tokenAnswer("grant_type=password&username=alice&password=wrong" + kClient);
  EXPECT_EQ(sixth["error"], "invalid_grant");
  EXPECT_EQ(sixth["error_description"], "CAPTCHA required");
}

TEST_F(ServiceAccounts, AnUnknownClientOrABrokenFormIsRefused) {
  auto answer = tokenAnswer("grant_type=password&username=alice&password=alice-password"
                            "&client_id=ffff&client_secret=0000&scope=kadisk:all");
  EXPECT_EQ(answer["error"], "invalid_client");
  EXPECT_EQ(tokenAnswer("grant_type=password&username=%zz" + kClient)["error"], "invalid_request");
}

TEST_F(ServiceAccounts, TokensAccountsAndFilesSurviveARestart) {
  ASSERT_EQ(put("/disk/kept.txt", "still here").status, 201);
  ASSERT_TRUE(m_service.restart()) << m_service.lastError();
  auto reply = dav("GET", "/disk/kept.txt");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "still here");
}

TEST_F(ServiceAccounts, StartupGivesAStableUuidPerDevice) {
  auto first = plain("/disk/startup?app_platform=iphone&manufacturer=Apple&UDID=device-1");
  auto again = plain("/disk/startup?app_platform=iphone&UDID=device-1&uuid=x");
  auto other = plain("/disk/startup?UDID=device-2");
  ASSERT_EQ(first.status, 200);
  auto uuidOf = [](const std::string& body) {
    auto start = body.find("<uuid>"), end = body.find("</uuid>");
    return start == std::string::npos ? std::string() : body.substr(start + 6, end - start - 6);
  };
  EXPECT_FALSE(uuidOf(first.body).empty());
  EXPECT_NE(first.body.find("<deviceid>"), std::string::npos);
  EXPECT_EQ(uuidOf(first.body), uuidOf(again.body));
  EXPECT_NE(uuidOf(first.body), uuidOf(other.body));
}

TEST_F(ServiceAccounts, TheUpdateManifestCarriesBuildNumberAndURL) {
  auto reply = plain("/update/?app_name=disk&app_branch=main&app_platform=iphoneos&build_number=1");
  EXPECT_EQ(reply.status, 200);
  EXPECT_NE(reply.body.find("<build_number>0</build_number>"), std::string::npos);
  EXPECT_NE(reply.body.find("<url>"), std::string::npos);
}

TEST_F(ServiceAccounts, WebSignInRedirectsToTheReturnPathWithAToken) {
  HttpCall page;
  page.url = m_service.endpoints().httpsBaseURL + "/auth/signin?retpath=kalumodisk%3A%2F%2Ftoken";
  page.caFile = m_service.endpoints().caCertificate;
  auto form = perform(page);
  EXPECT_EQ(form.status, 200);
  EXPECT_NE(form.body.find("<form method=post"), std::string::npos);

  HttpCall submit = page;
  submit.method = "POST";
  submit.url = m_service.endpoints().httpsBaseURL + "/auth/signin";
  submit.headers = {"Content-Type: application/x-www-form-urlencoded"};
  submit.body = "retpath=kalumodisk%3A%2F%2Ftoken&login=alice&password=alice-password";
  auto signedIn = perform(submit);
  ASSERT_EQ(signedIn.status, 302);
  auto location = signedIn.header("Location").value_or("");
  EXPECT_EQ(location.rfind("kalumodisk://token?access_token=", 0), 0u) << location;
  std::string token = location.substr(location.find('=') + 1);
  token = token.substr(0, token.find('&'));
  EXPECT_EQ(plain("/?userinfo", {"Authorization: OAuth " + token}).body, "uid:1\nlogin:alice\n");

  submit.body = "retpath=kalumodisk%3A%2F%2Ftoken&login=alice&password=nope";
  EXPECT_EQ(perform(submit).status, 403);
  submit.body = "retpath=https%3A%2F%2Felsewhere.example%2F&login=alice&password=alice-password";
  EXPECT_EQ(perform(submit).status, 400);
}

TEST_F(ServiceAccounts, RegistrationCreatesAnAccountAndSignsIn) {
  HttpCall submit;
  submit.method = "POST";
  submit.url = m_service.endpoints().httpsBaseURL + "/auth/register";
  submit.caFile = m_service.endpoints().caCertificate;
  submit.headers = {"Content-Type: application/x-www-form-urlencoded"};
  submit.body = "retpath=kalumodisk%3A%2F%2Ftoken&login=newbie&password=pass1&password2=pass1";
  auto reply = perform(submit);
  ASSERT_EQ(reply.status, 302);
  EXPECT_NE(reply.header("Location").value_or("").find("access_token="), std::string::npos);
  EXPECT_TRUE(m_service.signIn("newbie", "pass1"));
  EXPECT_EQ(perform(submit).status, 403); // the login is taken now

  HttpCall restore;
  restore.url = m_service.endpoints().httpsBaseURL + "/auth/restore";
  restore.caFile = m_service.endpoints().caCertificate;
  EXPECT_EQ(perform(restore).status, 200);
}
