#include "foundation/KLDevice.h"

#include <gtest/gtest.h>

namespace kdisk {
namespace {

constexpr auto Ascending = KLComparisonResult::OrderedAscending;
constexpr auto Same = KLComparisonResult::OrderedSame;
constexpr auto Descending = KLComparisonResult::OrderedDescending;

TEST(KLDeviceTests, AnAddedZeroComponentComparesEqual) {
  EXPECT_EQ(KLDevice::compareVersionWithVersion("1.2", "1.2.0"), Same);
  EXPECT_EQ(KLDevice::compareVersionWithVersion("1.2.0.0", "1.2"), Same);
  EXPECT_EQ(KLDevice::compareVersionWithVersion("1.02", "1.2"), Same);
}

TEST(KLDeviceTests, ComponentsCompareAsNumbers) {
  EXPECT_EQ(KLDevice::compareVersionWithVersion("1.10", "1.9"), Descending);
  EXPECT_EQ(KLDevice::compareVersionWithVersion("1.9", "1.10"), Ascending);
  EXPECT_EQ(KLDevice::compareVersionWithVersion("2", "10"), Ascending);
  EXPECT_EQ(KLDevice::compareVersionWithVersion("1.2.1", "1.2"), Descending);
  EXPECT_EQ(KLDevice::compareVersionWithVersion("1.2", "1.2.1"), Ascending);
}

TEST(KLDeviceTests, TheFirstDifferenceDecides) {
  EXPECT_EQ(KLDevice::compareVersionWithVersion("2.0", "1.99.99"), Descending);
  EXPECT_EQ(KLDevice::compareVersionWithVersion("1.0b2", "1.0b10"), Ascending);
}

TEST(KLDeviceTests, TheRunningSystemIsNewerThanZeroAndEqualToItself) {
  const std::string version = KLDevice::systemVersion();
  EXPECT_FALSE(version.empty());
  EXPECT_EQ(KLDevice::compareSystemWithVersion(version), Same);
  EXPECT_TRUE(KLDevice::systemVersionIsNewerOrEqualTo("0.1"));
  EXPECT_TRUE(KLDevice::systemVersionIsNewerOrEqualTo(version));
  EXPECT_FALSE(KLDevice::systemVersionIsNewerOrEqualTo(version + ".1"));
}

TEST(KLDeviceTests, HardwarePlatformIsTheMachineName) {
  const std::string platform = KLDevice::hardwarePlatform();
  EXPECT_FALSE(platform.empty());
  EXPECT_LE(platform.size(), 32u);
  EXPECT_FALSE(KLDevice::deviceGenerationIsOld());
}

TEST(KLDeviceTests, ARetinaDisplayIsOneOfScaleTwoExactly) {
  const double saved = KLDevice::mainScreenScale();
  KLDevice::setMainScreenScale(2.0);
  EXPECT_TRUE(KLDevice::hasRetinaDisplay());
  KLDevice::setMainScreenScale(3.0);
  EXPECT_FALSE(KLDevice::hasRetinaDisplay());
  KLDevice::setMainScreenScale(saved);
}

}  // namespace
}  // namespace kdisk
