#include "platform/Keychain.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/TemporaryDirectory.h"

namespace kdisk {
namespace {

KeychainItem sampleItem() {
  KeychainItem item;
  item.service = "Shared Mobile Device ID";
  item.accessGroup = "PREFIX.ru.kalumo.mobile.shared-device-id";
  item.account = "account";
  item.label = "label";
  item.description = "description";
  item.setSecretText("device-42");
  return item;
}

class KeychainTests : public ::testing::Test {
 protected:
  std::string directory() const { return m_folder.file("keychain"); }
  test::TemporaryDirectory m_folder;
};

TEST_F(KeychainTests, FileKeychainKeepsEveryAttributeAcrossInstances) {
  ASSERT_TRUE(
      Keychain::createFileKeychain(directory())->storeGenericPassword(sampleItem()).hasValue());
  auto found = Keychain::createFileKeychain(directory())
                   ->findGenericPassword("Shared Mobile Device ID",
                                         "PREFIX.ru.kalumo.mobile.shared-device-id");
  ASSERT_TRUE(found.hasValue());
  ASSERT_TRUE(found.value().has_value());
  EXPECT_EQ(*found.value(), sampleItem());
}

TEST_F(KeychainTests, FileKeychainFileIsOwnerOnly) {
  ASSERT_TRUE(
      Keychain::createFileKeychain(directory())->storeGenericPassword(sampleItem()).hasValue());
  struct stat info {};
  ASSERT_EQ(::stat(keychainFilePath(directory()).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(directory().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 077, 0u);
}

TEST_F(KeychainTests, ItemsAreKeptApartByServiceAndAccessGroup) {
  auto keychain = Keychain::createFileKeychain(directory());
  KeychainItem other = sampleItem();
  other.accessGroup = "OTHER.ru.kalumo.mobile.shared-device-id";
  other.setSecretText("other");
  ASSERT_TRUE(keychain->storeGenericPassword(sampleItem()).hasValue());
  ASSERT_TRUE(keychain->storeGenericPassword(other).hasValue());
  EXPECT_EQ(keychain->findGenericPassword(other.service, other.accessGroup).value()->secretText(),
            "other");
  EXPECT_EQ(
      keychain->findGenericPassword(other.service, sampleItem().accessGroup).value()->secretText(),
      "device-42");
  EXPECT_FALSE(
      keychain->findGenericPassword("Another service", other.accessGroup).value().has_value());
}

TEST_F(KeychainTests, StoringAgainReplacesAndDeletingRemoves) {
  auto keychain = Keychain::createFileKeychain(directory());
  KeychainItem item = sampleItem();
  ASSERT_TRUE(keychain->storeGenericPassword(item).hasValue());
  item.setSecretText("device-43");
  ASSERT_TRUE(keychain->storeGenericPassword(item).hasValue());
  EXPECT_EQ(keychain->findGenericPassword(item.service, item.accessGroup).value()->secretText(),
            "device-43");
  ASSERT_TRUE(keychain->deleteGenericPassword(item.service, item.accessGroup).hasValue());
  EXPECT_FALSE(keychain->findGenericPassword(item.service, item.accessGroup).value().has_value());
}

TEST_F(KeychainTests, ADamagedFileReadsAsEmptyAndIsReplacedOnTheNextStore) {
  m_folder.write("keychain/keychain.plist", "not a property list");
  auto keychain = Keychain::createFileKeychain(directory());
  auto found = keychain->findGenericPassword(sampleItem().service, sampleItem().accessGroup);
  ASSERT_TRUE(found.hasValue());
  EXPECT_FALSE(found.value().has_value());
  ASSERT_TRUE(keychain->storeGenericPassword(sampleItem()).hasValue());
  EXPECT_TRUE(Keychain::createFileKeychain(directory())
                  ->findGenericPassword(sampleItem().service, sampleItem().accessGroup)
                  .value()
                  .has_value());
}

TEST_F(KeychainTests, WithoutASessionBusTheSecretServiceProbeGivesUpAtOnce) {
  test::ScopedEnvironmentVariable bus("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
  test::ScopedEnvironmentVariable runtime("XDG_RUNTIME_DIR", m_folder.path());
  EXPECT_EQ(Keychain::createSecretServiceKeychain(30.0), nullptr);
}

}  // namespace
}  // namespace kdisk
