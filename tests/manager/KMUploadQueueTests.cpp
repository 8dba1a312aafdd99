#include "manager/KMUploadQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "manager/KMUploadNotifications.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "storage/KMWebDAVStorage.h"
#include "support/TemporaryDirectory.h"
#include "webdav/KMFile.h"

using namespace kdisk;
using namespace kdisk::manager;
namespace fs = std::filesystem;

namespace {

URL remote(const std::string& path) { return *URL::fromString("https://webdav.kalumo.test" + path); }

std::vector<URL> urls(std::initializer_list<const char*> paths) {
  std::vector<URL> result;
  for (const char* path : paths) result.push_back(remote(path));
  return result;
}

std::string contentOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class KMUploadQueueTests : public testing::Test {
 protected:
  void SetUp() override {
    m_storage = std::make_shared<KMWebDAVStorage>();
    m_storage->setRootURL(remote("/disk/"));
    fs::create_directories(m_library.file("Pictures"));
    KMUploadQueue::Environment environment;
    environment.OAuthToken = [] { return std::optional<std::string>("token"); };
    environment.notificationObject = this;
    const std::string pictures = m_library.file("Pictures");
    environment.photoLibrary = [pictures] { return PhotoLibrary({pictures}); };
    m_queue = KMUploadQueue::create(m_storage, environment);
  }

  std::string picture(const std::string& name, std::size_t size) {
    std::string path = m_library.file("Pictures/" + name);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>('A' + (i * 7) % 26));
    return path;
  }

  // Waits for the serial queue to handle everything asked of it so far.
  // Twice: a step that was running queues its follow-up behind the first.
  void drainQueue() {
    m_queue->serialUploadQueue()->sync([] {});
    m_queue->serialUploadQueue()->sync([] {});
    RunLoop::main().runPending();
  }

  test::IsolatedHome m_home;
  test::TemporaryDirectory m_library;
  std::shared_ptr<KMWebDAVStorage> m_storage;
  std::shared_ptr<KMUploadQueue> m_queue;
};

}  // namespace

// ---- Unique names

TEST(KMUploadQueueNames, AFreeNameIsKept) {
  EXPECT_EQ(KMUploadQueue::uniqueURLForDefaultURLInUsedURLs(remote("/disk/a.jpg"), urls({"/disk/b.jpg"})),
            remote("/disk/a.jpg"));
}

TEST(KMUploadQueueNames, ATakenNameCountsUpPastCachedAndQueuedNames) {
  EXPECT_EQ(KMUploadQueue::uniqueURLForDefaultURLInUsedURLs(remote("/disk/a.jpg"),
                                                           urls({"/disk/a.jpg", "/disk/a%20(1).jpg"})),
            remote("/disk/a%20(2).jpg"));
}

TEST(KMUploadQueueNames, ANumberedNameCountsOnInsteadOfNestingNumbers) {
  EXPECT_EQ(KMUploadQueue::uniqueURLForDefaultURLInUsedURLs(remote("/disk/photo%20(4).jpg"),
                                                           urls({"/disk/photo%20(4).jpg"})),
            remote("/disk/photo%20(5).jpg"));
}

TEST(KMUploadQueueNames, ComparisonIsCaseSensitive) {
  EXPECT_EQ(KMUploadQueue::uniqueURLForDefaultURLInUsedURLs(remote("/disk/A.jpg"), urls({"/disk/a.jpg"})),
            remote("/disk/A.jpg"));
}

TEST(KMUploadQueueNames, ANameWithoutExtensionGetsNoTrailingDot) {
  EXPECT_EQ(KMUploadQueue::uniqueURLForDefaultURLInUsedURLs(remote("/disk/notes"), urls({"/disk/notes"})),
            remote("/disk/notes%20(1)"));
  EXPECT_EQ(KMUploadQueue::uniqueURLForDefaultURLInUsedURLs(remote("/disk/.profile"), urls({"/disk/.profile"})),
            remote("/disk/.profile%20(1)"));
}

TEST(KMUploadQueueNames, ANameTheServerSpellsWithOtherEscapesCountsAsTaken) {
  EXPECT_EQ(KMUploadQueue::uniqueURLForDefaultURLInUsedURLs(remote("/disk/a%20(1).jpg"),
                                                           urls({"/disk/a%20%281%29.jpg"})),
            remote("/disk/a%20(2).jpg"));
}

TEST(KMUploadQueueNames, OnlyABlankAndDigitsInParenthesesCount) {
  EXPECT_EQ(KMUploadQueue::uniqueURLForDefaultURLInUsedURLs(remote("/disk/v(2).jpg"), urls({"/disk/v(2).jpg"})),
            remote("/disk/v(2)%20(1).jpg"));
  EXPECT_EQ(KMUploadQueue::uniqueURLForDefaultURLInUsedURLs(remote("/disk/v%20(x).jpg"), urls({"/disk/v%20(x).jpg"})),
            remote("/disk/v%20(x)%20(1).jpg"));
  // Too large to count on from: kept as part of the name.
  EXPECT_EQ(KMUploadQueue::uniqueURLForDefaultURLInUsedURLs(remote("/disk/v%20(99999999999999999999).jpg"),
                                                           urls({"/disk/v%20(99999999999999999999).jpg"})),
            remote("/disk/v%20(99999999999999999999)%20(1).jpg"));
}

TEST(KMUploadQueueNames, TheDateFormatterUsesDashesInTheTimeAndTheLocalZone) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(KMUploadQueue::fileNameDateFormatter().stringFromDate(Date{1338559439}), "2012-06-01 14-03-59");
  EXPECT_EQ(&KMUploadQueue::fileNameDateFormatter(), &KMUploadQueue::fileNameDateFormatter());
  ::unsetenv("TZ");
  ::tzset();
}

// ---- Adding

TEST_F(KMUploadQueueTests, WhileUnreachableQueuingPostsTheChangeAndStartsNothing) {
  std::vector<std::string> names;
  auto token = NotificationCenter::defaultCenter().addObserver(
      kKMKMWebDAVFileManagerUploadQueueWasChanged, this,
      [&](const Notification& n) { names.push_back(*stringForKey(n.userInfo, "URL")); });
  auto target = m_queue->uploadFileWithDataTo("hello", remote("/disk/Docs/a.txt"));
  ASSERT_TRUE(target.hasValue());
  drainQueue();
  EXPECT_EQ(names, std::vector<std::string>{remote("/disk/Docs/").absoluteString()});
  EXPECT_FALSE(m_queue->uploadingFileURL());
  auto row = m_storage->nextFileInUploadQueue();
  ASSERT_TRUE(row);
  EXPECT_EQ(row->URL(), remote("/disk/Docs/a.txt"));
  EXPECT_EQ(row->size(), 5u);
  EXPECT_EQ(contentOf(row->localURL()->path()), "hello");
}

TEST_F(KMUploadQueueTests, InMemoryUploadsOfOneNameToTwoFoldersKeepTheirOwnBytes) {
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("first", remote("/disk/A/photo.jpg")).hasValue());
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("second", remote("/disk/B/photo.jpg")).hasValue());
  auto a = m_storage->uploadFileAtURL(remote("/disk/A/photo.jpg"));
  auto b = m_storage->uploadFileAtURL(remote("/disk/B/photo.jpg"));
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->localURL(), b->localURL());
  EXPECT_EQ(contentOf(a->localURL()->path()), "first");
  EXPECT_EQ(contentOf(b->localURL()->path()), "second");
}

TEST_F(KMUploadQueueTests, AnInMemoryUploadThatCannotBeWrittenIsNotQueued) {
  fs::create_directories(m_home.path() + "/blocked");
  std::ofstream(m_home.path() + "/blocked/uploads") << "a file where the folder should be";
  KMUploadQueue::Environment environment;
  environment.temporaryDirectory = m_home.path() + "/blocked";
  auto queue = KMUploadQueue::create(m_storage, environment);
  auto result = queue->uploadFileWithDataTo("bytes", remote("/disk/x.txt"));
  EXPECT_FALSE(result.hasValue());
  EXPECT_FALSE(m_storage->nextFileInUploadQueue());
}

TEST_F(KMUploadQueueTests, ALocalFileIsQueuedInPlaceWithItsSize) {
  auto path = picture("in-place.jpg", 1234);
  auto target = m_queue->uploadFileForFileURLTo(URL::fileURLWithPath(path), remote("/disk/in-place.jpg"));
  ASSERT_TRUE(target.hasValue());
  auto row = m_storage->uploadFileAtURL(target.value());
  ASSERT_TRUE(row);
  EXPECT_EQ(row->localURL(), URL::fileURLWithPath(path));
  EXPECT_EQ(row->size(), 1234u);
}

TEST_F(KMUploadQueueTests, AssetsAvoidNamesInTheFolderAndEarlierAssetsOfTheBatch) {
  auto file = KMFile::fileItemWithURL(remote("/disk/P/a.jpg"));
  ASSERT_TRUE(m_storage->addItem(*file).hasValue());
  auto first = PhotoLibrary::assetForFilePath(picture("a.jpg", 10));
  fs::create_directories(m_library.file("Pictures/Other"));
  std::ofstream(m_library.file("Pictures/Other/a.jpg")) << "x";
  auto second = PhotoLibrary::assetForFilePath(m_library.file("Pictures/Other/a.jpg"));
  ASSERT_TRUE(first && second);
  auto targets = m_queue->uploadFilesForAssetsToDir({first, second}, remote("/disk/P/"));
  EXPECT_EQ(targets, urls({"/disk/P/a%20(1).jpg", "/disk/P/a%20(2).jpg"}));
  // Newest first: the last asset of the batch goes first.
  EXPECT_EQ(m_storage->nextFileInUploadQueue()->URL(), remote("/disk/P/a%20(2).jpg"));
  EXPECT_EQ(m_storage->nextFileInUploadQueue()->localURL(), second->url());
}

TEST_F(KMUploadQueueTests, AssetsWithoutFileNamesAreNamedByCreationDateAndLowerCaseExtension) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  auto url = *URL::fromString("assets-library://asset/asset.JPG?id=x&ext=JPG");
  auto one = std::make_shared<PhotoAsset>("", url, PhotoAssetType::Photo, Date{1338559439}, 3);
  auto two = std::make_shared<PhotoAsset>("", url, PhotoAssetType::Photo, Date{1338559439.5}, 4);
  auto targets = m_queue->uploadFilesForAssetsToDir({one, two}, remote("/disk/"));
  ::unsetenv("TZ");
  ::tzset();
  // A representation without a path offers no file name.
  EXPECT_EQ(targets, urls({"/disk/2012-06-01%2014-03-59.jpg", "/disk/2012-06-01%2014-03-59%20(1).jpg"}));
}

TEST_F(KMUploadQueueTests, UploadsQueuedFromSeveralThreadsAtOnceEachGetTheirOwnName) {
  constexpr int kThreads = 4, kEach = 10;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i)
        m_queue->uploadFileWithDataTo(std::to_string(t * 100 + i), remote("/disk/same.txt"));
    });
  }
  for (auto& thread : threads) thread.join();
  auto rows = m_storage->uploadsInDirectoryAtURL(remote("/disk/"));
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kThreads * kEach));
  std::set<std::string> names, contents;
  for (const auto& row : rows) {
    names.insert(row->URL().absoluteString());
    contents.insert(contentOf(row->localURL()->path()));
  }
  EXPECT_EQ(names.size(), rows.size());
  EXPECT_EQ(contents.size(), rows.size());
}

// ---- Library copies

TEST_F(KMUploadQueueTests, AnAssetIsCopiedWholeIntoTheCopiesFolder) {
  auto path = picture("big.JPG", 8192 * 3 + 17);
  auto asset = PhotoLibrary::assetForFilePath(path);
  std::atomic<bool> done{false};
  std::string copied;
  m_queue->saveAssetToTempFileCompletionBlockFailureBlock(
      asset->url(), [&](const URL& file) { copied = file.path(); done = true; },
      [&](const std::optional<KMError>&) { done = true; });
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, 10));
  EXPECT_EQ(copied, m_queue->assetCopiesDirectory() + "/asset.JPG");
  EXPECT_EQ(contentOf(copied), contentOf(path));
}

TEST_F(KMUploadQueueTests, AnEmptyAssetGivesAnEmptyCopy) {
  auto asset = PhotoLibrary::assetForFilePath(picture("empty.png", 0));
  std::atomic<bool> done{false};
  std::string copied = "none";
  m_queue->saveAssetToTempFileCompletionBlockFailureBlock(
      asset->url(), [&](const URL& file) { copied = file.path(); done = true; },
      [&](const std::optional<KMError>&) { done = true; });
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, 10));
  EXPECT_EQ(contentOf(copied), "");
}

TEST_F(KMUploadQueueTests, AVanishedAssetFailsTheCopyWithAnError) {
  auto path = picture("gone.jpg", 10);
  auto url = PhotoLibrary::assetURLForFilePath(path);
  fs::remove(path);
  std::atomic<bool> done{false};
  std::optional<KMError> failure;
  bool completed = false;
  m_queue->saveAssetToTempFileCompletionBlockFailureBlock(
      url, [&](const URL&) { completed = true; done = true; },
      [&](const std::optional<KMError>& error) { failure = error; done = true; });
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, 10));
  EXPECT_FALSE(completed);
  ASSERT_TRUE(failure);
  EXPECT_TRUE(failure->is(kKMPhotoLibraryErrorDomain, kKMPhotoLibraryAssetGone));
}

TEST_F(KMUploadQueueTests, AVanishedAssetIsMarkedFailedAndTheQueueGoesOn) {
  auto gone = PhotoLibrary::assetForFilePath(picture("gone.jpg", 10));
  m_queue->uploadFilesForAssetsToDir({gone}, remote("/disk/"));
  fs::remove(m_library.file("Pictures/gone.jpg"));
  std::vector<std::string> failed;
  auto token = NotificationCenter::defaultCenter().addObserver(
      kKMKMWebDAVFileManagerDidFailToUploadFile, this,
      [&](const Notification& n) { failed.push_back(*stringForKey(n.userInfo, "URL")); });
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return !failed.empty(); }, 10));
  drainQueue();
  auto row = m_storage->uploadFileAtURL(remote("/disk/gone.jpg"));
  ASSERT_TRUE(row);
  EXPECT_TRUE(row->failed());
  EXPECT_EQ(row->failReason(), std::string(kKMWebDAVFileManagerUploadErrorCannotSaveAssetToTempFile));
  EXPECT_FALSE(m_queue->uploadingFileURL());
  EXPECT_FALSE(m_storage->nextFileInUploadQueue());
}

// ---- Checked contracts

TEST_F(KMUploadQueueTests, ADecisionTakenOffTheSerialQueueAborts) {
  if (!kContractsChecked) GTEST_SKIP() << "contracts are compiled out of this build";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto record = std::make_shared<KMUploadRequest>();
  record->URL = remote("/disk/a.txt");
  EXPECT_DEATH(m_queue->didFailUpload(record),
               "KMUploadQueue::didFailUpload belongs to queue ru.kalumo.disk.serialUploadQueue but was called "
               "from the main thread");
}

TEST_F(KMUploadQueueTests, ASendStartedWithoutTakingTheSlotBreaksTheStateTable) {
  if (!kContractsChecked) GTEST_SKIP() << "contracts are compiled out of this build";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string source = picture("a.jpg", 10);
  EXPECT_DEATH(m_queue->serialUploadQueue()->sync(
                   [&] { m_queue->startUploadFileAtTo(URL::fileURLWithPath(source), remote("/disk/a.jpg")); }),
               "KMUploadQueue: a send or a picked row without the slot");
}
