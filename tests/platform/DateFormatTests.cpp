#include "platform/DateFormat.h"

#include <gtest/gtest.h>

using namespace kdisk;

TEST(DateFormatTests, TheThreeHTTPDateFormsParseToTheSameMoment) {
  const double expected = 784111777;  // 1994-11-06T08:49:37Z
  EXPECT_EQ(parseRFC1123("Sun, 06 Nov 1994 08:49:37 GMT")->secondsSince1970, expected);
  EXPECT_EQ(parseRFC1123("Sunday, 06-Nov-94 08:49:37 GMT")->secondsSince1970, expected);
  EXPECT_EQ(parseRFC1123("Sun Nov  6 08:49:37 1994")->secondsSince1970, expected);
}

TEST(DateFormatTests, PrintsRFC1123InEnglishWhateverTheLocale) {
  EXPECT_EQ(formatRFC1123(Date{784111777}), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(parseRFC1123(formatRFC1123(Date{1700000000}))->secondsSince1970, 1700000000);
}

TEST(DateFormatTests, RejectsDamagedDates) {
  EXPECT_FALSE(parseRFC1123(""));
  EXPECT_FALSE(parseRFC1123("Sun, 06 Nov 1994 08:49:37 GMT trailing"));
  EXPECT_FALSE(parseRFC1123("Sun, 06 Foo 1994 08:49:37 GMT"));
  EXPECT_FALSE(parseRFC1123("Sun, 36 Nov 1994 08:49:37 GMT"));
  EXPECT_FALSE(parseRFC1123("Sun, 06 Nov 1994 25:49:37 GMT"));
  EXPECT_FALSE(parseRFC1123(std::string(500, 'x')));
}

TEST(DateFormatTests, ISO8601WithFractionsAndOffsets) {
  EXPECT_EQ(parseISO8601("1994-11-06T08:49:37Z")->secondsSince1970, 784111777);
  EXPECT_EQ(parseISO8601("1994-11-06T10:49:37+02:00")->secondsSince1970, 784111777);
  EXPECT_DOUBLE_EQ(parseISO8601("1994-11-06T08:49:37.25Z")->secondsSince1970, 784111777.25);
  EXPECT_FALSE(parseISO8601("1994-11-06 08:49:37"));
  // A short offset is refused, not stepped over into the next characters.
  EXPECT_FALSE(parseISO8601("1994-11-06T10:49:37+2:00Z"));
  EXPECT_EQ(formatISO8601(Date{784111777}), "1994-11-06T08:49:37Z");
}
