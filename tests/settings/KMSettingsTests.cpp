#include "settings/KMSettings.h"

#include <thread>

#include <gtest/gtest.h>

#include "platform/PropertyList.h"
#include "platform/RunLoop.h"
#include "support/TemporaryDirectory.h"

namespace kdisk {
namespace {

// 36 characters: upper-case hexadecimal in groups of 8-4-4-4-12.
bool isUpperCaseUUID(const std::string& text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    const char c = text[i];
    if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

class KMSettingsTests : public ::testing::Test {
 protected:
  void SetUp() override {
    m_wasVirtual = RunLoop::main().usesVirtualClock();
    RunLoop::main().useVirtualClockForTesting(true);
  }
  void TearDown() override {
    m_settings.reset();
    RunLoop::main().runPending();
    RunLoop::main().useVirtualClockForTesting(m_wasVirtual);
  }

  std::string preferencesPath() const { return m_folder.file("config/preferences.plist"); }
  // A fresh process's view: new defaults and settings over the same file.
  KMSettings& restart(const Bundle* bundle = &Bundle::mainBundle()) {
    m_settings.reset();
    m_defaults = std::make_shared<UserDefaults>(preferencesPath());
    m_settings = KMSettings::createForTesting(m_defaults, bundle);
    return *m_settings;
  }
  // Lets the main run loop take its next turn.
  void nextTurn() {
    RunLoop::main().runPending();
    RunLoop::main().advance(0);
  }
  Dictionary fileContents() const {
    Expected<Dictionary> stored = PropertyList::readDictionaryFile(preferencesPath());
    return stored.hasValue() ? stored.value() : Dictionary{};
  }

  test::TemporaryDirectory m_folder;
  std::shared_ptr<UserDefaults> m_defaults;
  std::unique_ptr<KMSettings> m_settings;
  bool m_wasVirtual = false;
};

TEST_F(KMSettingsTests, EveryPropertyHasItsDefaultWhenAbsent) {
  KMSettings& settings = restart();
  EXPECT_EQ(settings.login(), std::nullopt);
  EXPECT_EQ(settings.username(), std::nullopt);
  EXPECT_EQ(settings.token(), std::nullopt);
  EXPECT_FALSE(settings.wasSuccessfullyAuthorized());
  EXPECT_EQ(settings.UUID(), std::nullopt);
  EXPECT_EQ(settings.launchCount(), 0u);
  EXPECT_FALSE(settings.hasShowedDiskWizard());
  EXPECT_EQ(settings.maxFileSize(), 0);
  EXPECT_EQ(settings.quotaAvailableBytes(), 0);
  EXPECT_EQ(settings.quotaUsedBytes(), 0);
  EXPECT_FALSE(settings.logVerbose());
  EXPECT_FALSE(settings.testWebDavServer());
}

TEST_F(KMSettingsTests, WithoutTheDefaultPreferencesResourceTheBuiltInDefaultsApply) {
  test::TemporaryDirectory emptyBundle;
  Bundle bundle(emptyBundle.path());
  KMSettings& settings = restart(&bundle);
  EXPECT_EQ(settings.launchCount(), 0u);
  EXPECT_FALSE(settings.wasSuccessfullyAuthorized());
}

TEST_F(KMSettingsTests, ValuesAreStoredUnderTheirKeys) {
  KMSettings& settings = restart();
  settings.setLogin("ann@example.org");
  settings.setToken("t0ken");
  settings.setWasSuccessfullyAuthorized(true);
  settings.setUUID("uuid-1");
  settings.setLaunchCount(7);
  settings.setHasShowedDiskWizard(true);
  settings.setMaxFileSize(std::int64_t{10} << 30);
  settings.setQuotaAvailableBytes(std::int64_t{5} << 40);
  settings.setQuotaUsedBytes(123);
  settings.setLogVerbose(true);
  settings.setTestWebDavServer(true);
  nextTurn();
  const Dictionary stored = fileContents();
  EXPECT_EQ(stringForKey(stored, "kKMSettingsUserLogin"), "ann@example.org");
  EXPECT_EQ(stringForKey(stored, "kKMSettingsUserToken"), "t0ken");
  EXPECT_EQ(stored.at("kKMSettingsWasSuccessfullyAuthorized"), Value(true));
  EXPECT_EQ(stringForKey(stored, "kKMSettingsUUID"), "uuid-1");
  EXPECT_EQ(stored.at("kKMSettingsLaunchCount"), Value(7));
  EXPECT_EQ(stored.at("kKMSettingsHasShowedDiskSWizard"), Value(true));
  EXPECT_EQ(stored.at("kKMSettingsMaxFileSize"), Value(std::int64_t{10} << 30));
  EXPECT_EQ(stored.at("kKMSettingsQuotaAvailableBytes"), Value(std::int64_t{5} << 40));
  EXPECT_EQ(stored.at("kKMSettingsQuotaUsedBytes"), Value(123));
  EXPECT_EQ(stored.at("kKMSettingsLogVerbose"), Value(true));
  EXPECT_EQ(stored.at("kKMSettingsTestWebDavServer"), Value(true));

  KMSettings& reopened = restart();
  EXPECT_EQ(reopened.quotaAvailableBytes(), std::int64_t{5} << 40);
  EXPECT_EQ(reopened.launchCount(), 7u);
  EXPECT_EQ(reopened.login(), "ann@example.org");
}

TEST_F(KMSettingsTests, TwoSettersInOneTurnCauseOneWriteOutOnTheNextTurn) {
  KMSettings& settings = restart();
  const int before = m_defaults->writeCountForTesting();
  settings.setLogin("ann");
  settings.setToken("t");
  EXPECT_EQ(m_defaults->writeCountForTesting(), before) << "the write-out waits for the next turn";
  nextTurn();
  EXPECT_EQ(settings.writeOutCountForTesting(), 1);
  EXPECT_EQ(m_defaults->writeCountForTesting(), before + 1);
  EXPECT_EQ(stringForKey(fileContents(), "kKMSettingsUserLogin"), "ann");
  EXPECT_EQ(stringForKey(fileContents(), "kKMSettingsUserToken"), "t");
  RunLoop::main().advance(1);
  EXPECT_EQ(m_defaults->writeCountForTesting(), before + 1);

  settings.setLaunchCount(2);
  nextTurn();
  EXPECT_EQ(settings.writeOutCountForTesting(), 2);
  EXPECT_EQ(m_defaults->writeCountForTesting(), before + 2);
}

TEST_F(KMSettingsTests, SettersOnABackgroundThreadAreWrittenOutOnceOnTheMainLoop) {
  KMSettings& settings = restart();
  const int before = m_defaults->writeCountForTesting();
  std::thread([&] {
    settings.setUUID("from-startup");
    settings.setLaunchCount(3);
  }).join();
  EXPECT_EQ(settings.UUID(), "from-startup");
  nextTurn();
  EXPECT_EQ(settings.writeOutCountForTesting(), 1);
  EXPECT_EQ(m_defaults->writeCountForTesting(), before + 1);
  EXPECT_EQ(stringForKey(fileContents(), "kKMSettingsUUID"), "from-startup");
}

TEST_F(KMSettingsTests, ASettingsObjectGoneBeforeItsWriteOutLeavesNothingBehind) {
  KMSettings& settings = restart();
  settings.setLogin("ann");
  m_settings.reset();
  nextTurn();
  EXPECT_EQ(stringForKey(fileContents(), "kKMSettingsUserLogin"), std::nullopt);
}

TEST_F(KMSettingsTests, UsernameIsTheLoginUpToItsFirstAt) {
  KMSettings& settings = restart();
  settings.setLogin("ann");
  EXPECT_EQ(settings.username(), "ann");
  settings.setLogin("ann@example.org@x");
  EXPECT_EQ(settings.username(), "ann");
  settings.setLogin("@example.org");
  EXPECT_EQ(settings.username(), "");
}

TEST_F(KMSettingsTests, SettingTheTokenToNothingRemovesTheKey) {
  KMSettings& settings = restart();
  settings.setToken("t");
  nextTurn();
  settings.setToken(std::nullopt);
  EXPECT_EQ(settings.token(), std::nullopt);
  nextTurn();
  EXPECT_EQ(find(fileContents(), "kKMSettingsUserToken"), nullptr);
}

TEST_F(KMSettingsTests, UDIDIsAnUpperCaseIdentifierWrittenAtOnceAndStableAcrossLaunches) {
  KMSettings& settings = restart();
  const std::string udid = settings.UDID();
  EXPECT_TRUE(isUpperCaseUUID(udid)) << udid;
  EXPECT_EQ(settings.UDID(), udid);
  // Written without waiting for a run-loop turn.
  EXPECT_EQ(stringForKey(fileContents(), "kKMSettingsUDID"), udid);
  EXPECT_EQ(restart().UDID(), udid);
}

TEST_F(KMSettingsTests, AnEmptyStoredUDIDIsReplaced) {
  KMSettings& settings = restart();
  m_defaults->setStringForKey("", kKMSettingsUDID);
  const std::string udid = settings.UDID();
  EXPECT_EQ(udid.size(), 36u);
  EXPECT_EQ(restart().UDID(), udid);
}

TEST_F(KMSettingsTests, SignOutKeepsLoginIdentifiersLaunchCountAndFlags) {
  KMSettings& settings = restart();
  settings.setLogin("ann@example.org");
  settings.setToken("t");
  settings.setWasSuccessfullyAuthorized(true);
  settings.setUUID("uuid-1");
  settings.setLaunchCount(9);
  settings.setHasShowedDiskWizard(true);
  settings.setTestWebDavServer(true);
  settings.setMaxFileSize(1);
  settings.setQuotaAvailableBytes(2);
  settings.setQuotaUsedBytes(3);
  const std::string udid = settings.UDID();

  settings.clearUserRelatedSettingOnLogout();
  nextTurn();
  KMSettings& after = restart();
  EXPECT_EQ(after.token(), std::nullopt);
  EXPECT_FALSE(after.wasSuccessfullyAuthorized());
  EXPECT_EQ(after.maxFileSize(), 0);
  EXPECT_EQ(after.quotaAvailableBytes(), 0);
  EXPECT_EQ(after.quotaUsedBytes(), 0);
  EXPECT_EQ(after.login(), "ann@example.org");
  EXPECT_EQ(after.UUID(), "uuid-1");
  EXPECT_EQ(after.UDID(), udid);
  EXPECT_EQ(after.launchCount(), 9u);
  EXPECT_TRUE(after.hasShowedDiskWizard());
  EXPECT_TRUE(after.testWebDavServer());
}

TEST_F(KMSettingsTests, SettersAnnounceTheirPropertyByName) {
  KMSettings& settings = restart();
  std::vector<std::string> heard;
  std::optional<std::string> seenUUID;
  ObserverToken uuid = settings.observeValueForKey("UUID", [&](const std::string& key) {
    heard.push_back(key);
    seenUUID = settings.UUID();  // observers may read the settings again
  });
  ObserverToken verbose = settings.observeValueForKey(
      "logVerbose", [&](const std::string& key) { heard.push_back(key); });
  settings.setUUID("u");
  settings.setLogVerbose(true);
  settings.setLogin("not observed");
  EXPECT_EQ(heard, (std::vector<std::string>{"UUID", "logVerbose"}));
  EXPECT_EQ(seenUUID, "u");
  uuid.reset();
  settings.setUUID("v");
  EXPECT_EQ(heard.size(), 2u);
}

TEST_F(KMSettingsTests, ADamagedPreferencesFileGivesDefaultsAndIsRepairedByTheNextWriteOut) {
  m_folder.write("config/preferences.plist", "garbage <plist><dict>");
  KMSettings& settings = restart();
  EXPECT_EQ(settings.login(), std::nullopt);
  EXPECT_EQ(settings.launchCount(), 0u);
  settings.setLaunchCount(1);
  nextTurn();
  EXPECT_TRUE(PropertyList::readDictionaryFile(preferencesPath()).hasValue());
  EXPECT_EQ(restart().launchCount(), 1u);
}

TEST_F(KMSettingsTests, ConcurrentReadersAndWritersSeeWholeValues) {
  KMSettings& settings = restart();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        settings.setLogin(t % 2 ? "odd@example.org" : "even@example.org");
        const std::optional<std::string> name = settings.username();
        ASSERT_TRUE(name == "odd" || name == "even");
      }
    });
  for (auto& thread : threads) thread.join();
  nextTurn();
  EXPECT_TRUE(stringForKey(fileContents(), "kKMSettingsUserLogin").has_value());
}

TEST_F(KMSettingsTests, ConstantColoursAndTheOrientationRule) {
  EXPECT_EQ(KMSettings::defaultTintColor(), (KMSettingsColor{35, 104, 149, 1.0}));
  EXPECT_EQ(KMSettings::tintColorGrey(), (KMSettingsColor{122, 135, 146, 1.0}));
  EXPECT_EQ(KMSettings::defaultBackgroundColor(), (KMSettingsColor{228, 232, 234, 1.0}));
  EXPECT_STREQ(KMSettings::defaultBackgroundTextureImageName(), "bg");
  EXPECT_TRUE(
      KMSettings::shouldRotateInterfaceToInterfaceOrientation(InterfaceOrientation::Portrait));
  EXPECT_FALSE(KMSettings::shouldRotateInterfaceToInterfaceOrientation(
      InterfaceOrientation::PortraitUpsideDown));
  EXPECT_FALSE(
      KMSettings::shouldRotateInterfaceToInterfaceOrientation(InterfaceOrientation::LandscapeLeft));
  EXPECT_FALSE(KMSettings::shouldRotateInterfaceToInterfaceOrientation(
      InterfaceOrientation::LandscapeRight));
}

}  // namespace
}  // namespace kdisk
