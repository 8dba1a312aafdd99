#include "webdav/KMPROPFINDRequest.h"

#include <gtest/gtest.h>

#include "platform/RunLoop.h"
#include "support/ScriptedHTTPServer.h"

namespace {

using kdisk::RunLoop;
using kdisk::test::RecordedRequest;
using kdisk::test::ScriptedHTTPServer;
using kdisk::test::ScriptedReply;

kdisk::URL url(const std::string& text) { return *kdisk::URL::fromString(text); }

std::shared_ptr<KMFileListRequest> listing(const std::string& at) {
  auto request = std::make_shared<KMFileListRequest>(url(at));
  request->setDepth(KMWebDAVDepthOne);
  request->setProps({KMFileListRequest::displayNameProp(), KMPROPFINDRequest::resourceTypeProp(),
                     KMFileListRequest::contentLengthProp(), KMFileListRequest::lastModifiedProp(),
                     KMFileListRequest::eTagProp()});
  return request;
}

std::string multistatus(const std::string& responses) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:multistatus xmlns:D=\"DAV:\">" + responses +
         "</D:multistatus>";
}

TEST(KMPROPFINDRequestTests, ListingBodyIsExactlyTheCompactPropfindTree) {
  EXPECT_EQ(listing("https://h/disk/")->buildHTTPBody(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><D:propfind xmlns:D=\"DAV:\">"
            "<D:prop xmlns:K=\"urn:kalumo:disk:meta\"><D:displayname/><D:resourcetype/>"
            "<D:getcontentlength/><D:getlastmodified/><D:getetag/></D:prop></D:propfind>");
}

TEST(KMPROPFINDRequestTests, MixedNamespacesEmptyListAndForeignNamespace) {
  auto info = std::make_shared<KMAdditionalInfoRequest>(url("https://h/disk/"));
  info->setProps({KMAdditionalInfoRequest::maxFileSizeProp(), KMAdditionalInfoRequest::quotaAvailableBytesProp(),
                  KMAdditionalInfoRequest::quotaUsedBytesProp(), KMProp::propWithNameXmlns("x", {"Z", "urn:z"})});
  EXPECT_EQ(info->buildHTTPBody(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><D:propfind xmlns:D=\"DAV:\">"
            "<D:prop xmlns:K=\"urn:kalumo:disk:meta\"><K:max-file-size/><D:quota-available-bytes/>"
            "<D:quota-used-bytes/><x/></D:prop></D:propfind>");
  auto empty = std::make_shared<KMPROPFINDRequest>(url("https://h/disk/"));
  EXPECT_EQ(empty->buildHTTPBody(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><D:propfind xmlns:D=\"DAV:\">"
            "<D:prop xmlns:K=\"urn:kalumo:disk:meta\"/></D:propfind>");
  EXPECT_EQ(empty->depth(), KMWebDAVDepthInfinity);
}

TEST(KMPROPFINDRequestTests, HrefKeepsEncodingSchemeHostAndPortOfTheRequest) {
  auto onDefaultPort = listing("https://H/disk/");
  auto responses = onDefaultPort->multistatusResponsesForBody(
      multistatus("<D:response><D:href>/disk/My%20Files/</D:href></D:response>"));
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_EQ(responses[0]->URL().absoluteString(), "https://H/disk/My%20Files/");
  EXPECT_EQ(responses[0]->statusCode(), 207u);

  auto onOtherPort = listing("https://127.0.0.1:8443/disk/?q=1");
  responses = onOtherPort->multistatusResponsesForBody(
      multistatus("<D:response><D:href>/disk/a%2Bb</D:href></D:response>"));
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_EQ(responses[0]->URL().absoluteString(), "https://127.0.0.1:8443/disk/a%2Bb");
}

TEST(KMPROPFINDRequestTests, FullURLHrefIsTakenAsItStands) {
  auto request = listing("http://127.0.0.1:8080/disk/");
  auto responses = request->multistatusResponsesForBody(
      multistatus("<D:response><D:href>http://127.0.0.1:8080/disk/x%20y</D:href></D:response>"));
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_EQ(responses[0]->URL().absoluteString(), "http://127.0.0.1:8080/disk/x%20y");
}

TEST(KMPROPFINDRequestTests, PropstatsDecodeAskedPropertiesOnly) {
  auto request = listing("https://h/disk/");
  auto responses = request->multistatusResponsesForBody(multistatus(
      "<D:sync-token>t</D:sync-token>"
      "<D:response><D:href>/disk/f.txt</D:href>"
      "<D:propstat><D:prop><D:displayname/></D:prop><D:status>HTTP/1.1 404 Not Found</D:status></D:propstat>"
      "<D:propstat><D:prop><D:displayname>Файл один</D:displayname><D:resourcetype/>"
      "<K:getetag xmlns:K=\"urn:kalumo:disk:meta\">\"wrong-ns\"</K:getetag>"
      "<D:getcontentlength>12</D:getcontentlength><D:getlastmodified>2020-01-01</D:getlastmodified>"
      "<D:unasked>x</D:unasked></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat>"
      "</D:response>"
      "<D:response><D:propstat/></D:response>"
      "<X:response xmlns:X=\"other\"><X:href>/disk/no</X:href></X:response>"));
  ASSERT_EQ(responses.size(), 1u);  // the href-less and foreign responses are dropped
  const auto& response = *responses[0];
  ASSERT_EQ(response.propstats().size(), 2u);
  EXPECT_EQ(response.propstats()[0]->statusCode(), 404u);
  const kdisk::Dictionary* values = response.successPropValues();
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(*kdisk::find(*values, "DAV:displayname"), kdisk::Value("Файл один"));
  EXPECT_EQ(*kdisk::find(*values, "DAV:resourcetype"), kdisk::Value(0));
  EXPECT_EQ(*kdisk::find(*values, "DAV:getcontentlength"), kdisk::Value(12));
  EXPECT_TRUE(kdisk::find(*values, "DAV:getlastmodified")->isNull());
  EXPECT_EQ(kdisk::find(*values, "DAV:getetag"), nullptr);
  EXPECT_EQ(values->size(), 4u);
}

// Listings read values by name without the map; both must tell the same,
// also where two asked properties share a full name or an element repeats.
TEST(KMPROPFINDRequestTests, ValuesByNameAgreeWithThePropertyMap) {
  auto request = listing("https://h/disk/");
  KMPropList props = request->props();
  props.push_back(KMProp::propWithNameXmlns("x", {"D", "DAV:"}));
  props.push_back(KMLongLongProp::propWithNameXmlns("x", {"E", "DAV"}));
  request->setProps(props);
  auto responses = request->multistatusResponsesForBody(multistatus(
      "<D:response><D:href>/disk/a</D:href><D:propstat><D:prop>"
      "<D:getcontentlength>1</D:getcontentlength><D:getcontentlength>2</D:getcontentlength>"
      "<D:getlastmodified>yesterday</D:getlastmodified><D:x>7</D:x>"
      "</D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>"
      "<D:response><D:href>/disk/b</D:href><D:propstat><D:prop>"
      "<E:x xmlns:E=\"DAV\">8</E:x><D:x>7</D:x><D:displayname>b</D:displayname>"
      "</D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>"));
  ASSERT_EQ(responses.size(), 2u);
  const std::vector<std::pair<std::string, std::optional<kdisk::Value>>> expected[] = {
      {{"DAV:getcontentlength", kdisk::Value(1)}, {"DAV:getlastmodified", kdisk::Value()},
       {"DAV:x", kdisk::Value("7")}, {"DAV:displayname", std::nullopt}},
      {{"DAV:x", kdisk::Value(8)}, {"DAV:displayname", kdisk::Value("b")}, {"DAV:getcontentlength", std::nullopt}},
  };
  for (std::size_t i = 0; i < responses.size(); ++i) {
    const KMPropstatResponse* propstat = responses[i]->successPropstat();
    ASSERT_NE(propstat, nullptr);
    for (const auto& [name, value] : expected[i]) {
      const kdisk::Value* byName = propstat->valueForFullname(name);
      const kdisk::Value* inMap = kdisk::find(propstat->propValues(), name);
      EXPECT_EQ(byName ? std::optional(*byName) : std::nullopt, value) << i << " " << name;
      EXPECT_EQ(inMap ? std::optional(*inMap) : std::nullopt, value) << i << " " << name;
    }
    EXPECT_EQ(propstat->propValues().size(), i == 0 ? 3u : 2u);
  }
}

TEST(KMPROPFINDRequestTests, StatusWithoutTwoPartsKeepsDefaults) {
  auto request = listing("https://h/disk/");
  auto responses = request->multistatusResponsesForBody(multistatus(
      "<D:response><D:href>/disk/</D:href><D:status>garbage</D:status>"
      "<D:propstat><D:status>HTTP/1.1</D:status></D:propstat><D:propstat/></D:response>"));
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_EQ(responses[0]->statusCode(), 207u);
  EXPECT_EQ(responses[0]->propstats()[0]->statusCode(), 0u);
  EXPECT_EQ(responses[0]->successPropValues(), nullptr);
}

TEST(KMPROPFINDRequestTests, BadBodiesGiveEmptyLists) {
  auto request = listing("https://h/disk/");
  const std::string good = multistatus("<D:response><D:href>/disk/a</D:href></D:response>");
  EXPECT_TRUE(request->multistatusResponsesForBody(good.substr(0, good.size() / 2)).empty());
  EXPECT_TRUE(request->multistatusResponsesForBody("\xff\xfe<not xml").empty());
  std::string deep = "<D:multistatus xmlns:D=\"DAV:\">";
  for (int i = 0; i < 3000; ++i) deep += "<D:response>";
  EXPECT_TRUE(request->multistatusResponsesForBody(deep).empty());
}

class KMPROPFINDServerTests : public ::testing::Test {
 protected:
  struct Result {
    std::atomic<int> finished{0}, failed{0}, multistatus{0};
    KMError error;
    KMMultiStatusResponseList responses;
  };
  void start(KMMultistatusRequest& request, Result& result) {
    request.setDidFinishLoadingBlock([&](const std::optional<std::string>&) { ++result.finished; });
    request.setDidFailBlock([&](const KMError& error) {
      result.error = error;
      ++result.failed;
    });
    request.setDidReceiveMultistatusResponsesBlock([&](const KMMultiStatusResponseList& responses) {
      result.responses = responses;
      ++result.multistatus;
    });
    request.start();
  }
};

TEST_F(KMPROPFINDServerTests, SendsMethodDepthAndBodyAndParsesTheAnswer) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    return ScriptedReply::make(207, "Multi-Status",
                               multistatus("<D:response><D:href>/disk/</D:href><D:propstat><D:prop><D:resourcetype>"
                                           "<D:collection/></D:resourcetype></D:prop><D:status>HTTP/1.1 200 OK"
                                           "</D:status></D:propstat></D:response>"));
  });
  auto request = listing(server.url("/disk/"));
  request->setOAuthToken("t");
  Result result;
  start(*request, result);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return result.multistatus > 0; }, 10));
  EXPECT_EQ(result.finished, 1);
  ASSERT_EQ(result.responses.size(), 1u);
  EXPECT_EQ(result.responses[0]->URL().absoluteString(), server.url("/disk/"));
  EXPECT_EQ(*kdisk::find(*result.responses[0]->successPropValues(), "DAV:resourcetype"), kdisk::Value(1));
  auto sent = server.requests().at(0);
  EXPECT_EQ(sent.method, "PROPFIND");
  EXPECT_EQ(sent.header("depth"), "1");
  EXPECT_EQ(sent.body, request->buildHTTPBody());
  EXPECT_EQ(sent.header("Content-Type"), "application/xml; charset=utf-8");
  EXPECT_EQ(sent.header("Authorization"), "OAuth t");
}

TEST_F(KMPROPFINDServerTests, NonMultistatusAnswerFailsWithCodeOne) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ScriptedReply::make(200, "OK", "<x/>"); });
  auto request = listing(server.url("/disk/"));
  Result result;
  start(*request, result);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return result.failed > 0; }, 10));
  EXPECT_TRUE(result.error.is(kKMRequestErrorDomain, 1));
  EXPECT_EQ(server.requests().at(0).header("depth"), "1");
}

TEST_F(KMPROPFINDServerTests, EmptyMultistatusBodyFinishesWithoutMultistatusCall) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ScriptedReply::make(207, "Multi-Status", ""); });
  auto request = listing(server.url("/disk/"));
  Result result;
  start(*request, result);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return result.finished > 0; }, 10));
  RunLoop::main().runUntil([] { return false; }, 0.3);
  EXPECT_EQ(result.multistatus, 0);
  EXPECT_EQ(result.failed, 0);
}

TEST_F(KMPROPFINDServerTests, MalformedMultistatusGivesEmptyList) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    return ScriptedReply::make(207, "Multi-Status", "<D:multistatus xmlns:D=\"DAV:\"><D:response>");
  });
  auto request = listing(server.url("/disk/"));
  request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
  Result result;
  start(*request, result);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return result.multistatus > 0; }, 10));
  EXPECT_TRUE(result.responses.empty());
}

TEST_F(KMPROPFINDServerTests, LargeBodyArrivingInManyChunksDecodesEveryResponseInOrder) {
  std::string responses;
  for (int i = 0; i < 3000; ++i) {
    responses += "<D:response><D:href>/disk/file" + std::to_string(i) +
                 ".txt</D:href><D:propstat><D:prop><D:displayname>file" + std::to_string(i) +
                 "</D:displayname></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>";
  }
  const std::string body = multistatus(responses);
  ASSERT_GT(body.size(), 256u * 1024);  // far more than one transport chunk
  ScriptedHTTPServer server([&](const RecordedRequest&) { return ScriptedReply::make(207, "Multi-Status", body); });
  auto request = listing(server.url("/disk/"));
  request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
  // The decoding needs no kept copy of the body.
  request->setKeepsReceivedData(false);
  Result result;
  start(*request, result);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return result.multistatus > 0; }, 20));
  EXPECT_FALSE(request->receivedData());
  EXPECT_EQ(request->receivedDataLength(), body.size());
  ASSERT_EQ(result.responses.size(), 3000u);
  for (int i : {0, 1, 1500, 2999}) {
    EXPECT_EQ(result.responses[i]->URL().absoluteString(), server.url("/disk/file" + std::to_string(i) + ".txt"));
    EXPECT_EQ(*kdisk::find(*result.responses[i]->successPropValues(), "DAV:displayname"),
              kdisk::Value("file" + std::to_string(i)));
  }
}

TEST_F(KMPROPFINDServerTests, BodyWithADocumentTypeGivesEmptyList) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    return ScriptedReply::make(207, "Multi-Status",
                               "<?xml version=\"1.0\"?><!DOCTYPE D:multistatus [<!ENTITY e \"x\">]>"
                               "<D:multistatus xmlns:D=\"DAV:\"><D:response><D:href>/disk/&e;</D:href>"
                               "</D:response></D:multistatus>");
  });
  auto request = listing(server.url("/disk/"));
  request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
  Result result;
  start(*request, result);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return result.multistatus > 0; }, 10));
  EXPECT_TRUE(result.responses.empty());
}

}  // namespace
