// What a server may send that it should not: listings with missing
// properties, foreign or escaping hrefs, bodies that do not parse, answers
// without the expected lines. Each gives its defined outcome, never a crash,
// and nothing is written outside the manager's folders.
#include <gtest/gtest.h>

#include <spdlog/sinks/ringbuffer_sink.h>

#include <filesystem>

#include "platform/Log.h"

#include "NotificationRecorder.h"
#include "manager/KMWebDAVFileManager.h"
#include "settings/KMSettings.h"
#include "support/ScriptedHTTPServer.h"
#include "support/TemporaryDirectory.h"
#include "webdav/KMFile.h"

namespace kdisk::test {
namespace {

const std::vector<std::string> kNames{
    kKMKMWebDAVFileManagerDidSendFileListRequest, kKMKMWebDAVFileManagerDidReceiveFileList,
    kKMKMWebDAVFileManagerDidFailWithFileListRequest, kKMKMWebDAVFileManagerDidDownloadFile,
    kKMKMWebDAVFileManagerDidFailToDownloadFile, kKMKMWebDAVFileManagerDidReceiveUserInfo,
    kKMKMWebDAVFileManagerDidReceiveAdditionalInfo, kKMKMWebDAVFileManagerDidFailWithAdditionalInfoRequest,
    kKMKMWebDAVFileManagerDidRemove, kKMKMWebDAVFileManagerDidFailWithRemoveRequest,
    kKMKMWebDAVFileManagerDidPublishFile, kKMKMWebDAVFileManagerDidFailWithPublishRequest};

std::string multistatus(const std::string& responses) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:multistatus xmlns:D=\"DAV:\">" + responses +
         "</D:multistatus>";
}

std::string response(const std::string& href, const std::string& props, const std::string& status = "HTTP/1.1 200 OK") {
  return "<D:response><D:href>" + href + "</D:href><D:propstat><D:prop>" + props +
         "</D:prop><D:status>" + status + "</D:status></D:propstat></D:response>";
}

const std::string kFolderProps = "<D:displayname>disk</D:displayname><D:resourcetype><D:collection/></D:resourcetype>";

std::string fileProps(const std::string& name, const std::string& etag) {
  return "<D:displayname>" + name + "</D:displayname><D:resourcetype/><D:getcontentlength>5</D:getcontentlength>"
         "<D:getlastmodified>Tue, 15 Nov 1994 12:45:26 GMT</D:getlastmodified><D:getetag>" + etag + "</D:getetag>";
}

class ManagerBadInputTest : public testing::Test {
 protected:
  void SetUp() override {
    KMSettings::mainSettings().setToken(std::string("token"));
    m_storage = std::make_shared<KMWebDAVStorage>();
    m_server = std::make_unique<ScriptedHTTPServer>([this](const RecordedRequest& request) {
      std::lock_guard guard(m_lock);
      return m_reply(request);
    });
    m_manager = KMWebDAVFileManager::create(m_storage, {root(), false});
    m_manager->setPreviewMaxDimension(64);
    m_logSink = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(200);
    logger("KMWebDAVFileManager")->sinks().push_back(m_logSink);
  }
  void TearDown() override {
    auto& sinks = logger("KMWebDAVFileManager")->sinks();
    sinks.erase(std::remove(sinks.begin(), sinks.end(), m_logSink), sinks.end());
    // A queue step still waiting would open the store again after close(),
    // in a home that is gone by then.
    m_manager->serialUploadQueue()->sync([] {});
    m_manager.reset();
    m_storage->close();
  }

  void answer(int status, std::string body, std::vector<std::pair<std::string, std::string>> headers = {}) {
    std::lock_guard guard(m_lock);
    m_reply = [=](const RecordedRequest&) { return ScriptedReply::make(status, "Status", body, headers); };
  }
  URL root() const { return *URL::fromString(m_server->url("/disk/")); }
  std::string origin() const { return m_server->url(""); }

  bool refresh() {
    m_recorder.clear();
    m_manager->updateContentsOfDirectoryAtURL(root());
    EXPECT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidReceiveFileList, kKMKMWebDAVFileManagerDidFailWithFileListRequest}));
    RunLoop::main().runUntil([] { return false; }, 0.1);
    m_recorder.drain();
    return m_recorder.count(kKMKMWebDAVFileManagerDidReceiveFileList) == 1 &&
           m_recorder.count(kKMKMWebDAVFileManagerDidFailWithFileListRequest) == 0;
  }
  std::vector<std::string> cachedURLs() {
    std::vector<std::string> urls;
    for (auto& item : m_storage->contentsOfDirectoryAtURLIncludeHidden(root(), true)) urls.push_back(item->URLString());
    std::sort(urls.begin(), urls.end());
    return urls;
  }
  bool logged(const std::string& text) const {
    for (auto& line : m_logSink->last_formatted())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

  IsolatedHome m_home;
  std::mutex m_lock;
  std::function<ScriptedReply(const RecordedRequest&)> m_reply = [](const RecordedRequest&) {
    return ScriptedReply::make(500, "Unset", "");
  };
  std::shared_ptr<KMWebDAVStorage> m_storage;
  std::unique_ptr<ScriptedHTTPServer> m_server;
  std::shared_ptr<KMWebDAVFileManager> m_manager;
  std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> m_logSink;
  NotificationRecorder m_recorder{kNames};
};

TEST_F(ManagerBadInputTest, EntriesWithoutPropertiesAreLoggedAndStillMerged) {
  answer(207, multistatus(response("/disk/", kFolderProps) + response("/disk/bare", "") +
                          "<D:response><D:href>/disk/nopropstat</D:href></D:response>"));
  ASSERT_TRUE(refresh());
  EXPECT_EQ(cachedURLs(), (std::vector<std::string>{origin() + "/disk/bare", origin() + "/disk/nopropstat"}));
  auto bare = std::dynamic_pointer_cast<KMFile>(m_storage->fileItemAtURL(*URL::fromString(origin() + "/disk/bare")));
  ASSERT_TRUE(bare) << "an entry without a type is a file";
  EXPECT_FALSE(bare->etag().has_value());
  for (const char* line : {"WebDAV wrong response: ResourceType field is not exist.",
                           "WebDAV wrong response: DisplayName field is not exist.",
                           "WebDAV wrong response: ContentLength field is not exist.",
                           "WebDAV wrong response: LastModified field is not exist.",
                           "WebDAV wrong response: ETag field is not exist."})
    EXPECT_TRUE(logged(line)) << line;
  // Once per listing, not once per item.
  EXPECT_TRUE(logged("WebDAV wrong response: ETag field is not exist. (2 of 3 items)"));
  std::size_t etagLines = 0;
  for (auto& line : m_logSink->last_formatted()) etagLines += line.find("ETag field") != std::string::npos;
  EXPECT_EQ(etagLines, 1u);
}

TEST_F(ManagerBadInputTest, DirectoryListedLastStillUpdatesItsOwnRow) {
  answer(207, multistatus(response("/disk/a.txt", fileProps("a.txt", "\"1\"")) +
                          response("/disk", kFolderProps)));
  ASSERT_TRUE(refresh());
  EXPECT_EQ(cachedURLs(), std::vector<std::string>{origin() + "/disk/a.txt"});
}

TEST_F(ManagerBadInputTest, HrefsOutsideTheDirectoryAreNotMergedIntoIt) {
  answer(207, multistatus(response("/disk/", kFolderProps) +
                          response("/disk/ok.txt", fileProps("ok.txt", "\"1\"")) +
                          response("https://elsewhere.example/disk/x.txt", fileProps("x.txt", "\"2\"")) +
                          response("/etc/passwd", fileProps("passwd", "\"3\"")) +
                          response("/disk/sub/deeper.txt", fileProps("deeper.txt", "\"4\"")) +
                          response("/disk/%2e%2e/up.txt", fileProps("up.txt", "\"5\"")) +
                          response("/disk/%2e%2E", fileProps("..", "\"6\"")) +
                          response("/disk/%2E", fileProps(".", "\"7\"")) +
                          response("/disk/a%2Fb.txt", fileProps("a/b.txt", "\"8\"")) +
                          response("/disk/a-longer-name%2fwith-a-slash.txt", fileProps("x", "\"9\""))));
  ASSERT_TRUE(refresh());
  EXPECT_EQ(cachedURLs(), std::vector<std::string>{origin() + "/disk/ok.txt"});
}

TEST_F(ManagerBadInputTest, ChildSpelledWithOtherEscapesLandsUnderTheDirectory) {
  answer(207, multistatus(response("/disk/", kFolderProps) +
                          response("/disk/%d0%81%20x.txt", fileProps("Ё x.txt", "\"1\""))));
  ASSERT_TRUE(refresh());
  auto items = m_storage->contentsOfDirectoryAtURLIncludeHidden(root(), true);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0]->URL().lastPathComponent(), "Ё x.txt");
}

TEST_F(ManagerBadInputTest, BodiesThatDoNotParseFailAndKeepTheCache) {
  answer(207, multistatus(response("/disk/", kFolderProps) + response("/disk/a.txt", fileProps("a.txt", "\"1\""))));
  ASSERT_TRUE(refresh());
  for (const std::string& body : {std::string("<html>oops</html"), std::string(), std::string("<x/>"),
                                 multistatus("")}) {
    SCOPED_TRACE(body);
    answer(207, body);
    EXPECT_FALSE(refresh());
    EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidFailWithFileListRequest), 1u);
    EXPECT_EQ(cachedURLs(), std::vector<std::string>{origin() + "/disk/a.txt"});
  }
}

TEST_F(ManagerBadInputTest, DownloadOfAURLOutsideTheRootWritesNothing) {
  m_manager->startDownloadFileForURL(*URL::fromString(origin() + "/disk/../../escape.txt"));
  m_manager->startDownloadFileForURL(*URL::fromString(origin() + "/other/file.txt"));
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidFailToDownloadFile, 2));
  EXPECT_EQ(m_server->requestCount(), 0u);
  EXPECT_FALSE(std::filesystem::exists(m_home.path() + "/escape.txt"));
}

TEST_F(ManagerBadInputTest, UserInfoWithoutLoginLinePostsEmptyUserInfo) {
  answer(200, "uid:1\nname:alice\n");
  m_manager->sendUserInfoRequest();
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidReceiveUserInfo));
  EXPECT_TRUE(m_recorder.named(kKMKMWebDAVFileManagerDidReceiveUserInfo)[0].userInfo.empty());
  EXPECT_EQ(m_server->requests().at(0).target, "/?userinfo");
  EXPECT_EQ(m_server->requests().at(0).header("Authorization"), "OAuth token");
}

TEST_F(ManagerBadInputTest, QuotaWithMissingPropertiesLeavesThemOut) {
  answer(207, multistatus(response("/disk/", "<D:quota-used-bytes>7</D:quota-used-bytes>")));
  m_manager->sendAdditionalInfoRequest();
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidReceiveAdditionalInfo));
  auto info = m_recorder.named(kKMKMWebDAVFileManagerDidReceiveAdditionalInfo)[0].userInfo;
  EXPECT_EQ(info.size(), 1u);
  EXPECT_EQ(find(info, "quotaUsedBytesNum")->integerValue(), 7);
  EXPECT_TRUE(logged("WebDAV wrong response: max-file-size field is not exist."));
  EXPECT_TRUE(logged("WebDAV wrong response: quota-available-bytes field is not exist."));
}

TEST_F(ManagerBadInputTest, EmptyOrUnparsableQuotaAnswerIsReceivedWithoutFigures) {
  for (const std::string body : {"not xml", ""}) {
    SCOPED_TRACE(body);
    m_recorder.clear();
    answer(207, body);
    m_manager->sendAdditionalInfoRequest();
    ASSERT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidReceiveAdditionalInfo,
                                    kKMKMWebDAVFileManagerDidFailWithAdditionalInfoRequest}));
    m_recorder.drain();
    ASSERT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidReceiveAdditionalInfo), 1u);
    EXPECT_TRUE(m_recorder.named(kKMKMWebDAVFileManagerDidReceiveAdditionalInfo)[0].userInfo.empty());
    EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidFailWithAdditionalInfoRequest), 0u);
  }
}

TEST_F(ManagerBadInputTest, MultistatusDeleteWithTwoFailuresPostsTwoFailuresAndNoSuccess) {
  // A per-resource answer carries its status in the response itself.
  answer(207, multistatus("<D:response><D:href>/disk/d/a</D:href><D:status>HTTP/1.1 423 Locked</D:status></D:response>"
                          "<D:response><D:href>/disk/d/b</D:href><D:status>HTTP/1.1 404 Not Found</D:status></D:response>"));
  m_manager->removeItemAtURL(*URL::fromString(origin() + "/disk/d/"));
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidFailWithRemoveRequest, 2));
  m_recorder.drain();
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidRemove), 0u);
  for (auto& failed : m_recorder.named(kKMKMWebDAVFileManagerDidFailWithRemoveRequest)) EXPECT_FALSE(failed.has("error"));
}

TEST_F(ManagerBadInputTest, NotFoundPageOnDeleteCountsAsRemovedOnce) {
  answer(404, "<html>gone</html>");
  m_manager->removeItemAtURL(*URL::fromString(origin() + "/disk/x"));
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidRemove));
  RunLoop::main().runUntil([] { return false; }, 0.2);
  m_recorder.drain();
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidRemove), 1u);
  EXPECT_EQ(find(m_recorder.named(kKMKMWebDAVFileManagerDidRemove)[0].userInfo, "statusCode")->integerValue(), 404);
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidFailWithRemoveRequest), 0u);
}

TEST_F(ManagerBadInputTest, PublishWithoutLocationOrWithOtherStatusFails) {
  answer(302, "", {});
  m_manager->publishFileWithURL(*URL::fromString(origin() + "/disk/f.txt"));
  ASSERT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidFailWithPublishRequest, kKMKMWebDAVFileManagerDidPublishFile}));
  answer(200, "ok");
  m_manager->publishFileWithURL(*URL::fromString(origin() + "/disk/f.txt"));
  ASSERT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidFailWithPublishRequest, kKMKMWebDAVFileManagerDidPublishFile}, 2));
  m_recorder.drain();
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidPublishFile), 0u);
  EXPECT_EQ(m_server->requests().at(0).target, "/disk/f.txt?publish");
  EXPECT_EQ(m_server->requests().at(0).method, "POST");
}

TEST_F(ManagerBadInputTest, ReachabilityResumesUploadsOnEachBecomingReachable) {
  auto becameReachable = [&] {
    std::size_t count = 0;
    for (auto& line : m_logSink->last_formatted())
      if (line.find("Host became reachable. Resume uploading.") != std::string::npos) ++count;
    return count;
  };
  EXPECT_FALSE(m_manager->hostIsReachable());
  m_manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable);
  EXPECT_TRUE(m_manager->hostIsReachable());
  m_manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable);
  EXPECT_EQ(becameReachable(), 1u);
  m_manager->reachabilityChanged(0);
  EXPECT_FALSE(m_manager->hostIsReachable());
  m_manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsWWAN |
                                 kSCNetworkReachabilityFlagsConnectionRequired);
  EXPECT_EQ(becameReachable(), 2u);
}

}  // namespace
}  // namespace kdisk::test
