#include "foundation/KLApplicationLocale.h"

#include <gtest/gtest.h>

#include "platform/Localization.h"

namespace kdisk {
namespace {

class KLApplicationLocaleTests : public ::testing::Test {
 protected:
  void TearDown() override { setPreferredLocalesForTesting(std::nullopt); }
  void useLanguage(std::string language) {
    setPreferredLocalesForTesting(std::vector<LocaleName>{{std::move(language), ""}});
  }
};

TEST_F(KLApplicationLocaleTests, RussianPluralForms) {
  auto form = [](std::int64_t n) {
    return KLApplicationLocale::pluralFormForNumberInLanguage(n, "ru");
  };
  EXPECT_EQ(form(1), 0);
  EXPECT_EQ(form(21), 0);
  EXPECT_EQ(form(101), 0);
  EXPECT_EQ(form(22), 1);
  EXPECT_EQ(form(4), 1);
  EXPECT_EQ(form(25), 2);
  EXPECT_EQ(form(11), 2);
  EXPECT_EQ(form(12), 2);
  EXPECT_EQ(form(14), 2);
  EXPECT_EQ(form(111), 2);
  EXPECT_EQ(form(0), 2);
  EXPECT_EQ(KLApplicationLocale::pluralFormForNumberInLanguage(22, "ukr"), 1);
}

TEST_F(KLApplicationLocaleTests, OtherLanguagesHaveOneAndMany) {
  auto form = [](std::int64_t n) {
    return KLApplicationLocale::pluralFormForNumberInLanguage(n, "en");
  };
  EXPECT_EQ(form(0), 0);
  EXPECT_EQ(form(1), 0);
  EXPECT_EQ(form(2), 1);
  EXPECT_EQ(form(21), 1);
}

TEST_F(KLApplicationLocaleTests, SizeBoundariesAreStrict) {
  useLanguage("en");
  EXPECT_EQ(LocalizedFileSizeStr(0), "0 bytes");
  EXPECT_EQ(LocalizedFileSizeStr(1), "1 byte");
  EXPECT_EQ(LocalizedFileSizeStr(21), "21 bytes");
  EXPECT_EQ(LocalizedFileSizeStr(900), "900 bytes");
  EXPECT_EQ(LocalizedFileSizeStr(921), "921 bytes");
  EXPECT_EQ(LocalizedFileSizeStr(922), "0.9 KB");
  EXPECT_EQ(LocalizedFileSizeStr(1000), "1.0 KB");
  EXPECT_EQ(LocalizedFileSizeStr(1024), "1.0 KB");
  // 0.9 × 2^20 = 943718.4
  EXPECT_EQ(LocalizedFileSizeStr(943718), "921.6 KB");
  EXPECT_EQ(LocalizedFileSizeStr(943719), "0.9 MB");
  EXPECT_EQ(LocalizedFileSizeStr(1572864), "1.5 MB");
  // 0.9 × 2^30 = 966367641.6
  EXPECT_EQ(LocalizedFileSizeStr(966367641), "921.6 MB");
  EXPECT_EQ(LocalizedFileSizeStr(966367642), "0.9 GB");
  EXPECT_EQ(LocalizedFileSizeStr(5ull << 40), "5120.0 GB");
}

TEST_F(KLApplicationLocaleTests, SizeUnitsComeFromTheStringTables) {
  useLanguage("ru");
  EXPECT_EQ(LocalizedFileSizeStr(921), "921 байт");
  EXPECT_EQ(LocalizedFileSizeStr(22), "22 байта");
  EXPECT_EQ(LocalizedFileSizeStr(12), "12 байт");
  EXPECT_EQ(LocalizedFileSizeStr(0), "0 байт");
  EXPECT_EQ(LocalizedFileSizeStr(1000), "1.0 КБ");
  EXPECT_EQ(KLApplicationLocale::localizedFileSizeStr(2ull << 20), "2.0 МБ");
  EXPECT_EQ(LocalizedFileSizeStr(3ull << 30), "3.0 ГБ");
  useLanguage("en");
  EXPECT_EQ(LocalizedFileSizeStr(22), "22 bytes");
  EXPECT_EQ(LocalizedFileSizeStr(3ull << 30), "3.0 GB");
}

TEST_F(KLApplicationLocaleTests, LocaleIdentifierJoinsLanguageAndCountry) {
  const std::string identifier = KLApplicationLocale::localeIdentifier();
  const std::string language = KLApplicationLocale::applicationLanguage();
  ASSERT_FALSE(language.empty());
  EXPECT_EQ(identifier.rfind(language + "-", 0), 0u) << identifier;
  EXPECT_GE(identifier.size(), language.size() + 3);
  setPreferredLocalesForTesting(std::vector<LocaleName>{{language, ""}});
  EXPECT_EQ(KLApplicationLocale::localeIdentifier(), language + (language == "ru" ? "-RU" : "-US"));
  setPreferredLocalesForTesting(std::vector<LocaleName>{{language, "KZ"}});
  EXPECT_EQ(KLApplicationLocale::localeIdentifier(), language + "-KZ");
}

}  // namespace
}  // namespace kdisk
