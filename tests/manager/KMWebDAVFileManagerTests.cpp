// The manager's pure rules: reachability verdicts, the user-information line,
// preview URLs, directory targets, icons and the caches.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "graphics/UIImage.h"
#include "manager/KMReachability.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/NotificationCenter.h"
#include "support/TemporaryDirectory.h"
#include "webdav/KMDirectory.h"
#include "webdav/KMFile.h"

namespace kdisk::test {
namespace {

TEST(HostReachabilityForFlags, FollowsTheConnectionRequiredRules) {
  EXPECT_FALSE(HostReachabilityForFlags(0));
  EXPECT_TRUE(HostReachabilityForFlags(kSCNetworkReachabilityFlagsReachable));
  EXPECT_FALSE(HostReachabilityForFlags(kSCNetworkReachabilityFlagsReachable |
                                        kSCNetworkReachabilityFlagsConnectionRequired));
  EXPECT_FALSE(HostReachabilityForFlags(
      kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsConnectionRequired |
      kSCNetworkReachabilityFlagsConnectionOnDemand | kSCNetworkReachabilityFlagsInterventionRequired));
  EXPECT_TRUE(HostReachabilityForFlags(kSCNetworkReachabilityFlagsReachable |
                                       kSCNetworkReachabilityFlagsConnectionRequired |
                                       kSCNetworkReachabilityFlagsConnectionOnTraffic));
  EXPECT_TRUE(HostReachabilityForFlags(kSCNetworkReachabilityFlagsReachable |
                                       kSCNetworkReachabilityFlagsConnectionRequired |
                                       kSCNetworkReachabilityFlagsIsWWAN));
  EXPECT_FALSE(HostReachabilityForFlags(kSCNetworkReachabilityFlagsIsWWAN));
}

TEST(KMReachability, ChecksBecomeFlags) {
  EXPECT_EQ(KMReachability::flagsForCheck(false, KMNetworkConnectivity::Full, true), 0u);
  EXPECT_TRUE(HostReachabilityForFlags(KMReachability::flagsForCheck(true, KMNetworkConnectivity::Full, false)));
  EXPECT_FALSE(HostReachabilityForFlags(KMReachability::flagsForCheck(true, KMNetworkConnectivity::Portal, false)));
  EXPECT_TRUE(HostReachabilityForFlags(KMReachability::flagsForCheck(true, KMNetworkConnectivity::Portal, true)));
  EXPECT_EQ(KMReachability::reachabilityWithHostNamePort("", 443), nullptr);
}

TEST(ValueForLineWithPrefix, ReadsTheRestOfTheFirstMatchingLine) {
  using M = KMWebDAVFileManager;
  EXPECT_EQ(M::valueForLineWithPrefixInText("login:", "uid:1\nlogin:alice"), "alice");
  EXPECT_EQ(M::valueForLineWithPrefixInText("login:", "uid:1\nlogin: alice\n"), " alice");
  EXPECT_EQ(M::valueForLineWithPrefixInText("login:", "login:a\r\nlogin:b\r\n"), "a");
  EXPECT_EQ(M::valueForLineWithPrefixInText("login:", "xlogin:a\n"), std::nullopt);
  EXPECT_EQ(M::valueForLineWithPrefixInText("login:", ""), std::nullopt);
  // The prefix is text, not a pattern; a server's 100,000-letter line is read, not a crash.
  EXPECT_EQ(M::valueForLineWithPrefixInText("(", "(x"), "x");
  const std::string huge(100000, 'a');
  EXPECT_EQ(M::valueForLineWithPrefixInText("login:", "uid:1\nlogin:" + huge + "\n"), huge);
}

TEST(DirectoryURLForName, AppendsTheEscapedNameAsADirectory) {
  auto parent = *URL::fromString("https://h/disk/a");
  EXPECT_EQ(KMWebDAVFileManager::directoryURLForNameInParent("Новая папка", parent)->absoluteString(),
            "https://h/disk/a/%D0%9D%D0%BE%D0%B2%D0%B0%D1%8F%20%D0%BF%D0%B0%D0%BF%D0%BA%D0%B0/");
  EXPECT_EQ(KMWebDAVFileManager::directoryURLForNameInParent("x%?#y", *URL::fromString("https://h/disk/"))->absoluteString(),
            "https://h/disk/x%25%3F%23y/");
  EXPECT_EQ(KMWebDAVFileManager::directoryURLForNameInParent("a/b", parent)->absoluteString(), "https://h/disk/a/a/b/");
  for (const char* refused : {"", ".", "..", "../x", "x/..", "a/./b"})
    EXPECT_FALSE(KMWebDAVFileManager::directoryURLForNameInParent(refused, parent)) << refused;
}

class KMWebDAVFileManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    m_storage = std::make_shared<KMWebDAVStorage>();
    m_manager = KMWebDAVFileManager::create(m_storage, {*URL::fromString("https://h/disk/"), false});
  }
  void TearDown() override { m_storage->close(); }
  IsolatedHome m_home;
  std::shared_ptr<KMWebDAVStorage> m_storage;
  std::shared_ptr<KMWebDAVFileManager> m_manager;
};

TEST_F(KMWebDAVFileManagerTest, GivesTheStoreItsRootAndMakesTheUploadQueue) {
  EXPECT_EQ(m_storage->rootURL(), m_manager->rootURL());
  ASSERT_TRUE(m_manager->serialUploadQueue());
  EXPECT_EQ(m_manager->serialUploadQueue()->label(), "ru.kalumo.disk.serialUploadQueue");
  EXPECT_FALSE(m_manager->hostIsReachable());
}

TEST_F(KMWebDAVFileManagerTest, ANewStoreGetsTheRootAndServesTheUploadQueue) {
  const auto probe = *URL::fromString("https://h/disk/probe");
  (void)m_storage->existUploadFileWithURL(probe);  // opens the first store's file
  auto replacement = std::make_shared<KMWebDAVStorage>();
  TemporaryDirectory otherHome;
  {
    ScopedEnvironmentVariable home("KDISK_HOME", otherHome.path());
    (void)replacement->existUploadFileWithURL(probe);  // a file of its own
  }
  m_manager->setStorage(replacement);
  EXPECT_EQ(replacement->rootURL(), m_manager->rootURL());
  auto queued = m_manager->uploadFileWithDataTo("x", *URL::fromString("https://h/disk/d/a.txt"));
  ASSERT_TRUE(queued.hasValue());
  EXPECT_TRUE(replacement->existUploadFileWithURL(queued.value()));
  EXPECT_FALSE(m_storage->existUploadFileWithURL(queued.value()));

  std::vector<std::string> changed;
  auto token = NotificationCenter::defaultCenter().addObserver(
      kdisk::manager::kKMKMWebDAVFileManagerUploadQueueWasChanged,
      [&](const Notification& notification) { changed.push_back(stringForKey(notification.userInfo, "URL").value_or("")); });
  m_manager->removeUploadFileWithURL(queued.value());
  EXPECT_FALSE(replacement->existUploadFileWithURL(queued.value()));
  RunLoop::main().runPending();
  EXPECT_EQ(changed, std::vector<std::string>{"https://h/disk/d/"});
  replacement->close();
}

TEST_F(KMWebDAVFileManagerTest, PreviewURLAppendsItsQueryEvenAfterAnother) {
  m_manager->setPreviewMaxDimension(120);
  EXPECT_EQ(m_manager->previewURLForFileURL(*URL::fromString("https://h/disk/a.jpg")).absoluteString(),
            "https://h/disk/a.jpg?preview&size=120");
  EXPECT_EQ(m_manager->previewURLForFileURL(*URL::fromString("https://h/disk/a.jpg?x=1")).absoluteString(),
            "https://h/disk/a.jpg?x=1?preview&size=120");
}

TEST_F(KMWebDAVFileManagerTest, NeedsPreviewsOnlyForPictureExtensions) {
  EXPECT_TRUE(m_manager->needDownloadPreview(KMFile(*URL::fromString("https://h/disk/photo.PNG"))));
  EXPECT_TRUE(m_manager->needDownloadPreview(KMFile(*URL::fromString("https://h/disk/p.jpeg"))));
  EXPECT_FALSE(m_manager->needDownloadPreview(KMFile(*URL::fromString("https://h/disk/video.mp4"))));
  EXPECT_FALSE(m_manager->needDownloadPreview(KMFile(*URL::fromString("https://h/disk/noext"))));
}

TEST_F(KMWebDAVFileManagerTest, IconsComeFromTheTableByLowerCaseExtensionAndAreCached) {
  auto upper = m_manager->iconForFileExtension(std::string("JPEG"));
  ASSERT_TRUE(upper);
  EXPECT_NE(upper->name().find("filetype_icon_jpg"), std::string::npos);
  EXPECT_EQ(m_manager->iconForFileExtension(std::string("jpeg")), upper);
  EXPECT_EQ(m_manager->iconForFileExtension(std::string("jpg"))->name(), upper->name());
  EXPECT_EQ(m_manager->fileIconCache()->size(), 2u);
  EXPECT_NE(m_manager->iconForFileExtension(std::nullopt)->name().find("filetype_icon_unknown"), std::string::npos);
  EXPECT_NE(m_manager->iconForFileExtension(std::string("zzqqx"))->name().find("filetype_icon_unknown"), std::string::npos);
  EXPECT_NE(m_manager->iconForFileWithURL(URL::fileURLWithPath("/tmp/x.PDF"))->name().find("filetype_icon_pdf"),
            std::string::npos);
  NotificationCenter::defaultCenter().post(kKMMemoryWarningNotificationName);
  EXPECT_FALSE(m_manager->fileIconCache().has_value());
  EXPECT_TRUE(m_manager->iconForFileExtension(std::string("jpg")));
  EXPECT_EQ(m_manager->fileIconCache()->size(), 1u);
}

TEST_F(KMWebDAVFileManagerTest, OtherTypesTakeTheDesktopIconWhenTheThemeHasOne) {
  auto path = KMWebDAVFileManager::desktopIconPathForExtension("odt");
  if (!path) GTEST_SKIP() << "no icon theme with a document icon is installed";
  auto icon = m_manager->iconForFileExtension(std::string("odt"));
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->name().find("filetype_icon_unknown"), std::string::npos);
}

TEST_F(KMWebDAVFileManagerTest, DirectoriesShowTheFolderImageEvenWithAPreviewFile) {
  URL url = *URL::fromString("https://h/disk/pics.png");
  KMDirectory directory(url);
  auto icon = m_manager->iconForFileItem(directory);
  ASSERT_TRUE(icon);
  EXPECT_NE(icon->name().find("Directory"), std::string::npos);
}

}  // namespace
}  // namespace kdisk::test
