#include "foundation/KLApplicationEnvironment.h"

#include <gtest/gtest.h>

#include "support/TemporaryDirectory.h"

namespace kdisk {
namespace {

using test::ScopedEnvironmentVariable;
using test::TemporaryDirectory;

constexpr const char* kEnvironments = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>Current Environment</key><string>Release</string>
<key>Release</key><dict>
  <key>AppIdentifierPrefix</key><string>ABC.</string>
  <key>WebDAVRootURL</key><string>https://webdav.example.org/disk/</string>
  <key>OAuthURL</key><string>https://oauth.example.org</string>
</dict>
<key>Local</key><dict>
  <key>WebDAVRootURL</key><string>http://127.0.0.1:8080/disk</string>
  <key>StartupURL</key><string>http://127.0.0.1:8080</string>
</dict>
</dict></plist>)";

class KLApplicationEnvironmentTests : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder.write("Info.plist", "<plist><dict/></plist>");
    m_folder.write("KLApplicationEnvironments.plist", kEnvironments);
  }
  TemporaryDirectory m_folder;
  // Endpoint variables of the machine running the tests must not leak in.
  ScopedEnvironmentVariable m_service{"KDISK_SERVICE_URL", std::nullopt};
  ScopedEnvironmentVariable m_webdav{"KDISK_WEBDAV_ROOT_URL", std::nullopt};
  ScopedEnvironmentVariable m_oauth{"KDISK_OAUTH_URL", std::nullopt};
};

TEST_F(KLApplicationEnvironmentTests, TheCurrentEnvironmentsDictionaryAnswers) {
  Bundle bundle(m_folder.path());
  KLApplicationEnvironment environment = KLApplicationEnvironment::createForTesting(bundle);
  EXPECT_EQ(environment.name(), "Release");
  EXPECT_EQ(environment.stringForKey("AppIdentifierPrefix"), "ABC.");
  EXPECT_EQ(environment.valueForKey("Missing"), std::nullopt);
  EXPECT_EQ(environment.webDAVRootURL().absoluteString(), "https://webdav.example.org/disk/");
  EXPECT_EQ(environment.OAuthURL().absoluteString(), "https://oauth.example.org");
}

TEST_F(KLApplicationEnvironmentTests, ANamedEnvironmentPointsTheClientAtALocalService) {
  Bundle bundle(m_folder.path());
  KLApplicationEnvironment local = KLApplicationEnvironment::createForTesting(bundle, "Local");
  EXPECT_EQ(local.name(), "Local");
  EXPECT_EQ(local.valueForKey("AppIdentifierPrefix"), std::nullopt);
  // The root always ends in a slash, so children append under it.
  EXPECT_EQ(local.webDAVRootURL().absoluteString(), "http://127.0.0.1:8080/disk/");
  EXPECT_EQ(local.startupURL().absoluteString(), "http://127.0.0.1:8080");
  // Endpoints an environment leaves out keep the service's own.
  EXPECT_EQ(local.updateURL().host(), "update.kalumo.ru");
}

TEST_F(KLApplicationEnvironmentTests, EnvironmentVariablesMoveTheEndpoints) {
  Bundle bundle(m_folder.path());
  ScopedEnvironmentVariable service("KDISK_SERVICE_URL", "http://127.0.0.1:54321");
  ScopedEnvironmentVariable oauth("KDISK_OAUTH_URL", "http://127.0.0.1:600/auth");
  KLApplicationEnvironment environment = KLApplicationEnvironment::createForTesting(bundle);
  EXPECT_EQ(environment.webDAVRootURL().absoluteString(), "http://127.0.0.1:54321/disk/");
  EXPECT_EQ(environment.updateURL().absoluteString().rfind("http://127.0.0.1:54321", 0), 0u);
  EXPECT_EQ(environment.OAuthURL().absoluteString(), "http://127.0.0.1:600/auth");
}

using KLApplicationEnvironmentDeathTests = KLApplicationEnvironmentTests;

TEST_F(KLApplicationEnvironmentDeathTests, ABundleWithoutTheResourceStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TemporaryDirectory empty;
  Bundle bundle(empty.path());
  EXPECT_DEATH(KLApplicationEnvironment::createForTesting(bundle),
               "In order to use KLApplicationEnvironment your app bundle must contain "
               "KLApplicationEnvironments.plist file that describes content for different build "
               "configurations");
}

TEST_F(KLApplicationEnvironmentDeathTests,
       AResourceWithoutAUsableCurrentEnvironmentStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* message =
      "Failed to determine current environment by evaluating value of Current Environment key in "
      "KLApplicationEnvironments.plist file";
  m_folder.write(
      "KLApplicationEnvironments.plist",
      "<plist><dict><key>Current Environment</key><string>Nowhere</string></dict></plist>");
  Bundle withUnknownName(m_folder.path());
  EXPECT_DEATH(KLApplicationEnvironment::createForTesting(withUnknownName), message);
  m_folder.write("KLApplicationEnvironments.plist",
                 "<plist><dict><key>Release</key><dict/></dict></plist>");
  Bundle withoutName(m_folder.path());
  EXPECT_DEATH(KLApplicationEnvironment::createForTesting(withoutName), message);
  m_folder.write("KLApplicationEnvironments.plist", "damaged");
  Bundle damaged(m_folder.path());
  EXPECT_DEATH(KLApplicationEnvironment::createForTesting(damaged), message);
}

TEST_F(KLApplicationEnvironmentTests, TheShippedResourceHasAReleaseAndALocalEnvironment) {
  const Bundle& shipped = Bundle::mainBundle();
  EXPECT_EQ(KLApplicationEnvironment::createForTesting(shipped).webDAVRootURL().path(), "/disk/");
  KLApplicationEnvironment local = KLApplicationEnvironment::createForTesting(shipped, "Local");
  EXPECT_EQ(local.webDAVRootURL().host(), "127.0.0.1");
  EXPECT_TRUE(local.stringForKey("AppIdentifierPrefix").has_value());
}

}  // namespace
}  // namespace kdisk
