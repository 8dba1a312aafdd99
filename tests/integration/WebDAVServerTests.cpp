// The protocol client against each real server: listing, download, upload,
// MKCOL and DELETE as kdisk-service and Debian's WebDAV servers serve them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>

#include "WebDAVServerFixture.h"
#include "webdav/KMUploadTransfer.h"

namespace {

using kdisk::RunLoop;
using namespace kdisk::test;

template <typename Server>
class WebDAVServerTests : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!m_server.isAvailable()) GTEST_SKIP() << Server::kName << " is not installed";
    const std::string problem = m_server.start();
    ASSERT_TRUE(problem.empty()) << problem;
  }

  Server m_server;
  WebDAVClientTest m_client{m_server};
  TemporaryDirectory m_local;
};

struct ServerName {
  template <typename Server>
  static std::string GetName(int) { return Server::kName; }
};

using Servers = ::testing::Types<ApacheServer, LighttpdServer, NginxServer, RcloneServer, ServiceServer>;
TYPED_TEST_SUITE(WebDAVServerTests, Servers, ServerName);

TYPED_TEST(WebDAVServerTests, UploadCreateFolderListDownloadAndDelete) {
  auto& server = this->m_server;
  auto& client = this->m_client;
  // A file with spaces and Cyrillic letters in its name.
  const std::string source = this->m_local.file("source.txt");
  std::ofstream(source) << std::string(300000, 'k');
  const std::string remoteName = "%D0%9E%D1%82%D1%87%D1%91%D1%82%201.txt";
  auto upload = std::make_shared<kdisk::webdav::KMUploadTransfer>(url(server.url(remoteName)), source,
                                                                  server.token());
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
  EXPECT_EQ(readFile(server.storageRoot() + "/Отчёт 1.txt").size(), 300000u);

  EXPECT_FALSE(client.runToOutcome(*client.template make<KMMKCOLRequest>("New%20folder/")));
  if (server.refusesExistingFolder()) {
    // 405: it exists.
    auto refused = client.runToOutcome(*client.template make<KMMKCOLRequest>("New%20folder/"));
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->is(kKMRequestErrorDomain, 1));
  }

  auto responses = client.list("");
  ASSERT_EQ(responses.size(), 3u);
  std::map<std::string, std::shared_ptr<KMMultiStatusResponse>> byURL;
  // Keyed by decoded path: servers choose their own percent-encoding case.
  for (const auto& response : responses) byURL[response->URL().path()] = response;
  EXPECT_EQ(responses[0]->URL().origin(), url(server.url()).origin());
  ASSERT_TRUE(byURL.count("/disk/"));
  ASSERT_TRUE(byURL.count("/disk/New folder/"));
  const auto file = byURL.find("/disk/Отчёт 1.txt");
  ASSERT_NE(file, byURL.end());
  const kdisk::Dictionary* values = file->second->successPropValues();
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(*kdisk::find(*values, "DAV:resourcetype"), kdisk::Value(0));
  EXPECT_EQ(*kdisk::find(*values, "DAV:getcontentlength"), kdisk::Value(300000));
  EXPECT_TRUE(kdisk::find(*values, "DAV:getlastmodified")->is<kdisk::Date>());
  if (server.sendsEntityTags()) EXPECT_TRUE(kdisk::find(*values, "DAV:getetag")->stringValue());
  EXPECT_EQ(*kdisk::find(*byURL["/disk/New folder/"]->successPropValues(), "DAV:resourcetype"),
            kdisk::Value(1));

  auto download = client.template make<KMDiskRequest>(remoteName);
  const std::string cached = this->m_local.path() + "/cache/disk/Отчёт 1.txt";
  download->setFileURL(kdisk::URL::fileURLWithPath(cached));
  EXPECT_FALSE(client.runToOutcome(*download));
  EXPECT_EQ(readFile(cached), std::string(300000, 'k'));

  EXPECT_FALSE(client.runToOutcome(*client.template make<KMDeleteRequest>(remoteName)));
  struct stat info {};
  EXPECT_NE(::stat((server.storageRoot() + "/Отчёт 1.txt").c_str(), &info), 0);
  EXPECT_EQ(client.list("").size(), 2u);
}

TYPED_TEST(WebDAVServerTests, AnUploadOverAnExistingFileIsRefusedAndTheFileKept) {
  auto& server = this->m_server;
  // The upload queue picks a free name from the listing first; only a file
  // appearing in between is at risk on these.
  if (!server.refusesOverwrite()) GTEST_SKIP() << "the server ignores If-None-Match on PUT";
  std::filesystem::create_directories(server.storageRoot());
  std::ofstream(server.storageRoot() + "/there.txt") << "theirs";
  ASSERT_EQ(readFile(server.storageRoot() + "/there.txt"), "theirs");
  const std::string source = this->m_local.file("mine.txt");
  std::ofstream(source) << "mine";
  auto upload = std::make_shared<kdisk::webdav::KMUploadTransfer>(url(server.url("there.txt")), source,
                                                                  server.token());
  bool ended = false;
  upload->setFinishedCallback([&](auto&) { ended = true; });
  upload->setFailedCallback([&](auto& failed) {
    ADD_FAILURE() << failed.error()->description();
    ended = true;
  });
  upload->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return ended; }, 15));
  EXPECT_EQ(upload->responseStatusCode(), 412);
  EXPECT_EQ(readFile(server.storageRoot() + "/there.txt"), "theirs");
}

TYPED_TEST(WebDAVServerTests, FolderWithoutSlashIsStillListed) {
  auto& client = this->m_client;
  ASSERT_FALSE(client.runToOutcome(*client.template make<KMMKCOLRequest>("Music/")));
  // Apache answers with a 301 and a body; following it re-applies the method.
  auto responses = client.list("Music");
  ASSERT_FALSE(responses.empty());
  const kdisk::Dictionary* values = responses[0]->successPropValues();
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(*kdisk::find(*values, "DAV:resourcetype"), kdisk::Value(1));
  // Without a displayname the property is absent and nothing crashes.
  if (!this->m_server.sendsDisplayName()) {
    EXPECT_EQ(kdisk::find(*values, "DAV:displayname"), nullptr);
  }
}

TYPED_TEST(WebDAVServerTests, MissingResourceFailsWithCodeOne) {
  auto& client = this->m_client;
  auto request = client.template make<KMFileListRequest>("absent/");
  request->setDepth(KMWebDAVDepthOne);
  auto failure = client.runToOutcome(*request);
  ASSERT_TRUE(failure);
  EXPECT_TRUE(failure->is(kKMRequestErrorDomain, 1));
}

}  // namespace
