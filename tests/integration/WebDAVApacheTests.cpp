// The protocol client against Apache httpd with mod_dav: listing, download,
// upload, MKCOL and DELETE as any ordinary WebDAV server serves them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "platform/RunLoop.h"
#include "support/ApacheProcess.h"
#include "support/TemporaryDirectory.h"
#include "webdav/KMPROPFINDRequest.h"
#include "webdav/KMUploadTransfer.h"

namespace {

using kdisk::RunLoop;

kdisk::URL url(const std::string& text) { return *kdisk::URL::fromString(text); }

std::string readFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class WebDAVApacheTests : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kdisk::test::ApacheProcess::isAvailable()) GTEST_SKIP() << "apache2 is not installed";
    m_apache = std::make_unique<kdisk::test::ApacheProcess>();
    ASSERT_TRUE(m_apache->isRunning()) << m_apache->errorLog();
  }

  KMMultiStatusResponseList list(const std::string& at) {
    auto request = std::make_shared<KMFileListRequest>(url(at));
    request->setDepth(KMWebDAVDepthOne);
    request->setProps({KMFileListRequest::displayNameProp(), KMPROPFINDRequest::resourceTypeProp(),
                       KMFileListRequest::contentLengthProp(), KMFileListRequest::lastModifiedProp(),
                       KMFileListRequest::eTagProp()});
    request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
    std::atomic<bool> done{false};
    KMMultiStatusResponseList result;
    request->setDidReceiveMultistatusResponsesBlock([&](const KMMultiStatusResponseList& responses) {
      result = responses;
      done = true;
    });
    request->setDidFailBlock([&](const KMError& error) {
      ADD_FAILURE() << error.description();
      done = true;
    });
    request->start();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, 15));
    return result;
  }

  std::optional<KMError> runToOutcome(KMRequest& request) {
    std::optional<KMError> failure;
    bool done = false;
    request.setDidFinishLoadingBlock([&](const std::optional<std::string>&) { done = true; });
    request.setDidFailBlock([&](const KMError& error) {
      failure = error;
      done = true;
    });
    request.start();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return done; }, 15));
    return failure;
  }

  std::unique_ptr<kdisk::test::ApacheProcess> m_apache;
  kdisk::test::TemporaryDirectory m_local;
};

TEST_F(WebDAVApacheTests, UploadCreateFolderListDownloadAndDelete) {
  // Upload a file with spaces and Cyrillic letters in its name.
  const std::string source = m_local.file("source.txt");
  std::ofstream(source) << std::string(300000, 'k');
  const std::string remoteName = "%D0%9E%D1%82%D1%87%D1%91%D1%82%201.txt";
  auto upload = std::make_shared<kdisk::webdav::KMUploadTransfer>(url(m_apache->url(remoteName)), source, "tok");
  std::uint64_t lastProgress = 0;
  bool uploaded = false;
  upload->setProgressCallback([&](auto&, std::uint64_t total) { lastProgress = total; });
  upload->setFinishedCallback([&](auto&) { uploaded = true; });
  upload->setFailedCallback([&](auto& failed) {
    ADD_FAILURE() << failed.error()->description();
    uploaded = true;
  });
  upload->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return uploaded; }, 15));
  EXPECT_EQ(upload->responseStatusCode(), 201);
  EXPECT_EQ(lastProgress, 300000u);
  EXPECT_EQ(readFile(m_apache->davRoot() + "/Отчёт 1.txt").size(), 300000u);

  auto mkcol = std::make_shared<KMMKCOLRequest>(url(m_apache->url("New%20folder/")));
  EXPECT_FALSE(runToOutcome(*mkcol));
  auto again = std::make_shared<KMMKCOLRequest>(url(m_apache->url("New%20folder/")));
  auto refused = runToOutcome(*again);  // 405: it exists
  ASSERT_TRUE(refused);
  EXPECT_TRUE(refused->is(kKMRequestErrorDomain, 1));

  auto responses = list(m_apache->url());
  ASSERT_EQ(responses.size(), 3u);
  std::map<std::string, std::shared_ptr<KMMultiStatusResponse>> byURL;
  // Keyed by decoded path: servers choose their own percent-encoding case.
  for (const auto& response : responses) byURL[response->URL().path()] = response;
  EXPECT_EQ(responses[0]->URL().origin(), url(m_apache->url()).origin());
  ASSERT_TRUE(byURL.count("/disk/"));
  ASSERT_TRUE(byURL.count("/disk/New folder/"));
  const auto file = byURL.find("/disk/Отчёт 1.txt");
  ASSERT_NE(file, byURL.end());
  const kdisk::Dictionary* values = file->second->successPropValues();
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(*kdisk::find(*values, "DAV:resourcetype"), kdisk::Value(0));
  EXPECT_EQ(*kdisk::find(*values, "DAV:getcontentlength"), kdisk::Value(300000));
  EXPECT_TRUE(kdisk::find(*values, "DAV:getlastmodified")->is<kdisk::Date>());
  EXPECT_TRUE(kdisk::find(*values, "DAV:getetag")->stringValue());
  EXPECT_EQ(*kdisk::find(*byURL["/disk/New folder/"]->successPropValues(), "DAV:resourcetype"),
            kdisk::Value(1));

  auto download = std::make_shared<KMDiskRequest>(url(m_apache->url(remoteName)));
  download->setFileURL(kdisk::URL::fileURLWithPath(m_local.path() + "/cache/disk/Отчёт 1.txt"));
  EXPECT_FALSE(runToOutcome(*download));
  EXPECT_EQ(readFile(m_local.path() + "/cache/disk/Отчёт 1.txt").size(), 300000u);

  auto remove = std::make_shared<KMDeleteRequest>(url(m_apache->url(remoteName)));
  EXPECT_FALSE(runToOutcome(*remove));
  struct stat info {};
  EXPECT_NE(::stat((m_apache->davRoot() + "/Отчёт 1.txt").c_str(), &info), 0);
  EXPECT_EQ(list(m_apache->url()).size(), 2u);
}

TEST_F(WebDAVApacheTests, FolderWithoutSlashIsRedirectedAndStillListed) {
  auto mkcol = std::make_shared<KMMKCOLRequest>(url(m_apache->url("Music/")));
  ASSERT_FALSE(runToOutcome(*mkcol));
  // mod_dir answers a GET without the slash with 301 and a body; following it
  // re-applies the method, so the listing still arrives.
  auto get = std::make_shared<KMDiskRequest>(url(m_apache->url("Music")));
  std::vector<int> statuses;
  get->setDidReceiveResponseBlock([&](const KMRequest::HTTPResponse& response, bool&) {
    statuses.push_back(response.statusCode);
  });
  (void)runToOutcome(*get);
  auto responses = list(m_apache->url("Music"));
  ASSERT_FALSE(responses.empty());
  // No displayname from this server: the property is absent, nothing crashes.
  const kdisk::Dictionary* values = responses[0]->successPropValues();
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(kdisk::find(*values, "DAV:displayname"), nullptr);
}

TEST_F(WebDAVApacheTests, MissingResourceFailsWithCodeOne) {
  auto request = std::make_shared<KMFileListRequest>(url(m_apache->url("absent/")));
  request->setDepth(KMWebDAVDepthOne);
  auto failure = runToOutcome(*request);
  ASSERT_TRUE(failure);
  EXPECT_TRUE(failure->is(kKMRequestErrorDomain, 1));
}

}  // namespace
