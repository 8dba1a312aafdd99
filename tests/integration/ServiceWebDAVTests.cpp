#include "ServiceFixture.h"

using namespace kdisk::test;

class ServiceWebDAV : public ServiceTest {};

TEST_F(ServiceWebDAV, ListingShowsEachResourceWithItsProperties) {
  ASSERT_EQ(dav("MKCOL", "/disk/My%20Files/").status, 201);
  ASSERT_EQ(put("/disk/My%20Files/%D0%9C%D0%BE%D1%80%D0%B5.txt", "twelve bytes").status, 201);
  auto reply = propfind("/disk/My%20Files", "1");
  ASSERT_EQ(reply.status, 207) << reply.body;
  EXPECT_NE(reply.body.find("<d:href>/disk/My%20Files/</d:href>"), std::string::npos);
  EXPECT_NE(reply.body.find("<d:href>/disk/My%20Files/%D0%9C%D0%BE%D1%80%D0%B5.txt</d:href>"),
            std::string::npos);
  EXPECT_NE(reply.body.find("<d:displayname>Море.txt</d:displayname>"), std::string::npos);
  EXPECT_NE(reply.body.find("<d:getcontentlength>12</d:getcontentlength>"), std::string::npos);
  EXPECT_NE(reply.body.find("GMT</d:getlastmodified>"), std::string::npos);
  EXPECT_NE(reply.body.find("<d:getetag>&quot;"), std::string::npos);
  EXPECT_NE(reply.body.find("<d:collection/>"), std::string::npos);
}

TEST_F(ServiceWebDAV, DepthZeroOnTheRootGivesQuotaAndMaximumFileSize) {
  ASSERT_EQ(put("/disk/a.bin", std::string(1000, 'a')).status, 201);
  auto reply = dav("PROPFIND", "/disk/",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?><D:propfind xmlns:D=\"DAV:\"><D:prop "
                   "xmlns:K=\"urn:kalumo:disk:meta\"><K:max-file-size/><D:quota-available-bytes/>"
                   "<D:quota-used-bytes/></D:prop></D:propfind>",
                   {"Depth: 0"});
  ASSERT_EQ(reply.status, 207);
  EXPECT_NE(reply.body.find("<d:quota-used-bytes>1000</d:quota-used-bytes>"), std::string::npos);
  EXPECT_NE(reply.body.find("<k:max-file-size>"), std::string::npos);
  EXPECT_EQ(reply.body.find("<d:href>/disk/a.bin</d:href>"), std::string::npos);
}

TEST_F(ServiceWebDAV, DepthInfinityIsRefusedAndBadBodiesAreBadRequests) {
  EXPECT_EQ(propfind("/disk/", "infinity").status, 403);
  EXPECT_EQ(dav("PROPFIND", "/disk/", "<D:propfind xmlns:D=\"DAV:\"><D:prop>", {"Depth: 1"}).status, 400);
  EXPECT_EQ(dav("PROPFIND", "/disk/", "not xml at all", {"Depth: 1"}).status, 400);
  EXPECT_EQ(propfind("/disk/missing/", "1").status, 404);
}

TEST_F(ServiceWebDAV, TheEntityTagChangesWhenTheContentDoes) {
  ASSERT_EQ(put("/disk/note.txt", "first").status, 201);
  auto first = dav("GET", "/disk/note.txt");
  ASSERT_EQ(put("/disk/note.txt", "second").status, 204);
  auto second = dav("GET", "/disk/note.txt");
  EXPECT_EQ(second.body, "second");
  ASSERT_TRUE(first.header("ETag") && second.header("ETag"));
  EXPECT_NE(*first.header("ETag"), *second.header("ETag"));
  EXPECT_EQ(second.header("ETag")->front(), '"');
  EXPECT_TRUE(second.header("Last-Modified"));
  EXPECT_EQ(second.header("Content-Length"), "6");
}

TEST_F(ServiceWebDAV, GetServesByteRanges) {
  ASSERT_EQ(put("/disk/digits.txt", "0123456789").status, 201);
  auto middle = dav("GET", "/disk/digits.txt", std::nullopt, {"Range: bytes=2-5"});
  EXPECT_EQ(middle.status, 206);
  EXPECT_EQ(middle.body, "2345");
  EXPECT_EQ(middle.header("Content-Range"), "bytes 2-5/10");
  EXPECT_EQ(dav("GET", "/disk/digits.txt", std::nullopt, {"Range: bytes=-3"}).body, "789");
  EXPECT_EQ(dav("GET", "/disk/digits.txt", std::nullopt, {"Range: bytes=7-"}).body, "789");
  EXPECT_EQ(dav("GET", "/disk/digits.txt", std::nullopt, {"Range: bytes=20-"}).status, 416);
}

TEST_F(ServiceWebDAV, PutAnswersByOutcome) {
  EXPECT_EQ(put("/disk/new.txt", "x").status, 201);
  EXPECT_EQ(put("/disk/new.txt", "y").status, 204);
  EXPECT_EQ(put("/disk/no/such/folder.txt", "x").status, 409);
  EXPECT_EQ(fileContent(aliceRoot() / "new.txt"), "y");
}

class ServiceWebDAVWithLimits : public ServiceTest {
  ServiceOptions options() override {
    ServiceOptions options;
    options.quotaBytes = 10000;
    options.maxFileSizeBytes = 4000;
    return options;
  }
};

TEST_F(ServiceWebDAVWithLimits, TooLargeFilesAndFullDisksAreRefusedAndLeaveNothing) {
  EXPECT_EQ(put("/disk/big.bin", std::string(4001, 'b')).status, 413);
  EXPECT_FALSE(std::filesystem::exists(aliceRoot() / "big.bin"));
  ASSERT_EQ(put("/disk/one.bin", std::string(4000, '1')).status, 201);
  ASSERT_EQ(put("/disk/two.bin", std::string(4000, '2')).status, 201);
  EXPECT_EQ(put("/disk/three.bin", std::string(4000, '3')).status, 507);
  EXPECT_FALSE(std::filesystem::exists(aliceRoot() / "three.bin"));
  // Replacing a file counts only the difference.
  EXPECT_EQ(put("/disk/two.bin", std::string(3000, '2')).status, 204);
}

TEST_F(ServiceWebDAV, MkcolAndDeleteAnswerByOutcome) {
  EXPECT_EQ(dav("MKCOL", "/disk/Folder/").status, 201);
  EXPECT_EQ(dav("MKCOL", "/disk/Folder/").status, 405);
  EXPECT_EQ(dav("MKCOL", "/disk/Missing/Child/").status, 409);
  ASSERT_EQ(dav("MKCOL", "/disk/Folder/Inner").status, 201);
  ASSERT_EQ(put("/disk/Folder/Inner/file.txt", "x").status, 201);
  EXPECT_EQ(dav("DELETE", "/disk/Folder/").status, 204);
  EXPECT_FALSE(std::filesystem::exists(aliceRoot() / "Folder"));
  EXPECT_EQ(dav("DELETE", "/disk/Folder/").status, 404);
  EXPECT_EQ(dav("DELETE", "/disk/").status, 403);
}

TEST_F(ServiceWebDAV, AFolderAnswersWithAndWithoutItsTrailingSlash) {
  ASSERT_EQ(dav("MKCOL", "/disk/Docs").status, 201);
  EXPECT_EQ(propfind("/disk/Docs", "0").status, 207);
  auto reply = propfind("/disk/Docs/", "0");
  EXPECT_NE(reply.body.find("<d:href>/disk/Docs/</d:href>"), std::string::npos);
}

TEST_F(ServiceWebDAV, PreviewsArePicturesScaledToFit) {
  ServiceProcess demo;
  ServiceOptions options;
  options.seedDemo = true;
  ASSERT_TRUE(demo.start(options)) << demo.lastError();
  auto token = demo.signIn("demo", "demo");
  ASSERT_TRUE(token);
  auto get = [&](const std::string& path) {
    HttpCall call;
    call.url = demo.endpoints().httpsBaseURL + path;
    call.caFile = demo.endpoints().caCertificate;
    call.headers = {"Authorization: OAuth " + *token};
    return perform(call);
  };
  auto preview = get("/disk/Images/Wide%20panorama.jpg?preview&size=100");
  ASSERT_EQ(preview.status, 200);
  EXPECT_EQ(preview.header("Content-Type"), "image/jpeg");
  ASSERT_GT(preview.body.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(preview.body[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(preview.body[1]), 0xD8);
  EXPECT_LT(preview.body.size(), get("/disk/Images/Wide%20panorama.jpg").body.size());
  EXPECT_EQ(get("/disk/Documents/Readme.txt?preview&size=100").status, 415);
  EXPECT_EQ(get("/disk/Images/missing.jpg?preview&size=100").status, 404);
  // The demo tree holds what the demo promises.
  EXPECT_EQ(get("/disk/Documents/Guide.pdf").body.substr(0, 5), "%PDF-");
  EXPECT_EQ(get("/disk/Documents/%D0%9E%D1%82%D1%87%D1%91%D1%82%20%D0%B7%D0%B0%20%D0%BA%D0%B2%D0%B0"
                "%D1%80%D1%82%D0%B0%D0%BB.txt")
                .status,
            200);
}

TEST_F(ServiceWebDAV, PublishingGivesOneStablePublicLinkThatServesAnyone) {
  ASSERT_EQ(put("/disk/share%20me.txt", "public words").status, 201);
  auto first = dav("POST", "/disk/share%20me.txt?publish");
  ASSERT_EQ(first.status, 302);
  auto link = first.header("Location");
  ASSERT_TRUE(link);
  EXPECT_EQ(link->rfind(m_service.endpoints().httpsBaseURL + "/public/", 0), 0u);
  EXPECT_EQ(dav("POST", "/disk/share%20me.txt?publish").header("Location"), link);
  HttpCall anonymous;
  anonymous.url = *link;
  anonymous.caFile = m_service.endpoints().caCertificate;
  auto fetched = perform(anonymous);
  EXPECT_EQ(fetched.status, 200);
  EXPECT_EQ(fetched.body, "public words");
  EXPECT_EQ(dav("POST", "/disk/none.txt?publish").status, 404);
  ASSERT_EQ(dav("DELETE", "/disk/share%20me.txt").status, 204);
  EXPECT_EQ(perform(anonymous).status, 404);
}

TEST_F(ServiceWebDAV, LargeFilesStreamBothWays) {
  auto source = scratchFile("large.bin", 48 << 20);
  auto call = davCall("PUT", "/disk/large.bin");
  call.uploadFile = source;
  call.timeoutMilliseconds = 60000;
  ASSERT_EQ(perform(call).status, 201);
  auto back = source;
  back += ".back";
  auto download = davCall("GET", "/disk/large.bin");
  download.downloadFile = back;
  download.timeoutMilliseconds = 60000;
  ASSERT_EQ(perform(download).status, 200);
  EXPECT_EQ(std::filesystem::file_size(back), std::filesystem::file_size(source));
  EXPECT_TRUE(fileContent(back) == fileContent(source));
}
