#include "platform/UserDefaults.h"

#include <sys/stat.h>

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "support/TemporaryDirectory.h"

namespace kdisk {
namespace {

class UserDefaultsTests : public ::testing::Test {
 protected:
  std::string preferencesPath() const { return m_folder.file("config/preferences.plist"); }
  test::TemporaryDirectory m_folder;
};

TEST_F(UserDefaultsTests, ValuesSurviveARestartThroughTheFile) {
  {
    UserDefaults defaults(preferencesPath());
    defaults.setStringForKey("ann@example.org", "login");
    defaults.setBoolForKey(true, "flag");
    defaults.setIntegerForKey(-(std::int64_t{1} << 40), "big");
    defaults.setDoubleForKey(0.25, "real");
    ASSERT_TRUE(defaults.synchronize());
  }
  UserDefaults reopened(preferencesPath());
  EXPECT_EQ(reopened.stringForKey("login"), "ann@example.org");
  EXPECT_TRUE(reopened.boolForKey("flag"));
  EXPECT_EQ(reopened.integerForKey("big"), -(std::int64_t{1} << 40));
  EXPECT_DOUBLE_EQ(reopened.doubleForKey("real"), 0.25);
}

TEST_F(UserDefaultsTests, TheFileIsWrittenOwnerOnly) {
  UserDefaults defaults(preferencesPath());
  defaults.setStringForKey("secret", "token");
  ASSERT_TRUE(defaults.synchronize());
  struct stat info {};
  ASSERT_EQ(::stat(preferencesPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(UserDefaultsTests, RegisteredDefaultsAnswerForMissingKeysButAreNeverWritten) {
  UserDefaults defaults(preferencesPath());
  defaults.registerDefaults({{"count", Value(7)}});
  EXPECT_EQ(defaults.integerForKey("count"), 7);
  defaults.setIntegerForKey(3, "count");
  EXPECT_EQ(defaults.integerForKey("count"), 3);
  defaults.removeObjectForKey("count");
  EXPECT_EQ(defaults.integerForKey("count"), 7);
  defaults.setBoolForKey(true, "other");
  ASSERT_TRUE(defaults.synchronize());
  Expected<Dictionary> written = PropertyList::readDictionaryFile(preferencesPath());
  ASSERT_TRUE(written.hasValue());
  EXPECT_EQ(find(written.value(), "count"), nullptr);
}

TEST_F(UserDefaultsTests, SettingNothingRemovesTheKey) {
  UserDefaults defaults(preferencesPath());
  defaults.setStringForKey("abc", "token");
  defaults.setStringForKey(std::nullopt, "token");
  EXPECT_EQ(defaults.objectForKey("token"), std::nullopt);
  EXPECT_EQ(defaults.stringForKey("token"), std::nullopt);
}

TEST_F(UserDefaultsTests, ADamagedFileIsIgnoredAndTheNextSaveWritesASoundOne) {
  m_folder.write("config/preferences.plist", "<plist><dict><key>half");
  UserDefaults defaults(preferencesPath());
  EXPECT_EQ(defaults.objectForKey("half"), std::nullopt);
  // Even without a change, the damaged file is replaced.
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_TRUE(PropertyList::readDictionaryFile(preferencesPath()).hasValue());
  defaults.setStringForKey("v", "k");
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_EQ(UserDefaults(preferencesPath()).stringForKey("k"), "v");
}

TEST_F(UserDefaultsTests, AnUnwritableFolderKeepsTheValuesInMemory) {
  // A file where the folder should be: no one, not even root, can write below it.
  m_folder.write("blocked", "a file, not a folder");
  UserDefaults defaults(m_folder.file("blocked/config/preferences.plist"));
  defaults.setStringForKey("kept", "k");
  EXPECT_FALSE(defaults.synchronize());
  EXPECT_FALSE(defaults.synchronize());
  EXPECT_EQ(defaults.stringForKey("k"), "kept");
  EXPECT_EQ(defaults.writeCountForTesting(), 0);
}

TEST_F(UserDefaultsTests, ANonDictionaryFileCountsAsDamaged) {
  m_folder.write("config/preferences.plist", PropertyList::toXML(Value(Array{Value(1)})));
  UserDefaults defaults(preferencesPath());
  EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
}

TEST_F(UserDefaultsTests, SynchronizeWithoutChangesWritesNothing) {
  UserDefaults defaults(preferencesPath());
  defaults.setIntegerForKey(1, "a");
  ASSERT_TRUE(defaults.synchronize());
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_EQ(defaults.writeCountForTesting(), 1);
}

TEST_F(UserDefaultsTests, ConcurrentWritersLoseNoKey) {
  UserDefaults defaults(preferencesPath());
  std::vector<std::thread> writers;
  for (int thread = 0; thread < 4; ++thread)
    writers.emplace_back([&, thread] {
      for (int i = 0; i < 100; ++i) {
        defaults.setIntegerForKey(i, "t" + std::to_string(thread) + "-" + std::to_string(i));
        if (i % 25 == 0) defaults.synchronize();
      }
    });
  for (auto& writer : writers) writer.join();
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_EQ(UserDefaults(preferencesPath()).dictionaryRepresentation().size(), 400u);
}

}  // namespace
}  // namespace kdisk
