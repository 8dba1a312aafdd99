// The manager against Apache httpd with mod_dav: what any WebDAV server must
// serve (listing, download, MKCOL, DELETE) works the same as with the service.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "NotificationRecorder.h"
#include "manager/KMWebDAVFileManager.h"
#include "settings/KMSettings.h"
#include "support/ApacheProcess.h"
#include "support/TemporaryDirectory.h"
#include "webdav/KMFile.h"

namespace kdisk::test {
namespace {

class ManagerApacheTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!ApacheProcess::isAvailable()) GTEST_SKIP() << "apache2 is not installed";
    m_apache = std::make_unique<ApacheProcess>();
    ASSERT_TRUE(m_apache->isRunning()) << m_apache->errorLog();
    KMSettings::mainSettings().setToken(std::nullopt);
    m_storage = std::make_shared<KMWebDAVStorage>();
    m_manager = KMWebDAVFileManager::create(m_storage, {root(), false});
  }
  void TearDown() override {
    m_manager.reset();
    if (m_storage) m_storage->close();
  }
  URL root() const { return *URL::fromString(m_apache->url()); }
  void write(const std::string& relative, const std::string& content) {
    auto path = std::filesystem::path(m_apache->davRoot()) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  std::vector<std::string> cachedNames(const URL& directory) {
    std::vector<std::string> names;
    for (auto& item : m_storage->contentsOfDirectoryAtURLIncludeHidden(directory, true))
      names.push_back(item->displayName() + (item->isDirectory() ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
  }
  bool waitFor(const std::string& success, const std::string& failure, std::size_t count = 1) {
    bool arrived = m_recorder.waitFor({success, failure}, count);
    m_recorder.drain();
    return arrived && m_recorder.count(failure) == 0;
  }

  IsolatedHome m_home;
  std::unique_ptr<ApacheProcess> m_apache;
  std::shared_ptr<KMWebDAVStorage> m_storage;
  std::shared_ptr<KMWebDAVFileManager> m_manager;
  NotificationRecorder m_recorder{{kKMKMWebDAVFileManagerDidReceiveFileList, kKMKMWebDAVFileManagerDidFailWithFileListRequest,
                                   kKMKMWebDAVFileManagerDidDownloadFile, kKMKMWebDAVFileManagerDidFailToDownloadFile,
                                   kKMKMWebDAVFileManagerDidCreateDirectory, kKMKMWebDAVFileManagerDidFailToCreateDirectory,
                                   kKMKMWebDAVFileManagerDidRemove, kKMKMWebDAVFileManagerDidFailWithRemoveRequest}};
};

TEST_F(ManagerApacheTest, ListsDownloadsCreatesAndDeletes) {
  write("Мои файлы/note one.txt", "first note");
  write("top.txt", "top");
  m_manager->updateContentsOfDirectoryAtURL(root());
  ASSERT_TRUE(waitFor(kKMKMWebDAVFileManagerDidReceiveFileList, kKMKMWebDAVFileManagerDidFailWithFileListRequest));
  EXPECT_EQ(cachedNames(root()), (std::vector<std::string>{"top.txt", "Мои файлы/"}));

  URL folder = root().appendingPathComponent("Мои файлы", true);
  m_manager->updateContentsOfDirectoryAtURL(folder);
  ASSERT_TRUE(waitFor(kKMKMWebDAVFileManagerDidReceiveFileList, kKMKMWebDAVFileManagerDidFailWithFileListRequest, 2));
  ASSERT_EQ(cachedNames(folder), std::vector<std::string>{"note one.txt"});
  auto note = m_storage->contentsOfDirectoryAtURLIncludeHidden(folder, true).at(0);

  m_manager->startDownloadFileForURL(note->URL());
  ASSERT_TRUE(waitFor(kKMKMWebDAVFileManagerDidDownloadFile, kKMKMWebDAVFileManagerDidFailToDownloadFile));
  std::ifstream in(*m_storage->localPathForWebURL(note->URL()), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "first note");

  m_manager->createDirectoryWithNameAt("new folder", root());
  ASSERT_TRUE(waitFor(kKMKMWebDAVFileManagerDidCreateDirectory, kKMKMWebDAVFileManagerDidFailToCreateDirectory));
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(m_apache->davRoot()) / "new folder"));

  m_manager->removeItemAtURL(root().appendingPathComponent("top.txt"));
  ASSERT_TRUE(waitFor(kKMKMWebDAVFileManagerDidRemove, kKMKMWebDAVFileManagerDidFailWithRemoveRequest));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(m_apache->davRoot()) / "top.txt"));

  m_manager->updateContentsOfDirectoryAtURL(root());
  ASSERT_TRUE(waitFor(kKMKMWebDAVFileManagerDidReceiveFileList, kKMKMWebDAVFileManagerDidFailWithFileListRequest, 3));
  EXPECT_EQ(cachedNames(root()), (std::vector<std::string>{"new folder/", "Мои файлы/"}));
}

}  // namespace
}  // namespace kdisk::test
