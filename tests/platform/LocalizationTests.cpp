#include "platform/Localization.h"

#include <gtest/gtest.h>

#include "support/TemporaryDirectory.h"

namespace kdisk {
namespace {

using test::ScopedEnvironmentVariable;

TEST(LocalizationTests, LocaleNamesLoseEncodingAndModifier) {
  auto locale = parseLocaleName("ru_RU.UTF-8@latin");
  ASSERT_TRUE(locale);
  EXPECT_EQ(locale->language, "ru");
  EXPECT_EQ(locale->country, "RU");
  EXPECT_EQ(parseLocaleName("en")->country, "");
  EXPECT_EQ(parseLocaleName("C"), std::nullopt);
  EXPECT_EQ(parseLocaleName("C.UTF-8"), std::nullopt);
  EXPECT_EQ(parseLocaleName("POSIX"), std::nullopt);
}

TEST(LocalizationTests, LanguageListComesFirstThenTheFirstLocaleVariableSet) {
  ScopedEnvironmentVariable language("LANGUAGE", "uk:de_AT");
  ScopedEnvironmentVariable all("LC_ALL", std::nullopt);
  ScopedEnvironmentVariable messages("LC_MESSAGES", "fr_FR.UTF-8");
  ScopedEnvironmentVariable lang("LANG", "ru_RU.UTF-8");
  std::vector<LocaleName> locales = preferredLocalesFromEnvironment();
  ASSERT_EQ(locales.size(), 3u);
  EXPECT_EQ(locales[0].language, "uk");
  EXPECT_EQ(locales[1].language, "de");
  EXPECT_EQ(locales[1].country, "AT");
  EXPECT_EQ(locales[2].language, "fr");
}

TEST(LocalizationTests, TheCLocaleMeansEnglishAndNoVariableMeansNoLanguage) {
  ScopedEnvironmentVariable language("LANGUAGE", std::nullopt);
  ScopedEnvironmentVariable messages("LC_MESSAGES", std::nullopt);
  ScopedEnvironmentVariable lang("LANG", std::nullopt);
  for (const char* name : {"C.UTF-8", "C", "POSIX"}) {
    ScopedEnvironmentVariable all("LC_ALL", name);
    auto locales = preferredLocalesFromEnvironment();
    ASSERT_EQ(locales.size(), 1u) << name;
    EXPECT_EQ(locales[0].language, "en") << name;
  }
  ScopedEnvironmentVariable all("LC_ALL", std::nullopt);
  EXPECT_TRUE(preferredLocalesFromEnvironment().empty());
}

TEST(LocalizationTests, ATestCanReplaceThePreferredLanguages) {
  setPreferredLocalesForTesting(std::vector<LocaleName>{{"ru", "RU"}, {"en", ""}, {"ru", ""}});
  EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"ru", "en"}));
  setPreferredLocalesForTesting(std::nullopt);
}

}  // namespace
}  // namespace kdisk
