// Downloads, previews, delete, create, publish and account requests against
// kdisk-service, with the store and the local files checked after each.
#include <fstream>

#include "ManagerFixture.h"
#include "graphics/UIImage.h"
#include "platform/Bundle.h"

namespace kdisk::test {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string pictureBytes() {
  auto path = Bundle::mainBundle().pathForResourceOfType("images/filetype_icon_jpg", "png");
  return path ? readFile(*path) : std::string();
}

class ManagerFileTest : public ManagerServiceTest {
 protected:
  ServiceOptions options() override {
    ServiceOptions made;
    made.quotaBytes = 10'000'000;
    made.maxFileSizeBytes = 5'000'000;
    return made;
  }
};

TEST_F(ManagerFileTest, DownloadStreamsIntoTheCacheWithProgressAndKeepsTheETag) {
  std::string content(300'000, 'q');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('a' + i % 23);
  ASSERT_EQ(put("/disk/big%20file.bin", content).status, 201);
  ASSERT_TRUE(refresh(root()));
  URL file = at("/disk/big%20file.bin");
  auto serverTag = dav("HEAD", "/disk/big%20file.bin").header("ETag");
  ASSERT_TRUE(serverTag);
  m_storage->updateETagForItemAtURL(std::string("\"outdated\""), file);

  m_recorder.clear();
  auto request = m_manager->startDownloadFileForURL(file);
  ASSERT_TRUE(request);
  ASSERT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidDownloadFile, kKMKMWebDAVFileManagerDidFailToDownloadFile}));
  // Progress is reported asynchronously and may trail the finish.
  EXPECT_TRUE(RunLoop::main().runUntil([&] {
    for (auto& report : m_recorder.named(kKMKMWebDAVFileManagerDidGetPartialDataForFile))
      if (find(report.userInfo, "receivedDataLength")->integerValue() == 300'000) return true;
    return false;
  }, 10));
  ASSERT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidDownloadFile), 1u);
  EXPECT_EQ(m_recorder.names().front(), kKMKMWebDAVFileManagerDidStartDownloadFile);
  auto progress = m_recorder.named(kKMKMWebDAVFileManagerDidGetPartialDataForFile);
  ASSERT_FALSE(progress.empty());
  auto last = *std::max_element(progress.begin(), progress.end(), [](auto& a, auto& b) {
    return find(a.userInfo, "receivedDataLength")->integerValue() < find(b.userInfo, "receivedDataLength")->integerValue();
  });
  EXPECT_EQ(find(last.userInfo, "receivedDataLength")->integerValue(), 300'000);
  EXPECT_EQ(find(last.userInfo, "expectedDataLength")->integerValue(), 300'000);
  EXPECT_EQ(last.string("URL"), file.absoluteString());
  EXPECT_TRUE(m_recorder.allOnMainThread());

  EXPECT_EQ(readFile(*m_storage->localPathForWebURL(file)), content);
  auto cached = std::dynamic_pointer_cast<KMFile>(m_storage->fileItemAtURL(file));
  ASSERT_TRUE(cached);
  EXPECT_EQ(cached->etag(), serverTag);
}

TEST_F(ManagerFileTest, CutDownloadFailsWithoutErrorKeyAndLeavesNoPartialFile) {
  ASSERT_EQ(put("/disk/cut.bin", std::string(100'000, 'c')).status, 201);
  URL file = at("/disk/cut.bin");
  ASSERT_TRUE(m_service.faults().cutResponseBodyAfter("GET", "/disk/cut.bin", 10'000));
  m_manager->startDownloadFileForURL(file);
  ASSERT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidDownloadFile, kKMKMWebDAVFileManagerDidFailToDownloadFile}));
  m_recorder.drain();
  auto failed = m_recorder.named(kKMKMWebDAVFileManagerDidFailToDownloadFile);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_FALSE(failed[0].has("error"));
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidDownloadFile), 0u);
  EXPECT_FALSE(m_storage->hasCachedFileForURL(file));
}

TEST_F(ManagerFileTest, MissingFileFailsAndDoesNotTakeTheErrorPagesETag) {
  ASSERT_EQ(put("/disk/present.txt", "p").status, 201);
  ASSERT_TRUE(refresh(root()));
  URL file = at("/disk/present.txt");
  auto before = std::dynamic_pointer_cast<KMFile>(m_storage->fileItemAtURL(file))->etag();
  ASSERT_EQ(dav("DELETE", "/disk/present.txt").status / 100, 2);
  m_manager->startDownloadFileForURL(file);
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidFailToDownloadFile));
  EXPECT_EQ(std::dynamic_pointer_cast<KMFile>(m_storage->fileItemAtURL(file))->etag(), before);
}

TEST_F(ManagerFileTest, PreviewIsFetchedIntoThePreviewFileAndThumbnailedOnce) {
  const std::string picture = pictureBytes();
  ASSERT_FALSE(picture.empty());
  ASSERT_EQ(put("/disk/photo.PNG", picture).status, 201);
  ASSERT_TRUE(refresh(root()));
  URL file = at("/disk/photo.PNG");
  auto item = m_storage->fileItemAtURL(file);
  ASSERT_TRUE(item);
  EXPECT_TRUE(m_manager->needDownloadPreview(*item));
  EXPECT_EQ(m_manager->previewForFileItem(*item), nullptr);

  m_manager->startDownloadFilePreviewForURL(file);
  ASSERT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidDownloadPreview, kKMKMWebDAVFileManagerDidFailToDownloadPreview}));
  m_recorder.drain();
  auto done = m_recorder.named(kKMKMWebDAVFileManagerDidDownloadPreview);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].string("URL"), m_manager->previewURLForFileURL(file).absoluteString());
  EXPECT_EQ(done[0].string("URL"), file.absoluteString() + "?preview&size=96");
  // Made off the main thread before the news, so the screen only shows it.
  ASSERT_TRUE(m_manager->filePreviewCache());
  EXPECT_EQ(m_manager->filePreviewCache()->count(*m_storage->previewPathForWebURL(file)), 1u);

  auto thumbnail = m_manager->previewForFileItem(*item);
  ASSERT_TRUE(thumbnail);
  EXPECT_EQ(m_manager->previewForFileItem(*item), thumbnail) << "served from the cache";
  EXPECT_EQ(m_manager->iconForFileItem(*item), thumbnail);
  NotificationCenter::defaultCenter().post(kKMMemoryWarningNotificationName);
  EXPECT_FALSE(m_manager->filePreviewCache().has_value());
  auto rebuilt = m_manager->previewForFileItem(*item);
  ASSERT_TRUE(rebuilt);
  EXPECT_NE(rebuilt, thumbnail);

  // Deleting the file drops its thumbnail.
  m_manager->removeItemAtURL(file);
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidRemove));
  EXPECT_EQ(m_manager->filePreviewCache()->count(*m_storage->previewPathForWebURL(file)), 0u);
}

TEST_F(ManagerFileTest, PreviewOfSomethingThatIsNoPictureFails) {
  ASSERT_EQ(put("/disk/fake.jpg", "not a picture at all").status, 201);
  m_manager->startDownloadFilePreviewForURL(at("/disk/fake.jpg"));
  ASSERT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidDownloadPreview, kKMKMWebDAVFileManagerDidFailToDownloadPreview}));
  m_recorder.drain();
  auto failed = m_recorder.named(kKMKMWebDAVFileManagerDidFailToDownloadPreview);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_FALSE(failed[0].has("error"));
}

// A row asks for its icon on the main thread: a preview already on disk is
// decoded in the background meanwhile and announced; a broken one is removed
// without a word.
TEST_F(ManagerFileTest, PreviewsOnDiskAreDecodedInTheBackgroundForRowIcons) {
  const URL good = at("/disk/good.png"), broken = at("/disk/broken.jpg");
  for (const auto& [url, bytes] : {std::pair{good, pictureBytes()}, std::pair{broken, std::string("<html>")}}) {
    auto path = m_storage->previewPathForWebURL(url);
    ASSERT_TRUE(path);
    std::filesystem::create_directories(std::filesystem::path(*path).parent_path());
    std::ofstream(*path, std::ios::binary) << bytes;
  }
  KMFile goodItem(good), brokenItem(broken);
  const auto typeIcon = m_manager->iconForFileExtension("png");
  EXPECT_EQ(m_manager->iconForFileItem(goodItem), typeIcon) << "the type's icon while decoding";
  EXPECT_EQ(m_manager->iconForFileItem(brokenItem), m_manager->iconForFileExtension("jpg"));
  EXPECT_EQ(m_manager->iconForFileItem(goodItem), typeIcon) << "asked again: one decode";
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidLoadPreview));
  ASSERT_TRUE(RunLoop::main().runUntil(
      [&] { return !std::filesystem::exists(*m_storage->previewPathForWebURL(broken)); }, 10));
  m_recorder.drain();
  auto loaded = m_recorder.named(kKMKMWebDAVFileManagerDidLoadPreview);
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_TRUE(loaded[0].onMainThread);
  EXPECT_EQ(loaded[0].string("URL"), good.absoluteString());
  auto thumbnail = m_manager->iconForFileItem(goodItem);
  EXPECT_NE(thumbnail, typeIcon);
  EXPECT_EQ(thumbnail, m_manager->previewForFileItem(goodItem));
  EXPECT_EQ(m_manager->iconForFileItem(brokenItem), m_manager->iconForFileExtension("jpg"));
}

TEST_F(ManagerFileTest, UndecodablePreviewFileGivesNoThumbnailAndIsRemoved) {
  URL file = at("/disk/broken.png");
  auto path = m_storage->previewPathForWebURL(file);
  ASSERT_TRUE(path);
  std::filesystem::create_directories(std::filesystem::path(*path).parent_path());
  std::ofstream(*path) << "<html>not an image</html>";
  KMFile item(file);
  EXPECT_EQ(m_manager->previewForFileItem(item), nullptr);
  EXPECT_FALSE(std::filesystem::exists(*path));
  EXPECT_NE(m_manager->iconForFileItem(item)->name().find("filetype_icon_png"), std::string::npos);
}

TEST_F(ManagerFileTest, RemoveReportsTheStatusAndCountsAMissingItemAsRemoved) {
  ASSERT_EQ(put("/disk/doomed.txt", "d").status, 201);
  m_manager->removeItemAtURL(at("/disk/doomed.txt"));
  m_manager->removeItemAtURL(at("/disk/never-was.txt"));
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidRemove, 2));
  m_recorder.drain();
  std::map<std::string, std::int64_t> statuses;
  for (auto& removed : m_recorder.named(kKMKMWebDAVFileManagerDidRemove))
    statuses[removed.string("URL")] = find(removed.userInfo, "statusCode")->integerValue().value_or(0);
  EXPECT_EQ(statuses[at("/disk/never-was.txt").absoluteString()], 404);
  EXPECT_EQ(statuses[at("/disk/doomed.txt").absoluteString()] / 100, 2);
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidSendRemoveRequest), 2u);
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidFailWithRemoveRequest), 0u);
  EXPECT_EQ(dav("HEAD", "/disk/doomed.txt").status, 404);
}

TEST_F(ManagerFileTest, RefusedRemoveFailsWithTheRequestError) {
  ASSERT_EQ(put("/disk/kept.txt", "k").status, 201);
  ASSERT_TRUE(m_service.faults().failNext("DELETE", "/disk/kept.txt", 403));
  m_manager->removeItemAtURL(at("/disk/kept.txt"));
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidFailWithRemoveRequest));
  m_recorder.drain();
  auto failed = m_recorder.named(kKMKMWebDAVFileManagerDidFailWithRemoveRequest);
  auto error = errorIn(failed.at(0).userInfo);
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(kKMRequestErrorDomain, kKMRequestErrorNotAccepted));
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidRemove), 0u);
  EXPECT_EQ(dav("HEAD", "/disk/kept.txt").status, 200);
}

TEST_F(ManagerFileTest, CreateDirectoryEscapesTheNameAndCachesTheFolder) {
  URL parent = *URL::fromString(m_service.endpoints().httpsBaseURL + "/disk");  // no trailing slash
  m_manager->createDirectoryWithNameAt("Новая папка", parent);
  m_manager->createDirectoryWithNameAt("50% off?#1", root());
  ASSERT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidCreateDirectory, kKMKMWebDAVFileManagerDidFailToCreateDirectory}, 2));
  m_recorder.drain();
  auto created = m_recorder.named(kKMKMWebDAVFileManagerDidCreateDirectory);
  ASSERT_EQ(created.size(), 2u);
  std::set<std::string> urls{created[0].string("URL"), created[1].string("URL")};
  const std::string cyrillic = m_service.endpoints().httpsBaseURL +
                               "/disk/%D0%9D%D0%BE%D0%B2%D0%B0%D1%8F%20%D0%BF%D0%B0%D0%BF%D0%BA%D0%B0/";
  EXPECT_TRUE(urls.count(cyrillic));
  EXPECT_TRUE(urls.count(m_service.endpoints().httpsBaseURL + "/disk/50%25%20off%3F%231/"));
  EXPECT_TRUE(std::filesystem::is_directory(aliceRoot() / "Новая папка"));
  EXPECT_TRUE(std::filesystem::is_directory(aliceRoot() / "50% off?#1"));
  EXPECT_EQ(cachedNames(root()), (std::vector<std::string>{"50% off?#1/", "Новая папка/"}));
}

TEST_F(ManagerFileTest, CreateDirectoryRefusesNamesThatLeaveTheParent) {
  ASSERT_EQ(dav("MKCOL", "/disk/inner/").status, 201);
  m_service.faults().forgetServedRequests();
  m_manager->createDirectoryWithNameAt("../escaped", root().appendingPathComponent("inner", true));
  m_manager->createDirectoryWithNameAt("..", root());
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidFailToCreateDirectory, 2));
  for (auto& served : m_service.faults().servedRequests()) EXPECT_NE(served.method, "MKCOL");
  EXPECT_FALSE(std::filesystem::exists(aliceRoot() / "escaped"));
}

TEST_F(ManagerFileTest, CreatingAnExistingDirectoryFailsAndLeavesTheStore) {
  ASSERT_EQ(dav("MKCOL", "/disk/twice/").status, 201);
  m_manager->createDirectoryWithNameAt("twice", root());
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidFailToCreateDirectory));
  m_recorder.drain();
  auto failed = m_recorder.named(kKMKMWebDAVFileManagerDidFailToCreateDirectory);
  EXPECT_TRUE(failed.at(0).has("error"));
  EXPECT_TRUE(cachedNames(root()).empty());
}

TEST_F(ManagerFileTest, PublishGivesThePublicLinkOnceAndTheLinkServesTheFile) {
  ASSERT_EQ(put("/disk/share%20me.txt", "shared content").status, 201);
  auto request = m_manager->publishFileWithURL(at("/disk/share%20me.txt"));
  ASSERT_TRUE(request);
  ASSERT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidPublishFile, kKMKMWebDAVFileManagerDidFailWithPublishRequest}));
  RunLoop::main().runUntil([&] { return !request->hasActiveConnection(); }, 5);
  m_recorder.drain();
  auto published = m_recorder.named(kKMKMWebDAVFileManagerDidPublishFile);
  ASSERT_EQ(published.size(), 1u);
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidFailWithPublishRequest), 0u);
  EXPECT_EQ(published[0].string("URL"), at("/disk/share%20me.txt").absoluteString());
  HttpCall call;
  call.url = published[0].string("locationURL");
  call.caFile = m_service.endpoints().caCertificate;
  EXPECT_EQ(perform(call).body, "shared content");
}

TEST_F(ManagerFileTest, PublishingAFolderFails) {
  ASSERT_EQ(dav("MKCOL", "/disk/folder/").status, 201);
  m_manager->publishFileWithURL(at("/disk/folder/"));
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidFailWithPublishRequest));
  m_recorder.drain();
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidPublishFile), 0u);
  EXPECT_TRUE(m_recorder.named(kKMKMWebDAVFileManagerDidFailWithPublishRequest)[0].has("error"));
}

TEST_F(ManagerFileTest, UserInfoGivesTheLoginAndNeedsAToken) {
  m_manager->sendUserInfoRequest();
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidReceiveUserInfo));
  EXPECT_EQ(m_recorder.named(kKMKMWebDAVFileManagerDidReceiveUserInfo)[0].string("login"), "alice");

  KMSettings::mainSettings().setToken(std::string());
  m_service.faults().forgetServedRequests();
  m_manager->sendUserInfoRequest();
  RunLoop::main().runUntil([] { return false; }, 0.2);
  EXPECT_TRUE(m_service.faults().servedRequests().empty());
}

TEST_F(ManagerFileTest, QuotaFiguresArriveAsNumbers) {
  ASSERT_EQ(put("/disk/used.bin", std::string(1234, 'u')).status, 201);
  m_manager->sendAdditionalInfoRequest();
  ASSERT_TRUE(m_recorder.waitFor({kKMKMWebDAVFileManagerDidReceiveAdditionalInfo, kKMKMWebDAVFileManagerDidFailWithAdditionalInfoRequest}));
  m_recorder.drain();
  EXPECT_EQ(m_recorder.names().front(), kKMKMWebDAVFileManagerDidSendAdditionalInfoRequest);
  auto info = m_recorder.named(kKMKMWebDAVFileManagerDidReceiveAdditionalInfo).at(0).userInfo;
  EXPECT_EQ(find(info, "maxFileSizeNum")->integerValue(), 5'000'000);
  EXPECT_EQ(find(info, "quotaUsedBytesNum")->integerValue(), 1234);
  EXPECT_EQ(find(info, "quotaAvailableBytesNum")->integerValue(), 10'000'000 - 1234);
}

TEST_F(ManagerFileTest, QuotaFailureCarriesTheError) {
  ASSERT_TRUE(m_service.faults().failNext("PROPFIND", "/disk/", 502));
  m_manager->sendAdditionalInfoRequest();
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidFailWithAdditionalInfoRequest));
  EXPECT_TRUE(m_recorder.named(kKMKMWebDAVFileManagerDidFailWithAdditionalInfoRequest)[0].has("error"));
}

TEST_F(ManagerFileTest, NetworkMonitorFindsTheLoopbackServiceOnTheMainThread) {
  auto watching = KMWebDAVFileManager::create(m_storage, {root(), true});
  EXPECT_FALSE(watching->hostIsReachable());
  EXPECT_TRUE(RunLoop::main().runUntil([&] { return watching->hostIsReachable(); }, 10));
}

}  // namespace
}  // namespace kdisk::test
