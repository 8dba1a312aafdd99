#include "service/Propfind.h"

#include <gtest/gtest.h>

using namespace kdisk::service;

namespace {
constexpr const char* kListingBody =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><D:propfind xmlns:D=\"DAV:\"><D:prop "
    "xmlns:K=\"urn:kalumo:disk:meta\"><D:displayname/><D:resourcetype/><D:getcontentlength/>"
    "<D:getlastmodified/><D:getetag/></D:prop></D:propfind>";

ResourceFacts aFile() {
  ResourceFacts facts;
  facts.href = "/disk/a%20b.txt";
  facts.displayName = "a b.txt";
  facts.size = 12;
  facts.lastModified = "Tue, 15 Nov 1994 12:45:26 GMT";
  facts.etag = "\"abc\"";
  return facts;
}
} // namespace

TEST(PropfindQuery, ReadsTheClientsListingBodyInOrder) {
  auto query = PropfindQuery::parse(kListingBody);
  ASSERT_TRUE(query);
  ASSERT_EQ(query->kind, PropfindQuery::Kind::Named);
  ASSERT_EQ(query->names.size(), 5u);
  EXPECT_EQ(query->names[0], (PropertyName{"DAV:", "displayname"}));
  EXPECT_EQ(query->names[4], (PropertyName{"DAV:", "getetag"}));
}

TEST(PropfindQuery, AnEmptyBodyAsksForAllProperties) {
  auto query = PropfindQuery::parse("  \r\n");
  ASSERT_TRUE(query);
  EXPECT_EQ(query->kind, PropfindQuery::Kind::AllProperties);
}

TEST(PropfindQuery, RefusesMalformedForeignAndEntityLadenBodies) {
  EXPECT_FALSE(PropfindQuery::parse("<D:propfind xmlns:D=\"DAV:\"><D:prop>"));
  EXPECT_FALSE(PropfindQuery::parse("<propfind><prop/></propfind>")); // not in DAV:
  EXPECT_FALSE(PropfindQuery::parse(
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;\">]>"
      "<D:propfind xmlns:D=\"DAV:\"><D:prop><D:displayname>&b;</D:displayname></D:prop>"
      "</D:propfind>"));
  EXPECT_FALSE(PropfindQuery::parse(
      "<!DOCTYPE r SYSTEM \"file:///etc/passwd\"><D:propfind xmlns:D=\"DAV:\"/>"));
}

TEST(MultistatusWriter, PutsUnknownPropertiesIntoA404Propstat) {
  auto query = PropfindQuery::parse(
      "<D:propfind xmlns:D=\"DAV:\" xmlns:X=\"urn:x\"><D:prop><D:getetag/><X:colour/>"
      "<D:quota-used-bytes/></D:prop></D:propfind>");
  ASSERT_TRUE(query);
  MultistatusWriter writer(*query);
  writer.add(aFile());
  std::string body = writer.finish();
  auto ok = body.find("HTTP/1.1 200 OK");
  auto missing = body.find("HTTP/1.1 404 Not Found");
  ASSERT_NE(ok, std::string::npos);
  ASSERT_NE(missing, std::string::npos);
  EXPECT_LT(body.find("<d:getetag>&quot;abc&quot;</d:getetag>"), ok);
  EXPECT_GT(body.find("<x:colour xmlns:x=\"urn:x\"/>"), ok);
  EXPECT_GT(body.find("<d:quota-used-bytes/>"), ok);
}

TEST(MultistatusWriter, GivesQuotaAndMaximumFileSizeOnlyWhereKnown) {
  auto query = PropfindQuery::parse(
      "<D:propfind xmlns:D=\"DAV:\"><D:prop xmlns:K=\"urn:kalumo:disk:meta\"><K:max-file-size/>"
      "<D:quota-available-bytes/><D:quota-used-bytes/></D:prop></D:propfind>");
  ASSERT_TRUE(query);
  ResourceFacts root;
  root.href = "/disk/";
  root.collection = true;
  root.quota = ResourceFacts::Quota{1000, 700, 300};
  MultistatusWriter writer(*query);
  writer.add(root);
  std::string body = writer.finish();
  EXPECT_NE(body.find("<k:max-file-size>1000</k:max-file-size>"), std::string::npos);
  EXPECT_NE(body.find("<d:quota-available-bytes>700</d:quota-available-bytes>"), std::string::npos);
  EXPECT_NE(body.find("<d:quota-used-bytes>300</d:quota-used-bytes>"), std::string::npos);
  EXPECT_EQ(body.find("404"), std::string::npos);
}

TEST(MultistatusWriter, FoldersHaveNoLengthOrTagButACollectionType) {
  auto query = PropfindQuery::parse(kListingBody);
  ResourceFacts folder;
  folder.href = "/disk/Docs/";
  folder.displayName = "Docs & more";
  folder.collection = true;
  MultistatusWriter writer(*query);
  writer.add(folder);
  std::string body = writer.finish();
  EXPECT_NE(body.find("<d:resourcetype><d:collection/></d:resourcetype>"), std::string::npos);
  EXPECT_NE(body.find("<d:displayname>Docs &amp; more</d:displayname>"), std::string::npos);
  EXPECT_GT(body.find("<d:getcontentlength/>"), body.find("HTTP/1.1 200 OK"));
}
