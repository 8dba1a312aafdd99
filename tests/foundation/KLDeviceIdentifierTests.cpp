#include "foundation/KLDeviceIdentifier.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/TemporaryDirectory.h"

namespace kdisk {
namespace {

class KLDeviceIdentifierTests : public ::testing::Test {
 protected:
  test::TemporaryDirectory m_folder;
  std::unique_ptr<Keychain> m_keychain = Keychain::createFileKeychain(m_folder.file("keychain"));
};

TEST_F(KLDeviceIdentifierTests, NothingIsStoredAtFirst) {
  KLDeviceIdentifier identifier("ABC.", *m_keychain);
  EXPECT_EQ(identifier.deviceID(), std::nullopt);
}

TEST_F(KLDeviceIdentifierTests, TheIdentifierIsTheSecretOfTheSharedItem) {
  ASSERT_TRUE(KLDeviceIdentifier("ABC.", *m_keychain).setDeviceID("device-1").hasValue());
  auto item = m_keychain->findGenericPassword("Shared Mobile Device ID",
                                              "ABC.ru.kalumo.mobile.shared-device-id");
  ASSERT_TRUE(item.hasValue());
  ASSERT_TRUE(item.value().has_value());
  EXPECT_EQ(item.value()->secretText(), "device-1");
  EXPECT_EQ(item.value()->account, "");
  EXPECT_EQ(item.value()->label, "");
  EXPECT_EQ(item.value()->description, "");
  // Another instance, as another application of the maker would make it.
  EXPECT_EQ(KLDeviceIdentifier("ABC.", *m_keychain).deviceID(), "device-1");
}

TEST_F(KLDeviceIdentifierTests, AnotherPrefixIsAnotherAccessGroup) {
  ASSERT_TRUE(KLDeviceIdentifier("ABC.", *m_keychain).setDeviceID("device-1").hasValue());
  EXPECT_EQ(KLDeviceIdentifier("XYZ.", *m_keychain).deviceID(), std::nullopt);
  EXPECT_EQ(KLDeviceIdentifier(std::nullopt, *m_keychain).accessGroup(),
            "ru.kalumo.mobile.shared-device-id");
}

TEST_F(KLDeviceIdentifierTests, SettingAgainReplacesTheIdentifierButKeepsTheItemsOtherAttributes) {
  KeychainItem existing;
  existing.service = "Shared Mobile Device ID";
  existing.accessGroup = "ABC.ru.kalumo.mobile.shared-device-id";
  existing.label = "made elsewhere";
  existing.setSecretText("old");
  ASSERT_TRUE(m_keychain->storeGenericPassword(existing).hasValue());
  KLDeviceIdentifier identifier("ABC.", *m_keychain);
  ASSERT_TRUE(identifier.setDeviceID("new").hasValue());
  EXPECT_EQ(identifier.deviceID(), "new");
  EXPECT_EQ(m_keychain->findGenericPassword(existing.service, existing.accessGroup).value()->label,
            "made elsewhere");
}

TEST_F(KLDeviceIdentifierTests, TheFallbackFileIsOwnerOnly) {
  ASSERT_TRUE(KLDeviceIdentifier("ABC.", *m_keychain).setDeviceID("device-1").hasValue());
  struct stat info {};
  ASSERT_EQ(::stat(keychainFilePath(m_folder.file("keychain")).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace kdisk
