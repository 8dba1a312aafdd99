#include "webdav/KMProp.h"

#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <string>
#include <thread>

#include "webdav/KMRFC822DateFormatter.h"

namespace {

// Decodes the single child of <D:r> with `prop`.
std::optional<kdisk::Value> decode(const KMProp& prop, const std::string& inner) {
  auto document = KMXMLDocument::parse("<D:r xmlns:D=\"DAV:\" xmlns:K=\"urn:kalumo:disk:meta\">" +
                                       inner + "</D:r>");
  EXPECT_TRUE(document.has_value());
  auto children = document->rootElement().childElements();
  EXPECT_EQ(children.size(), 1u);
  return prop.valueForXMLElement(children.at(0));
}

KMXMLNamespace dav() { return KMWebDAVDefaultDAVXMLNamespace(); }

TEST(KMWebDAVTests, NamespacesAndDepthTexts) {
  EXPECT_EQ(dav(), (KMXMLNamespace{"D", "DAV:"}));
  EXPECT_EQ(KMWebDAVDefaultKalumoXMLNamespace(), (KMXMLNamespace{"K", "urn:kalumo:disk:meta"}));
  EXPECT_EQ(KMWebDAVDepthStringRepresentation(KMWebDAVDepthZero), "0");
  EXPECT_EQ(KMWebDAVDepthStringRepresentation(KMWebDAVDepthOne), "1");
  EXPECT_EQ(KMWebDAVDepthStringRepresentation(KMWebDAVDepthInfinity), "infinity");
  EXPECT_EQ(KMWebDAVDepthStringRepresentation(0), "infinity");
  EXPECT_EQ(KMWebDAVDepthStringRepresentation(7), "infinity");
}

TEST(KMPropTests, FullnameHasExactlyOneColonBetweenURIAndName) {
  EXPECT_EQ(KMProp("getetag", dav()).fullname(), "DAV:getetag");
  EXPECT_EQ(KMProp("max-file-size", KMWebDAVDefaultKalumoXMLNamespace()).fullname(),
            "urn:kalumo:disk:meta:max-file-size");
  EXPECT_EQ(KMProp("x", {"", ""}).fullname(), ":x");
  EXPECT_EQ(KMProp("getetag", dav()).description(), "Prop < DAV:getetag >");
}

TEST(KMPropTests, DescriptorsCompareByFullnameOnly) {
  EXPECT_EQ(KMProp("getetag", dav()), KMLongLongProp("getetag", {"X", "DAV"}));
  EXPECT_FALSE(KMProp("getetag", dav()) == KMProp("getetag", KMWebDAVDefaultKalumoXMLNamespace()));
}

TEST(KMPropTests, FactoryMakesTheReceivingKind) {
  std::shared_ptr<KMProp> prop = KMLongLongProp::propWithNameXmlns("getcontentlength", dav());
  EXPECT_NE(dynamic_cast<KMLongLongProp*>(prop.get()), nullptr);
  EXPECT_EQ(decode(*prop, "<D:getcontentlength>12</D:getcontentlength>"), kdisk::Value(12));
}

TEST(KMPropTests, PlainPropGivesTheTextContent) {
  KMProp prop("displayname", dav());
  EXPECT_EQ(decode(prop, "<D:displayname>Мои файлы &amp; co</D:displayname>"),
            kdisk::Value("Мои файлы & co"));
  EXPECT_EQ(decode(prop, "<D:displayname/>"), kdisk::Value(""));
  EXPECT_EQ(decode(prop, "<D:displayname><![CDATA[a<b]]></D:displayname>"), kdisk::Value("a<b"));
}

TEST(KMPropTests, BoolPropReadsTheFirstSignificantCharacter) {
  KMBoolProp prop("b", dav());
  for (const char* yes : {"Yes", "  y", "true", "T", "1", "9x"}) {
    EXPECT_EQ(decode(prop, std::string("<D:b>") + yes + "</D:b>"), kdisk::Value(true)) << yes;
  }
  for (const char* no : {"No", "false", "0", "", "  ", "-1", "x"}) {
    EXPECT_EQ(decode(prop, std::string("<D:b>") + no + "</D:b>"), kdisk::Value(false)) << no;
  }
}

TEST(KMPropTests, LongLongPropParsesTheDecimalPrefix) {
  EXPECT_EQ(KMParseLongLongPrefix("  42abc"), 42);
  EXPECT_EQ(KMParseLongLongPrefix("-17"), -17);
  EXPECT_EQ(KMParseLongLongPrefix("+5"), 5);
  EXPECT_EQ(KMParseLongLongPrefix("abc"), 0);
  EXPECT_EQ(KMParseLongLongPrefix(""), 0);
  EXPECT_EQ(KMParseLongLongPrefix("- 3"), 0);
  EXPECT_EQ(KMParseLongLongPrefix("10737418240"), 10737418240LL);
}

TEST(KMPropTests, LongLongPropSaturatesAtTheLimits) {
  EXPECT_EQ(KMParseLongLongPrefix("9223372036854775807"), LLONG_MAX);
  EXPECT_EQ(KMParseLongLongPrefix("9223372036854775808"), LLONG_MAX);
  EXPECT_EQ(KMParseLongLongPrefix("99999999999999999999999999"), LLONG_MAX);
  EXPECT_EQ(KMParseLongLongPrefix("-9223372036854775808"), LLONG_MIN);
  EXPECT_EQ(KMParseLongLongPrefix("-9223372036854775809"), LLONG_MIN);
  KMLongLongProp prop("quota-used-bytes", dav());
  EXPECT_EQ(decode(prop, "<D:quota-used-bytes>123456789012345678901</D:quota-used-bytes>"),
            kdisk::Value(LLONG_MAX));
}

TEST(KMPropTests, ResourceTypeLooksOnlyForDAVCollectionChild) {
  KMResourceTypeProp prop("resourcetype", dav());
  EXPECT_EQ(decode(prop, "<D:resourcetype><D:collection/></D:resourcetype>"), kdisk::Value(1));
  EXPECT_EQ(decode(prop, "<D:resourcetype/>"), kdisk::Value(0));
  EXPECT_EQ(decode(prop, "<D:resourcetype>collection</D:resourcetype>"), kdisk::Value(0));
  EXPECT_EQ(decode(prop, "<D:resourcetype><K:collection/></D:resourcetype>"), kdisk::Value(0));
  EXPECT_EQ(decode(prop, "<D:resourcetype><x:collection xmlns:x=\"DAV:\"/></D:resourcetype>"),
            kdisk::Value(1));
}

TEST(KMPropTests, DatePropDecodesRFC1123AndRejectsOtherForms) {
  KMDateRFC822Prop prop("getlastmodified", dav());
  EXPECT_EQ(decode(prop, "<D:getlastmodified>Tue, 15 Nov 1994 12:45:26 GMT</D:getlastmodified>"),
            kdisk::Value(kdisk::Date{784903526}));
  EXPECT_EQ(decode(prop, "<D:getlastmodified>1994-11-15 12:45:26</D:getlastmodified>"), std::nullopt);
  EXPECT_EQ(decode(prop, "<D:getlastmodified/>"), std::nullopt);
}

TEST(KMRFC822DateFormatterTests, ZonesAndMalformedTexts) {
  const auto& formatter = rfc822DateFormatter();
  EXPECT_EQ(formatter.dateFromString("Tue, 15 Nov 1994 12:45:26 UTC")->secondsSince1970, 784903526);
  EXPECT_EQ(formatter.dateFromString("Tue, 15 Nov 1994 07:45:26 EST")->secondsSince1970, 784903526);
  EXPECT_EQ(formatter.dateFromString("Tue, 15 Nov 1994 15:45:26 +0300")->secondsSince1970, 784903526);
  EXPECT_EQ(formatter.dateFromString("Tue, 5 Nov 1994 12:45:26 GMT")->secondsSince1970, 784903526 - 864000);
  EXPECT_FALSE(formatter.dateFromString("Tuesday, 15-Nov-94 12:45:26 GMT"));
  EXPECT_FALSE(formatter.dateFromString("Tue Nov 15 12:45:26 1994"));
  EXPECT_FALSE(formatter.dateFromString("Tue, 15 Foo 1994 12:45:26 GMT"));
  EXPECT_FALSE(formatter.dateFromString("Tue, 15 Nov 1994 12:45:26"));
  EXPECT_FALSE(formatter.dateFromString("Tue, 15 Nov 1994 25:45:26 GMT"));
  EXPECT_FALSE(formatter.dateFromString("Tue, 15 Nov 1994 12:45:26 GMT trailing"));
  EXPECT_FALSE(formatter.dateFromString(""));
  // Names in any case, runs of spaces and white space around; ASCII letters only.
  EXPECT_EQ(formatter.dateFromString("tUE, 15 NOV 1994 12:45:26 gmt")->secondsSince1970, 784903526);
  EXPECT_EQ(formatter.dateFromString("\t Tue,  15   nov 1994  05:45:26 pdt \r\n")->secondsSince1970, 784903526);
  EXPECT_EQ(formatter.dateFromString("Tue, 15 Nov 1994 12:45:26 z")->secondsSince1970, 784903526);
  EXPECT_FALSE(formatter.dateFromString("T\xC3\xBC""e, 15 Nov 1994 12:45:26 GMT"));
  EXPECT_FALSE(formatter.dateFromString("Tue, 15 N\xC3\xB6v 1994 12:45:26 GMT"));
  EXPECT_FALSE(formatter.dateFromString("Tue, 15 Nov 1994 12:45:26 G\xCD""T"));
  EXPECT_FALSE(formatter.dateFromString("Tue, 15 Nov 1994 12:45:26 G@T"));
  EXPECT_FALSE(formatter.dateFromString("Tue, 15 Nov 1994 12:45:26 +2400"));
  EXPECT_FALSE(formatter.dateFromString("Tue,15 Nov 1994 12:45:26 GMT"));
}

TEST(KMRFC822DateFormatterTests, AgreesWithTheCLibraryAcrossCenturiesLeapDaysAndOverflowingDays) {
  const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto& formatter = rfc822DateFormatter();
  for (int year : {1, 1600, 1899, 1900, 1969, 1970, 1999, 2000, 2024, 2100, 2400, 9999}) {
    for (int month = 0; month < 12; ++month) {
      for (int day : {1, 28, 29, 30, 31}) {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month;
        tm.tm_mday = day;
        tm.tm_hour = 23;
        tm.tm_min = 59;
        tm.tm_sec = 60;
        const double expected = static_cast<double>(timegm(&tm));
        // The weekday is checked for form only, so any will do.
        char text[64];
        std::snprintf(text, sizeof text, "Mon, %02d %s %04d 23:59:60 GMT", day, months[month], year);
        auto date = formatter.dateFromString(text);
        ASSERT_TRUE(date) << text;
        EXPECT_EQ(date->secondsSince1970, expected) << text;
      }
    }
  }
}

TEST(KMRFC822DateFormatterTests, SharedInstanceServesManyThreadsAtOnce) {
  const KMRFC822DateFormatter* first = &rfc822DateFormatter();
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      if (&rfc822DateFormatter() != first) ++wrong;
      for (int i = 0; i < 2000; ++i) {
        auto date = rfc822DateFormatter().dateFromString("Tue, 15 Nov 1994 12:45:26 GMT");
        if (!date || date->secondsSince1970 != 784903526) ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
