#include "platform/Bundle.h"

#include <gtest/gtest.h>

#include "platform/Localization.h"
#include "support/TemporaryDirectory.h"

namespace kdisk {
namespace {

constexpr const char* kInfo = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleShortVersionString</key><string>120</string>
<key>CFBundleVersion</key><integer>345</integer>
</dict></plist>)";

class BundleTests : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder.write("Info.plist", kInfo);
    m_folder.write("en.lproj/Greetings.strings", "\"Hello\" = \"Hello\";\n");
    m_folder.write("ru.lproj/Greetings.strings", "\"Hello\" = \"Привет\";\n");
    m_folder.write("ru.lproj/Localizable.strings", "\"OK\" = \"Хорошо\";\n");
    m_folder.write("ru.lproj/Broken.strings", "\"Hello\" = \"Привет\"\n");
    m_folder.write("images/bg.png", "png");
  }
  void TearDown() override { setPreferredLocalesForTesting(std::nullopt); }
  void useLanguages(std::vector<LocaleName> locales) {
    setPreferredLocalesForTesting(std::move(locales));
  }

  test::TemporaryDirectory m_folder;
};

TEST_F(BundleTests, InfoDictionaryKeysReadAsText) {
  Bundle bundle(m_folder.path());
  EXPECT_EQ(bundle.objectForInfoDictionaryKey("CFBundleShortVersionString"), "120");
  EXPECT_EQ(bundle.objectForInfoDictionaryKey("CFBundleVersion"), "345");
  EXPECT_EQ(bundle.objectForInfoDictionaryKey("Missing"), std::nullopt);
}

TEST_F(BundleTests, ADamagedInfoPlistGivesAnEmptyDictionary) {
  m_folder.write("Info.plist", "<plist><dict>");
  Bundle bundle(m_folder.path());
  EXPECT_TRUE(bundle.infoDictionary().empty());
}

TEST_F(BundleTests, ResourcesAreFoundByNameTypeAndFolder) {
  Bundle bundle(m_folder.path());
  EXPECT_EQ(bundle.pathForResourceOfType("Info", "plist"), m_folder.file("Info.plist"));
  EXPECT_EQ(bundle.pathForResourceOfType("Info.plist", "plist"), m_folder.file("Info.plist"));
  EXPECT_EQ(bundle.pathForResourceOfType("bg", "png", "images"), m_folder.file("images/bg.png"));
  EXPECT_EQ(bundle.pathForResourceOfType("bg", "png"), std::nullopt);
}

TEST_F(BundleTests, LooksUpTheTableOfThePreferredLanguage) {
  Bundle bundle(m_folder.path());
  useLanguages({{"ru", "RU"}});
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Hello", "Здравствуйте", "Greetings"), "Привет");
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("OK", "OK"), "Хорошо");
  useLanguages({{"en", "GB"}});
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Hello", "Здравствуйте", "Greetings"), "Hello");
}

TEST_F(BundleTests, MissingKeysTablesAndLanguagesFallBackToTheBuiltInText) {
  Bundle bundle(m_folder.path());
  useLanguages({{"ru", ""}});
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Absent", "Встроенный", "Greetings"),
            "Встроенный");
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Hello", "Встроенный", "NoSuchTable"),
            "Встроенный");
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("KeyItself", "", "Greetings"), "KeyItself");
  // A language the bundle lacks falls back to the development region, English.
  useLanguages({{"de", "DE"}});
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Hello", "Здравствуйте", "Greetings"), "Hello");
}

TEST_F(BundleTests, ADamagedTableIsIgnoredInFavourOfTheBuiltInText) {
  Bundle bundle(m_folder.path());
  useLanguages({{"ru", ""}});
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Hello", "Встроенный", "Broken"), "Встроенный");
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Hello", "Встроенный", "Broken"), "Встроенный");
}

TEST_F(BundleTests, TheMainBundleIsTheBuildTreesResources) {
  // The test runner points KDISK_RESOURCES_DIR at the copied resources.
  EXPECT_TRUE(Bundle::mainBundle().pathForResourceOfType("Info", "plist").has_value());
  EXPECT_TRUE(Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleVersion").has_value());
}

}  // namespace
}  // namespace kdisk
