#include "service/FormFields.h"
#include "service/WebPath.h"

#include <gtest/gtest.h>

using kdisk::service::FormFields;
using kdisk::service::WebPath;

TEST(WebPath, DecodesSegmentsAndKeepsTheTrailingSlash) {
  auto path = WebPath::parse("/disk/My%20Files/%D0%9C%D0%BE%D1%80%D0%B5/");
  ASSERT_TRUE(path);
  EXPECT_EQ(path->segments(), (std::vector<std::string>{"disk", "My Files", "Море"}));
  EXPECT_TRUE(path->trailingSlash());
}

TEST(WebPath, RefusesEveryWayOutOfTheDataFolder) {
  for (const char* bad : {"/disk/../etc/passwd", "/disk/%2e%2e/secret", "/disk/a/./b",
                          "/disk/a%2Fb", "/disk/a%00b", "/disk//a", "disk/a", "",
                          "/disk/a%5Cb", "/disk/%", "/disk/%zz", "/disk/a%0Ab"}) {
    EXPECT_FALSE(WebPath::parse(bad)) << bad;
  }
}

TEST(WebPath, StaysBelowTheRootItIsJoinedTo) {
  auto path = WebPath::parse("/disk/a/b.txt")->below("disk");
  ASSERT_TRUE(path);
  EXPECT_EQ(path->under("/data/disks/1"), std::filesystem::path("/data/disks/1/a/b.txt"));
  EXPECT_FALSE(WebPath::parse("/other/a")->below("disk"));
}

TEST(WebPath, HrefsArePercentEncodedAndFoldersEndInASlash) {
  auto path = WebPath::parse("/disk/My%20Files/Отчёт.txt")->below("disk");
  ASSERT_TRUE(path);
  EXPECT_EQ(path->href("disk", false), "/disk/My%20Files/%D0%9E%D1%82%D1%87%D1%91%D1%82.txt");
  EXPECT_EQ(path->parent()->href("disk", true), "/disk/My%20Files/");
  EXPECT_EQ(WebPath::parse("/disk")->below("disk")->href("disk", true), "/disk/");
}

TEST(FormFields, DecodesPlusAndEscapesAndFlagsWithoutValue) {
  auto form = FormFields::parse("username=a%26b%3D%2B&password=x+y&preview&size=120");
  ASSERT_TRUE(form);
  EXPECT_EQ(form->valueOr("username", ""), "a&b=+");
  EXPECT_EQ(form->valueOr("password", ""), "x y");
  EXPECT_TRUE(form->has("preview"));
  EXPECT_EQ(form->valueOr("size", ""), "120");
  EXPECT_FALSE(form->has("publish"));
}

TEST(FormFields, ABrokenEscapeMakesTheWholeFormInvalid) {
  EXPECT_FALSE(FormFields::parse("a=%4"));
  EXPECT_FALSE(FormFields::parse("a=%G1"));
}
