#include "foundation/KLApplicationVersion.h"

#include <gtest/gtest.h>

#include "support/TemporaryDirectory.h"

namespace kdisk {
namespace {

Bundle bundleWith(const test::TemporaryDirectory& folder, const std::string& shortVersion,
                  const std::string& build) {
  folder.write("Info.plist", "<plist><dict><key>CFBundleShortVersionString</key><string>" +
                                 shortVersion + "</string><key>CFBundleVersion</key><string>" +
                                 build + "</string></dict></plist>");
  return Bundle(folder.path());
}

TEST(KLApplicationVersionTests, ShortVersionIsAThreeDigitInteger) {
  test::TemporaryDirectory folder;
  Bundle bundle = bundleWith(folder, "120", "345");
  EXPECT_EQ(appVersionString(bundle), "1.20");
  EXPECT_EQ(buildNumberString(bundle), "0345");
  EXPECT_EQ(fullVersionString(bundle), "1.20.0345");
}

TEST(KLApplicationVersionTests, DottedVersionsAreReadUpToTheFirstNonDigit) {
  test::TemporaryDirectory folder;
  Bundle bundle = bundleWith(folder, "2.5", "123456");
  EXPECT_EQ(appVersionString(bundle), "0.02");
  EXPECT_EQ(buildNumberString(bundle), "3456");
}

TEST(KLApplicationVersionTests, MissingKeysGiveZeros) {
  test::TemporaryDirectory folder;
  folder.write("Info.plist", "<plist><dict/></plist>");
  Bundle bundle(folder.path());
  EXPECT_EQ(fullVersionString(bundle), "0.00.0000");
}

TEST(KLApplicationVersionTests, TheShippedBundleGivesTheReleaseVersion) {
  EXPECT_EQ(fullVersionString(), "1.20.0345");
}

TEST(KLApplicationVersionTests, LeadingIntegerReadsLikeAtoi) {
  EXPECT_EQ(KLLeadingIntegerValue("  42abc"), 42);
  EXPECT_EQ(KLLeadingIntegerValue("-7"), -7);
  EXPECT_EQ(KLLeadingIntegerValue("x1"), 0);
  EXPECT_EQ(KLLeadingIntegerValue(""), 0);
}

}  // namespace
}  // namespace kdisk
