// The start-up report against kdisk-service and scripted servers: parameters,
// the identifiers kept on the main thread, bad answers, and the retry.
#include <gmock/gmock.h>
#include <spdlog/sinks/ringbuffer_sink.h>

#include "NotificationRecorder.h"
#include "auth/KMStartupOperation.h"
#include "foundation/KLDeviceIdentifier.h"
#include "platform/KMAnalytics.h"
#include "platform/Log.h"
#include "platform/Keychain.h"
#include "platform/UserDefaults.h"
#include "settings/KMSettings.h"
#include "support/ScriptedHTTPServer.h"
#include "support/ServiceProcess.h"
#include "support/TemporaryDirectory.h"

namespace kdisk::test {
namespace {

std::size_t startUpEvents() {
  std::size_t count = 0;
  for (auto& event : KMAnalytics::sharedInstance().recordedEvents())
    if (event.name == kKMMVStartUp) ++count;
  return count;
}

class KMStartupOperationTest : public testing::Test {
 protected:
  void SetUp() override {
    m_settings = KMSettings::createForTesting(std::make_shared<UserDefaults>(m_folder.file("prefs.plist")));
    m_keychain = Keychain::createFileKeychain(m_folder.file("keychain"));
    KMAnalytics::sharedInstance().clearRecordedEventsForTesting();
  }

  std::shared_ptr<KMStartupOperation> operation(const std::string& endpoint) {
    auto made = std::make_shared<KMStartupOperation>(*m_settings, *m_keychain);
    made->setStartupEndpointForTesting(endpoint);
    return made;
  }

  // Runs the fetch on this thread, then lets the main-thread save happen.
  void runOnce(const std::shared_ptr<KMStartupOperation>& fetch) {
    fetch->start();
    for (int i = 0; i < 3; ++i) RunLoop::main().runPending();
  }

  std::optional<std::string> storedDeviceId() const {
    return KLDeviceIdentifier(std::string("K4LUM0D15K."), *m_keychain).deviceID();
  }

  TemporaryDirectory m_folder;
  std::unique_ptr<KMSettings> m_settings;
  std::unique_ptr<Keychain> m_keychain;
};

std::string queryOf(const std::string& target) {
  auto mark = target.find('?');
  return mark == std::string::npos ? "" : target.substr(mark + 1);
}

TEST_F(KMStartupOperationTest, FirstLaunchStoresTheIdentifiersAndTheNextReportCarriesThem) {
  ServiceProcess service;
  ASSERT_TRUE(service.start()) << service.lastError();
  const std::string endpoint = service.endpoints().httpBaseURL + "/disk/startup";
  ASSERT_FALSE(m_settings->UUID().has_value());

  runOnce(operation(endpoint));
  auto uuid = m_settings->UUID();
  ASSERT_TRUE(uuid && !uuid->empty());
  auto deviceId = storedDeviceId();
  ASSERT_TRUE(deviceId && !deviceId->empty());
  EXPECT_EQ(startUpEvents(), 1u);
  EXPECT_TRUE(KMAnalytics::sharedInstance().isStarted());

  // The report that carries the identifiers, and its answer, logged at every level.
  auto lines = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(50);
  auto unit = logger("KMStartupOperation");
  const auto level = unit->level();
  unit->set_level(spdlog::level::trace);
  unit->sinks().push_back(lines);
  runOnce(operation(endpoint));
  std::vector<std::string> queries;
  for (auto& served : service.faults().servedRequests())
    if (served.target.starts_with("/disk/startup")) queries.push_back(queryOf(served.target));
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0].find("uuid="), std::string::npos);
  EXPECT_NE(queries[1].find("uuid=" + *uuid), std::string::npos);
  EXPECT_NE(queries[1].find("deviceid=" + *deviceId), std::string::npos);
  // The service keeps the device by its UDID: the second answer agrees.
  EXPECT_EQ(m_settings->UUID(), uuid);

  unit->sinks().pop_back();
  unit->set_level(level);
  const auto logged = lines->last_formatted();
  EXPECT_THAT(logged, testing::Contains(testing::HasSubstr("installation identifier received")));
  for (const auto& line : logged) {
    for (const auto& identifier : {*uuid, *deviceId, m_settings->UDID()})
      EXPECT_EQ(line.find(identifier), std::string::npos) << "an identifier reached the log: " << line;
  }
}

TEST_F(KMStartupOperationTest, ParametersAreSentInOrderAndEscaped) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    return ScriptedReply::make(200, "OK", "<startup/>");
  });
  m_settings->setUUID(std::string("a b&c"));
  runOnce(operation(server.url("/disk/startup")));
  ASSERT_EQ(server.requestCount(), 1u);
  auto request = server.requests()[0];
  EXPECT_EQ(request.method, "GET");
  const std::string query = queryOf(request.target);
  EXPECT_TRUE(query.starts_with("app_platform=iphone&manufacturer=Apple&model=")) << query;
  EXPECT_NE(query.find("&app_version=120&os_version=Linux%20"), std::string::npos) << query;
  EXPECT_NE(query.find("&UDID=" + m_settings->UDID()), std::string::npos) << query;
  EXPECT_NE(query.find("&uuid=a%20b%26c&deviceid="), std::string::npos) << query;
}

TEST_F(KMStartupOperationTest, AnswerWithoutIdentifiersChangesNothingButStartsAnalytics) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    return ScriptedReply::make(200, "OK", "<?xml version=\"1.0\"?><startup><other>1</other></startup>");
  });
  runOnce(operation(server.url("/disk/startup")));
  EXPECT_FALSE(m_settings->UUID().has_value());
  EXPECT_FALSE(storedDeviceId().has_value());
  EXPECT_EQ(startUpEvents(), 1u);
}

TEST_F(KMStartupOperationTest, RedirectIsFollowedAndANamespacedAnswerStillCounts) {
  ScriptedHTTPServer server([](const RecordedRequest& request) {
    if (request.target.starts_with("/disk/startup?"))
      return ScriptedReply::make(301, "Moved Permanently", "", {{"Location", "/moved/startup"}});
    return ScriptedReply::make(200, "OK",
                               "<?xml version=\"1.0\"?><startup xmlns=\"urn:kalumo:startup\">"
                               "<uuid>u-1</uuid><deviceid>d-1</deviceid></startup>");
  });
  runOnce(operation(server.url("/disk/startup")));
  ASSERT_EQ(server.requestCount(), 2u);
  EXPECT_EQ(server.requests()[1].target, "/moved/startup");
  EXPECT_EQ(m_settings->UUID(), std::optional<std::string>("u-1"));
  EXPECT_EQ(storedDeviceId(), std::optional<std::string>("d-1"));
}

TEST_F(KMStartupOperationTest, AnswerThatIsNotXMLStoresNothingAndStartsNothing) {
  for (const std::string body : {"uuid=1234", "<startup><uuid>1</uuid>", "<!DOCTYPE x [<!ENTITY e \"1\">]><x><uuid>&e;</uuid></x>"}) {
    SCOPED_TRACE(body);
    ScriptedHTTPServer server([&](const RecordedRequest&) { return ScriptedReply::make(200, "OK", body); });
    auto fetch = operation(server.url("/disk/startup"));
    runOnce(fetch);
    EXPECT_FALSE(m_settings->UUID().has_value());
    EXPECT_EQ(startUpEvents(), 0u);
    EXPECT_EQ(fetch->attemptCount(), 1);  // not a failure: no retry
  }
}

TEST_F(KMStartupOperationTest, StatusOtherThan200FailsEvenWithABodyAndIsRetriedTwiceASecondApart) {
  VirtualClock clock;
  ScriptedHTTPServer server([](const RecordedRequest&) {
    return ScriptedReply::make(500, "Internal Server Error", "<startup><uuid>u</uuid></startup>");
  });
  auto fetch = operation(server.url("/disk/startup"));
  runOnce(fetch);
  EXPECT_EQ(server.requestCount(), 1u);
  clock.advance(0.9);
  EXPECT_EQ(server.requestCount(), 1u);
  clock.advance(0.1);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return fetch->attemptCount() == 2; }, 20));
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.requestCount() == 2u; }, 20));
  // The retry's own retry is scheduled once its request has failed.
  ASSERT_TRUE(RunLoop::main().runUntil([&] {
    clock.advance(1.0);
    return fetch->attemptCount() == 3;
  }, 20));
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.requestCount() == 3u; }, 20));
  for (int i = 0; i < 5; ++i) clock.advance(1.0);
  RunLoop::main().runUntil([] { return false; }, 0.3);
  EXPECT_EQ(server.requestCount(), 3u);
  EXPECT_FALSE(m_settings->UUID().has_value());
  EXPECT_EQ(startUpEvents(), 0u);
}

TEST(KMStartupOperationURL, ParametersJoinTheBaseWithEscapedValues) {
  auto url = KMStartupOperation::urlWithBaseURLStringAndGETParameters(
      "http://h/disk/startup", {{"a", "1 2"}, {"b", "é&="}});
  ASSERT_TRUE(url);
  EXPECT_EQ(url->absoluteString(), "http://h/disk/startup?a=1%202&b=%C3%A9%26%3D");
  auto extended = KMStartupOperation::urlWithBaseURLStringAndGETParameters("http://h/s?x=1", {{"y", "2"}});
  EXPECT_EQ(extended->absoluteString(), "http://h/s?x=1&y=2");
}

}  // namespace
}  // namespace kdisk::test
