// The manager against the ordinary WebDAV servers of Debian (Apache, lighttpd,
// nginx, rclone): what a user does first (list a big folder, open a file,
// upload beside a taken name, create a folder, delete) works on each, and a
// refresh of an unchanged folder keeps what was downloaded, with or without
// entity tags and display names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "NotificationRecorder.h"
#include "WebDAVServerFixture.h"
#include "manager/KMWebDAVFileManager.h"
#include "settings/KMSettings.h"
#include "support/HttpClient.h"
#include "webdav/KMFile.h"

namespace kdisk::test {
namespace {

namespace fs = std::filesystem;

template <typename Server>
class ManagerServersTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!m_server.isAvailable()) GTEST_SKIP() << Server::kName << " is not installed";
    const std::string problem = m_server.start();
    ASSERT_TRUE(problem.empty()) << problem;
    KMSettings::mainSettings().setToken(m_server.token());
    m_storage = std::make_shared<KMWebDAVStorage>();
    m_manager = KMWebDAVFileManager::create(m_storage, {root(), false});
  }
  void TearDown() override {
    m_manager.reset();
    if (m_storage) m_storage->close();
  }
  URL root() const { return *URL::fromString(m_server.url()); }
  fs::path onServer(const std::string& relative) const { return fs::path(m_server.storageRoot()) / relative; }
  void write(const std::string& relative, const std::string& content) const {
    fs::create_directories(onServer(relative).parent_path());
    std::ofstream(onServer(relative), std::ios::binary) << content;
  }
  // Names as a user sees them: hidden ones left out.
  std::vector<std::string> shownNames(const URL& directory) {
    std::vector<std::string> names;
    for (auto& item : m_storage->contentsOfDirectoryAtURLIncludeHidden(directory, false))
      names.push_back(item->displayName() + (item->isDirectory() ? "/" : ""));
    return names;
  }
  bool waitFor(const std::string& success, const std::string& failure) {
    const std::size_t before = m_recorder.count(success) + m_recorder.count(failure);
    const bool arrived = m_recorder.waitFor({success, failure}, before + 1);
    m_recorder.drain();
    return arrived && m_recorder.count(failure) == 0;
  }
  bool refresh(const URL& directory) {
    m_manager->updateContentsOfDirectoryAtURL(directory);
    return waitFor(kKMKMWebDAVFileManagerDidReceiveFileList, kKMKMWebDAVFileManagerDidFailWithFileListRequest);
  }
  std::string cachedCopy(const URL& file) {
    std::ifstream in(*m_storage->localPathForWebURL(file), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  IsolatedHome m_home;
  Server m_server;
  std::shared_ptr<KMWebDAVStorage> m_storage;
  std::shared_ptr<KMWebDAVFileManager> m_manager;
  NotificationRecorder m_recorder{{kKMKMWebDAVFileManagerDidReceiveFileList, kKMKMWebDAVFileManagerDidFailWithFileListRequest,
                                   kKMKMWebDAVFileManagerDidDownloadFile, kKMKMWebDAVFileManagerDidFailToDownloadFile,
                                   kKMKMWebDAVFileManagerDidCreateDirectory, kKMKMWebDAVFileManagerDidFailToCreateDirectory,
                                   kKMKMWebDAVFileManagerDidRemove, kKMKMWebDAVFileManagerDidFailWithRemoveRequest,
                                   kKMKMWebDAVFileManagerDidUploadFile, kKMKMWebDAVFileManagerDidFailToUploadFile}};
};

struct ServerName {
  template <typename Server>
  static std::string GetName(int) { return Server::kName; }
};

using Servers = testing::Types<ApacheServer, LighttpdServer, NginxServer, RcloneServer>;
TYPED_TEST_SUITE(ManagerServersTest, Servers, ServerName);

TYPED_TEST(ManagerServersTest, ListsABigFolderDownloadsUploadsBesideATakenNameCreatesAndDeletes) {
  for (int i = 0; i < 10'000; ++i) this->write("big/file " + std::to_string(i) + ".txt", "");
  this->write("Мои файлы/note one.txt", "first note");
  this->write("Мои файлы/.hidden", "h");
  this->write("taken.txt", "theirs");
  const URL root = this->root();
  ASSERT_TRUE(this->refresh(root));
  EXPECT_EQ(this->shownNames(root), (std::vector<std::string>{"big/", "Мои файлы/", "taken.txt"}));

  const URL big = root.appendingPathComponent("big", true);
  ASSERT_TRUE(this->refresh(big));
  const auto bigNames = this->shownNames(big);
  ASSERT_EQ(bigNames.size(), 10'000u);
  EXPECT_EQ(bigNames[0], "file 0.txt");
  EXPECT_EQ(bigNames[9'999], "file 9999.txt");

  const URL folder = root.appendingPathComponent("Мои файлы", true);
  ASSERT_TRUE(this->refresh(folder));
  ASSERT_EQ(this->shownNames(folder), std::vector<std::string>{"note one.txt"});
  const URL note = folder.appendingPathComponent("note one.txt");
  this->m_manager->startDownloadFileForURL(note);
  ASSERT_TRUE(this->waitFor(kKMKMWebDAVFileManagerDidDownloadFile, kKMKMWebDAVFileManagerDidFailToDownloadFile));
  EXPECT_EQ(this->cachedCopy(note), "first note");

  // The listing knows the name is taken, so the upload gets a free one even
  // where the server would overwrite.
  auto target = this->m_manager->uploadFileWithDataTo("mine", root.appendingPathComponent("taken.txt"));
  ASSERT_TRUE(target.hasValue());
  this->m_manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable);
  ASSERT_TRUE(this->waitFor(kKMKMWebDAVFileManagerDidUploadFile, kKMKMWebDAVFileManagerDidFailToUploadFile));
  EXPECT_EQ(readFile(this->onServer("taken (1).txt")), "mine");
  EXPECT_EQ(readFile(this->onServer("taken.txt")), "theirs");

  this->m_manager->createDirectoryWithNameAt("new folder", root);
  ASSERT_TRUE(this->waitFor(kKMKMWebDAVFileManagerDidCreateDirectory, kKMKMWebDAVFileManagerDidFailToCreateDirectory));
  EXPECT_TRUE(fs::is_directory(this->onServer("new folder")));

  this->m_manager->removeItemAtURL(root.appendingPathComponent("taken.txt"));
  ASSERT_TRUE(this->waitFor(kKMKMWebDAVFileManagerDidRemove, kKMKMWebDAVFileManagerDidFailWithRemoveRequest));
  EXPECT_FALSE(fs::exists(this->onServer("taken.txt")));

  ASSERT_TRUE(this->refresh(root));
  EXPECT_EQ(this->shownNames(root), (std::vector<std::string>{"big/", "new folder/", "Мои файлы/", "taken (1).txt"}));
}

TYPED_TEST(ManagerServersTest, AnUnchangedRefreshKeepsDownloadsAndAChangedFileIsFetchedAfresh) {
  this->write("kept.txt", "kept body");
  this->write("edited.txt", "first");
  const URL root = this->root();
  ASSERT_TRUE(this->refresh(root));
  const URL kept = root.appendingPathComponent("kept.txt");
  const URL edited = root.appendingPathComponent("edited.txt");
  for (const URL& file : {kept, edited}) {
    this->m_manager->startDownloadFileForURL(file);
    ASSERT_TRUE(this->waitFor(kKMKMWebDAVFileManagerDidDownloadFile, kKMKMWebDAVFileManagerDidFailToDownloadFile));
  }

  ASSERT_TRUE(this->refresh(root));
  EXPECT_TRUE(this->m_storage->hasCachedFileForURL(kept));
  EXPECT_TRUE(this->m_storage->hasCachedFileForURL(edited));

  // Another client saves a longer version: the stale copy must go. Through
  // the server, since lighttpd and rclone cache what they last saw on disk.
  HttpCall save;
  save.method = "PUT";
  save.url = this->m_server.url("edited.txt");
  save.body = "second, longer";
  ASSERT_LT(perform(save).status, 300);
  ASSERT_TRUE(this->refresh(root));
  EXPECT_TRUE(this->m_storage->hasCachedFileForURL(kept));
  EXPECT_FALSE(this->m_storage->hasCachedFileForURL(edited));
  this->m_manager->startDownloadFileForURL(edited);
  ASSERT_TRUE(this->waitFor(kKMKMWebDAVFileManagerDidDownloadFile, kKMKMWebDAVFileManagerDidFailToDownloadFile));
  EXPECT_EQ(this->cachedCopy(edited), "second, longer");
}

}  // namespace
}  // namespace kdisk::test
