// The upload queue against kdisk-service and its fault injection: what the
// service ends up holding, what the queue's rows say, and in which order.
#include "ServiceFixture.h"

#include <csignal>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

#include "manager/KMUploadNotifications.h"
#include "manager/KMUploadQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "storage/KMWebDAVStorage.h"
#include "support/TemporaryDirectory.h"
#include "webdav/KMFile.h"
#include "webdav/KMHTTPTransfer.h"
#include "webdav/KMUploadTransfer.h"

using namespace kdisk;
using namespace kdisk::manager;
using namespace kdisk::test;
namespace fs = std::filesystem;

namespace {

struct Event {
  std::string name;
  std::string url;
  std::uint64_t uploadedSize = 0;
};

// Every notification of the queue, in the order observers saw them.
class Recorder {
 public:
  explicit Recorder(const void* object) {
    for (const char* name : {kKMKMWebDAVFileManagerUploadQueueWasChanged, kKMKMWebDAVFileManagerDidStartUploadFile,
                             kKMKMWebDAVFileManagerDidSendBytesForUploadFile, kKMKMWebDAVFileManagerDidUploadFile,
                             kKMKMWebDAVFileManagerDidFailToUploadFile}) {
      m_tokens.push_back(NotificationCenter::defaultCenter().addObserver(name, object, [this](const Notification& n) {
        Event event{n.name, stringForKey(n.userInfo, "URL").value_or("")};
        if (auto* size = find(n.userInfo, "uploadedSize")) event.uploadedSize = size->integerValue().value_or(0);
        events.push_back(event);
        if (onEvent) onEvent(event);
      }));
    }
  }
  std::vector<std::string> urlsOf(const std::string& name) const {
    std::vector<std::string> result;
    for (const auto& event : events)
      if (event.name == name) result.push_back(event.url);
    return result;
  }
  std::size_t ended() const {
    return urlsOf(kKMKMWebDAVFileManagerDidUploadFile).size() + urlsOf(kKMKMWebDAVFileManagerDidFailToUploadFile).size();
  }

  std::vector<Event> events;
  std::function<void(const Event&)> onEvent;

 private:
  std::vector<ObserverToken> m_tokens;
};

class UploadQueueService : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    webdav::setAdditionalCertificateAuthorityFile(m_service.endpoints().caCertificate.string());
    m_storage = std::make_shared<KMWebDAVStorage>();
    m_storage->setRootURL(disk(""));
    m_queue = makeQueue();
  }

  void TearDown() override {
    // Nothing of this test may still be running when the next one starts.
    RunLoop::main().runUntil([&] { return !m_queue || !m_queue->uploadingFileURL(); }, 40);
    m_queue->serialUploadQueue()->sync([] {});
    RunLoop::main().runPending();
  }

  std::shared_ptr<KMUploadQueue> makeQueue() {
    KMUploadQueue::Environment environment;
    std::string token = m_token;
    environment.OAuthToken = [token] { return std::optional<std::string>(token); };
    environment.notificationObject = this;
    std::string pictures = m_library.file("Pictures");
    fs::create_directories(pictures);
    environment.photoLibrary = [pictures] { return PhotoLibrary({pictures}); };
    return KMUploadQueue::create(m_storage, environment);
  }

  URL disk(const std::string& rest) const { return *URL::fromString(m_service.endpoints().diskURL() + rest); }

  std::string picture(const std::string& name, std::size_t size, char fill = 'p') {
    std::string path = m_library.file("Pictures/" + name);
    std::ofstream out(path, std::ios::binary);
    std::string block(size, fill);
    for (std::size_t i = 0; i < size; ++i) block[i] = static_cast<char>(fill + i % 7);
    out << block;
    return path;
  }

  // Twice: a step that was running queues its follow-up behind the first.
  void drain() {
    m_queue->serialUploadQueue()->sync([] {});
    m_queue->serialUploadQueue()->sync([] {});
    RunLoop::main().runPending();
  }

  bool waitForEnds(const Recorder& recorder, std::size_t count, double seconds = 30) {
    return RunLoop::main().runUntil([&] { return recorder.ended() >= count; }, seconds);
  }

  std::string onService(const std::string& name) const { return fileContent(aliceRoot() / name); }
  bool existsOnService(const std::string& name) const { return fs::exists(aliceRoot() / name); }

  IsolatedHome m_home;
  TemporaryDirectory m_library;
  std::shared_ptr<KMWebDAVStorage> m_storage;
  std::shared_ptr<KMUploadQueue> m_queue;
};

}  // namespace

TEST_F(UploadQueueService, ThreeAssetsOfOneBatchUploadLastFirstAndTheirCopiesGo) {
  Recorder recorder(this);
  PhotoAssetList assets;
  for (const char* name : {"one.jpg", "two.jpg", "three.jpg"})
    assets.push_back(PhotoLibrary::assetForFilePath(picture(name, 20000 + std::strlen(name))));
  m_queue->uploadFilesForAssetsToDir(assets, disk(""));
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(waitForEnds(recorder, 3));
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidUploadFile),
            (std::vector<std::string>{disk("three.jpg").absoluteString(), disk("two.jpg").absoluteString(),
                                      disk("one.jpg").absoluteString()}));
  for (const char* name : {"one.jpg", "two.jpg", "three.jpg"})
    EXPECT_EQ(onService(name), fileContent(m_library.file(std::string("Pictures/") + name))) << name;
  EXPECT_TRUE(m_storage->uploadsInDirectoryAtURL(std::nullopt).empty());
  auto listed = m_storage->fileItemAtURL(disk("two.jpg"));
  ASSERT_TRUE(listed);
  EXPECT_EQ(listed->displayName(), "two.jpg");
  EXPECT_TRUE(fs::is_empty(m_queue->assetCopiesDirectory()));
}

TEST_F(UploadQueueService, ProgressIsReportedWithTheRunningTotalAndStored) {
  Recorder recorder(this);
  auto path = picture("progress.jpg", 3 * 1024 * 1024);
  m_queue->uploadFileForFileURLTo(URL::fileURLWithPath(path), disk("progress.jpg"));
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(waitForEnds(recorder, 1));
  std::uint64_t last = 0;
  std::size_t reports = 0;
  for (const auto& event : recorder.events) {
    if (event.name != kKMKMWebDAVFileManagerDidSendBytesForUploadFile) continue;
    EXPECT_GE(event.uploadedSize, last);
    last = event.uploadedSize;
    ++reports;
  }
  EXPECT_GE(reports, 1u);
  EXPECT_EQ(last, 3u * 1024 * 1024);
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidUploadFile).size(), 1u);
  // A file handed over by the user is read in place and stays.
  EXPECT_TRUE(fs::exists(path));
}

TEST_F(UploadQueueService, NamesCollideIntoCountedNamesAndAllArriveOnTheService) {
  Recorder recorder(this);
  auto cached = KMFile::fileItemWithURL(disk("a.jpg"));
  ASSERT_TRUE(m_storage->addItem(*cached).hasValue());
  auto first = m_queue->uploadFileWithDataTo("first", disk("a.jpg"));
  auto second = m_queue->uploadFileWithDataTo("second", disk("a.jpg"));
  ASSERT_TRUE(first.hasValue() && second.hasValue());
  EXPECT_EQ(first.value(), disk("a%20(1).jpg"));
  EXPECT_EQ(second.value(), disk("a%20(2).jpg"));
  auto numbered = m_queue->uploadFileWithDataTo("fourth", disk("photo%20(4).jpg"));
  auto counted = m_queue->uploadFileWithDataTo("fifth", disk("photo%20(4).jpg"));
  EXPECT_EQ(counted.value(), disk("photo%20(5).jpg"));
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(waitForEnds(recorder, 4));
  EXPECT_EQ(onService("a (1).jpg"), "first");
  EXPECT_EQ(onService("a (2).jpg"), "second");
  EXPECT_EQ(onService("photo (4).jpg"), "fourth");
  EXPECT_EQ(onService("photo (5).jpg"), "fifth");
  // In-memory copies are removed once the service holds the file.
  EXPECT_TRUE(fs::is_empty(m_queue->dataUploadsDirectory()));
}

TEST_F(UploadQueueService, RefusingAnswersMarkFilesFailedWithTheWrongStatusReasonAndTheQueueGoesOn) {
  Recorder recorder(this);
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("kept", disk("fine.txt")).hasValue());
  for (unsigned status : {403u, 413u, 507u}) {
    std::string name = "refused-" + std::to_string(status) + ".txt";
    ASSERT_TRUE(m_service.faults().failNext("PUT", "/disk/" + name, status));
    ASSERT_TRUE(m_queue->uploadFileWithDataTo("refused", disk(name)).hasValue());
  }
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(waitForEnds(recorder, 4));
  for (unsigned status : {403u, 413u, 507u}) {
    std::string name = "refused-" + std::to_string(status) + ".txt";
    auto row = m_storage->uploadFileAtURL(disk(name));
    ASSERT_TRUE(row) << name;
    EXPECT_TRUE(row->failed());
    EXPECT_EQ(row->failReason(), std::string(kKMWebDAVFileManagerUploadErrorWrongStatusCode));
    EXPECT_EQ(row->uploadedSize(), 0u);
    EXPECT_FALSE(existsOnService(name));
  }
  EXPECT_EQ(onService("fine.txt"), "kept");
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidFailToUploadFile).size(), 3u);
  // A refused in-memory upload keeps its bytes for the user's retry.
  auto refused = m_storage->uploadFileAtURL(disk("refused-403.txt"));
  EXPECT_EQ(fileContent(refused->localURL()->path()), "refused");
}

TEST_F(UploadQueueService, AFileOnTheServiceUnknownToTheCacheIsKeptAndTheUploadTakesTheNextName) {
  Recorder recorder(this);
  // Put there behind the client's back, into a folder it never listed.
  fs::create_directories(aliceRoot() / "Photos");
  std::string original(300000, '\0');
  for (std::size_t i = 0; i < original.size(); ++i) original[i] = static_cast<char>(i * 37 + 11);
  std::ofstream(aliceRoot() / "Photos/a.jpg", std::ios::binary) << original;
  auto queued = m_queue->uploadFileWithDataTo("mine", disk("Photos/a.jpg"));
  ASSERT_TRUE(queued.hasValue());
  EXPECT_EQ(queued.value(), disk("Photos/a.jpg"));
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(waitForEnds(recorder, 1));
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidUploadFile),
            std::vector<std::string>{disk("Photos/a%20(1).jpg").absoluteString()});
  EXPECT_TRUE(onService("Photos/a.jpg") == original) << "the file already there was changed";
  EXPECT_EQ(onService("Photos/a (1).jpg"), "mine");
  EXPECT_TRUE(m_storage->uploadsInDirectoryAtURL(std::nullopt).empty());
  // The folder was listed on the way, so the cache now knows both files.
  EXPECT_TRUE(m_storage->fileItemAtURL(disk("Photos/a.jpg")));
  EXPECT_TRUE(m_storage->fileItemAtURL(disk("Photos/a%20(1).jpg")));
  EXPECT_FALSE(m_queue->uploadingFileURL());
  EXPECT_TRUE(fs::is_empty(m_queue->dataUploadsDirectory()));
}

TEST_F(UploadQueueService, OneListingAfterARefusalSkipsEveryTakenName) {
  Recorder recorder(this);
  fs::create_directories(aliceRoot() / "Photos");
  for (const char* name : {"a.jpg", "a (1).jpg", "a (2).jpg"})
    std::ofstream(aliceRoot() / "Photos" / name) << "theirs " << name;
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("mine", disk("Photos/a.jpg")).hasValue());
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(waitForEnds(recorder, 1));
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidStartUploadFile),
            (std::vector<std::string>{disk("Photos/a.jpg").absoluteString(),
                                      disk("Photos/a%20(3).jpg").absoluteString()}));
  EXPECT_EQ(onService("Photos/a (3).jpg"), "mine");
  for (const char* name : {"a.jpg", "a (1).jpg", "a (2).jpg"})
    EXPECT_EQ(onService(std::string("Photos/") + name), std::string("theirs ") + name);
}

TEST_F(UploadQueueService, NamesRefusedOverAndOverEndInTheWrongStatusFailureAndTheQueueGoesOn) {
  Recorder recorder(this);
  fs::create_directories(aliceRoot() / "Busy");
  ASSERT_TRUE(m_service.faults().failNext("PUT", "/disk/Busy/*", 412, 100));
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("kept", disk("fine.txt")).hasValue());
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("mine", disk("Busy/a.jpg")).hasValue());
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(waitForEnds(recorder, 2));
  const auto started = recorder.urlsOf(kKMKMWebDAVFileManagerDidStartUploadFile);
  ASSERT_EQ(started.size(), 6u);  // five names tried, then the next file
  EXPECT_EQ(started[4], disk("Busy/a%20(4).jpg").absoluteString());
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidFailToUploadFile),
            std::vector<std::string>{started[4]});
  auto row = m_storage->uploadFileAtURL(disk("Busy/a%20(4).jpg"));
  ASSERT_TRUE(row);
  EXPECT_TRUE(row->failed());
  EXPECT_EQ(row->failReason(), std::string(kKMWebDAVFileManagerUploadErrorWrongStatusCode));
  EXPECT_EQ(m_storage->uploadsInDirectoryAtURL(std::nullopt).size(), 1u);
  EXPECT_EQ(fileContent(row->localURL()->path()), "mine");
  EXPECT_EQ(onService("fine.txt"), "kept");
}

TEST_F(UploadQueueService, ACutConnectionMarksTheFileFailedWithTheUnknownReasonAndLeavesNothing) {
  Recorder recorder(this);
  auto path = picture("cut.jpg", 1024 * 1024);
  ASSERT_TRUE(m_service.faults().cutRequestBodyAfter("PUT", "/disk/cut.jpg", 100000));
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("next", disk("older.txt")).hasValue());
  ASSERT_TRUE(m_queue->uploadFileForFileURLTo(URL::fileURLWithPath(path), disk("cut.jpg")).hasValue());
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(waitForEnds(recorder, 2));
  auto row = m_storage->uploadFileAtURL(disk("cut.jpg"));
  ASSERT_TRUE(row);
  EXPECT_TRUE(row->failed());
  EXPECT_EQ(row->failReason(), std::string(kKMWebDAVFileManagerUploadErrorUnknownError));
  EXPECT_EQ(row->uploadedSize(), 0u);
  EXPECT_FALSE(existsOnService("cut.jpg"));
  EXPECT_EQ(onService("older.txt"), "next");
}

TEST_F(UploadQueueService, ARetryAfterALostAnswerKeepsTheStoredCopyButAnotherFileOfTheNameGetsTheNextName) {
  Recorder recorder(this);
  auto path = picture("twice.jpg", 200000);
  ASSERT_TRUE(m_service.faults().loseAnswer("PUT", "/disk/twice.jpg"));
  ASSERT_TRUE(m_service.faults().loseAnswer("PUT", "/disk/replaced.txt"));
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("mine", disk("replaced.txt")).hasValue());
  ASSERT_TRUE(m_queue->uploadFileForFileURLTo(URL::fileURLWithPath(path), disk("twice.jpg")).hasValue());
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(waitForEnds(recorder, 2));
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidFailToUploadFile).size(), 2u);
  ASSERT_EQ(onService("twice.jpg"), fileContent(path)) << "the service stored the body before the answer was lost";
  // Someone else puts a file of their own under the second name meanwhile.
  std::ofstream(aliceRoot() / "replaced.txt", std::ios::trunc) << "theirs, longer";

  for (const char* name : {"twice.jpg", "replaced.txt"})
    m_storage->markUploadFileWithURLFailedWithReason(disk(name), false, std::nullopt);
  m_queue->uploadNextFileInQueue();
  ASSERT_TRUE(waitForEnds(recorder, 4));
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidUploadFile),
            (std::vector<std::string>{disk("twice.jpg").absoluteString(),
                                      disk("replaced%20(1).txt").absoluteString()}));
  EXPECT_FALSE(existsOnService("twice (1).jpg"));
  EXPECT_EQ(onService("replaced.txt"), "theirs, longer");
  EXPECT_EQ(onService("replaced (1).txt"), "mine");
  EXPECT_TRUE(m_storage->uploadsInDirectoryAtURL(std::nullopt).empty());
  EXPECT_TRUE(m_storage->fileItemAtURL(disk("twice.jpg")));
  EXPECT_TRUE(fs::exists(path)) << "the user's own file is never removed";
  EXPECT_TRUE(fs::is_empty(m_queue->dataUploadsDirectory()));
}

TEST_F(UploadQueueService, AStalledServerTimesOutAfterThirtyQuietSecondsOnTheRunClock) {
  VirtualClock clock;
  Recorder recorder(this);
  ASSERT_TRUE(m_service.faults().stall("PUT", "/disk/stalled.txt", std::chrono::seconds(20)));
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("quiet", disk("stalled.txt")).hasValue());
  m_queue->hostReachabilityDidChange(true);
  // The body fits the socket buffers: once it is reported sent, nothing more happens.
  ASSERT_TRUE(RunLoop::main().runUntil([&] {
    return !recorder.urlsOf(kKMKMWebDAVFileManagerDidSendBytesForUploadFile).empty();
  }, 20));
  clock.advance(29);
  RunLoop::main().runPending();
  m_queue->serialUploadQueue()->sync([] {});
  EXPECT_EQ(recorder.ended(), 0u);
  clock.advance(2);
  ASSERT_TRUE(waitForEnds(recorder, 1, 10));
  auto row = m_storage->uploadFileAtURL(disk("stalled.txt"));
  ASSERT_TRUE(row);
  EXPECT_EQ(row->failReason(), std::string(kKMWebDAVFileManagerUploadErrorUnknownError));
  drain();
  EXPECT_FALSE(m_queue->uploadingFileURL());
}

TEST_F(UploadQueueService, ACancelledTransferWhoseRowStaysIsMarkedFailedWithTheUnknownReason) {
  Recorder recorder(this);
  ASSERT_TRUE(m_service.faults().stall("PUT", "/disk/cancelled.txt", std::chrono::seconds(10)));
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("bytes", disk("cancelled.txt")).hasValue());
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(RunLoop::main().runUntil([&] {
    return !recorder.urlsOf(kKMKMWebDAVFileManagerDidSendBytesForUploadFile).empty();
  }, 20));
  auto request = m_queue->inFlightRequestForTesting();
  ASSERT_TRUE(request);
  request->transfer->cancel();
  ASSERT_TRUE(waitForEnds(recorder, 1));
  auto row = m_storage->uploadFileAtURL(disk("cancelled.txt"));
  ASSERT_TRUE(row);
  EXPECT_TRUE(row->failed());
  EXPECT_EQ(row->failReason(), std::string(kKMWebDAVFileManagerUploadErrorUnknownError));
}

TEST_F(UploadQueueService, DeletingTheRowInFlightCancelsAtTheNextReportAndTheNextFileStarts) {
  Recorder recorder(this);
  ASSERT_TRUE(m_service.faults().stall("PUT", "/disk/deleted.bin", std::chrono::seconds(10)));
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("survivor", disk("next.txt")).hasValue());
  ASSERT_TRUE(m_queue->uploadFileWithDataTo(std::string(200000, 'd'), disk("deleted.bin")).hasValue());
  // The user deletes the row as its upload starts (on the main thread, as the browser does).
  recorder.onEvent = [&](const Event& event) {
    if (event.name == kKMKMWebDAVFileManagerDidStartUploadFile && event.url == disk("deleted.bin").absoluteString())
      m_storage->removeUploadFileWithURL(disk("deleted.bin"));
  };
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return recorder.ended() >= 1; }, 30));
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidUploadFile),
            std::vector<std::string>{disk("next.txt").absoluteString()});
  EXPECT_TRUE(recorder.urlsOf(kKMKMWebDAVFileManagerDidFailToUploadFile).empty());
  EXPECT_FALSE(existsOnService("deleted.bin"));
  EXPECT_FALSE(m_storage->uploadFileAtURL(disk("deleted.bin")));
  for (const auto& event : recorder.events)
    if (event.name == kKMKMWebDAVFileManagerDidSendBytesForUploadFile) {
      EXPECT_NE(event.url, disk("deleted.bin").absoluteString());
    }
}

TEST_F(UploadQueueService, NothingStartsWhileUnreachableAndTheFirstReachableReportStartsTheNewest) {
  Recorder recorder(this);
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("old", disk("old.txt")).hasValue());
  ASSERT_TRUE(m_queue->uploadFileWithDataTo("new", disk("new.txt")).hasValue());
  m_queue->hostReachabilityDidChange(false);
  m_queue->uploadNextFileInQueue();
  m_queue->serialUploadQueue()->sync([] {});
  RunLoop::main().runPending();
  EXPECT_TRUE(recorder.urlsOf(kKMKMWebDAVFileManagerDidStartUploadFile).empty());
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerUploadQueueWasChanged).size(), 2u);

  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(waitForEnds(recorder, 2));
  drain();
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidStartUploadFile),
            (std::vector<std::string>{disk("new.txt").absoluteString(), disk("old.txt").absoluteString()}));

  // Reachable again while reachable starts nothing new: the queue is empty,
  // and a file queued meanwhile waits for the next ask.
  ASSERT_TRUE(m_storage->addUploadFiles({[&] {
    auto upload = KMUploadFile::uploadFileWithURL(disk("later.txt"));
    upload->setLocalURL(URL::fileURLWithPath(picture("later.jpg", 5)));
    upload->setSize(5);
    return upload;
  }()}).hasValue());
  m_queue->hostReachabilityDidChange(true);
  drain();
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidStartUploadFile).size(), 2u);
  // Unreachable then reachable resumes it.
  m_queue->hostReachabilityDidChange(false);
  m_queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(waitForEnds(recorder, 3));
  EXPECT_TRUE(existsOnService("later.txt"));
}

TEST_F(UploadQueueService, ManyUploadsQueuedFromSeveralThreadsEndWithEveryFileOnTheServiceOnce) {
  Recorder recorder(this);
  m_queue->hostReachabilityDidChange(true);
  constexpr int kThreads = 4, kEach = 6;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i)
        m_queue->uploadFileWithDataTo("content " + std::to_string(t) + "-" + std::to_string(i), disk("shared.txt"));
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(waitForEnds(recorder, kThreads * kEach, 60));
  EXPECT_TRUE(m_storage->uploadsInDirectoryAtURL(std::nullopt).empty());
  std::multiset<std::string> contents;
  for (const auto& entry : fs::directory_iterator(aliceRoot())) contents.insert(fileContent(entry.path()));
  ASSERT_EQ(contents.size(), static_cast<std::size_t>(kThreads * kEach));
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kEach; ++i)
      EXPECT_EQ(contents.count("content " + std::to_string(t) + "-" + std::to_string(i)), 1u);
  std::size_t puts = 0;
  for (const auto& served : m_service.faults().servedRequests()) puts += served.method == "PUT";
  EXPECT_EQ(puts, static_cast<std::size_t>(kThreads * kEach));
}

// ---- A process killed in the middle of an upload

namespace {

std::shared_ptr<KMUploadQueue> queueWithToken(std::shared_ptr<KMWebDAVStorage> storage, std::string token) {
  KMUploadQueue::Environment environment;
  environment.OAuthToken = [token] { return std::optional<std::string>(token); };
  return KMUploadQueue::create(std::move(storage), environment);
}

}  // namespace

// Runs only as the child of the test below: queues one file and sends it
// until it is killed (bounded, should the parent be gone).
TEST(UploadQueueKillChild, SendsUntilKilled) {
  const char* home = std::getenv("KDISK_UPLOAD_CHILD_HOME");
  if (!home) GTEST_SKIP() << "runs as a child process only";
  ::setenv("KDISK_HOME", home, 1);
  webdav::setAdditionalCertificateAuthorityFile(std::getenv("KDISK_UPLOAD_CHILD_CA"));
  auto storage = std::make_shared<KMWebDAVStorage>();
  auto queue = queueWithToken(storage, std::getenv("KDISK_UPLOAD_CHILD_TOKEN"));
  ASSERT_TRUE(queue->uploadFileForFileURLTo(URL::fileURLWithPath(std::getenv("KDISK_UPLOAD_CHILD_SOURCE")),
                                            *URL::fromString(std::getenv("KDISK_UPLOAD_CHILD_TARGET")))
                  .hasValue());
  queue->hostReachabilityDidChange(true);
  RunLoop::main().runUntil([] { return false; }, 60);
}

TEST(UploadQueueKill, AProcessKilledMidUploadLeavesTheRowWaitingAndItIsSentWholeOnTheNextStart) {
  ServiceProcess service;
  ASSERT_TRUE(service.start()) << service.lastError();
  auto token = service.signIn("alice", "alice-password");
  ASSERT_TRUE(token);
  IsolatedHome home;
  TemporaryDirectory scratch;
  // Sparse, so a large body costs no disk; large, so the kill lands mid-body.
  const std::string source = scratch.file("big.bin");
  const std::uint64_t size = 256ull * 1024 * 1024;
  {
    int fd = ::open(source.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
    ASSERT_EQ(::pwrite(fd, "tail", 4, static_cast<off_t>(size - 4)), 4);
    ::close(fd);
  }
  const std::string ca = service.endpoints().caCertificate.string();
  webdav::setAdditionalCertificateAuthorityFile(ca);
  const URL target = *URL::fromString(service.endpoints().diskURL() + "big.bin");
  const fs::path stored = service.dataFolder() / "disks" / "1" / "big.bin";
  const fs::path partials = service.dataFolder() / "uploads";

  const std::string self = fs::read_symlink("/proc/self/exe").string();
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A fresh process image: the child shares no threads or locks with this one.
    ::setenv("KDISK_UPLOAD_CHILD_HOME", home.path().c_str(), 1);
    ::setenv("KDISK_UPLOAD_CHILD_CA", ca.c_str(), 1);
    ::setenv("KDISK_UPLOAD_CHILD_TOKEN", token->c_str(), 1);
    ::setenv("KDISK_UPLOAD_CHILD_SOURCE", source.c_str(), 1);
    ::setenv("KDISK_UPLOAD_CHILD_TARGET", target.absoluteString().c_str(), 1);
    ::execl(self.c_str(), self.c_str(), "--gtest_filter=UploadQueueKillChild.SendsUntilKilled", nullptr);
    ::_exit(127);
  }

  // Mid-body: the service holds part of the file in its upload folder. The
  // store is not opened meanwhile, as only one process keeps it.
  const bool midBody = RunLoop::main().runUntil([&] {
    std::error_code error;
    for (fs::directory_iterator it(partials, error), end; !error && it != end; it.increment(error))
      if (fs::file_size(it->path(), error) >= 4 * 1024 * 1024) return true;
    return false;
  }, 60);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(midBody) << "the child never got going";

  // The service drops what it received, and nothing of it is visible.
  EXPECT_TRUE(RunLoop::main().runUntil([&] { return fs::is_empty(partials); }, 20));
  EXPECT_FALSE(fs::exists(stored));
  auto storage = std::make_shared<KMWebDAVStorage>();
  storage->setRootURL(*URL::fromString(service.endpoints().diskURL()));
  auto row = storage->uploadFileAtURL(target);
  ASSERT_TRUE(row);
  EXPECT_FALSE(row->failed());
  ASSERT_FALSE(fs::exists(stored)) << "the kill came after the end of the body";

  // The next start: the slot is empty, so the row is waiting and goes from byte 0.
  auto queue = queueWithToken(storage, *token);
  Recorder recorder(nullptr);
  queue->hostReachabilityDidChange(true);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return recorder.ended() >= 1; }, 120));
  EXPECT_EQ(recorder.urlsOf(kKMKMWebDAVFileManagerDidUploadFile), std::vector<std::string>{target.absoluteString()});
  ASSERT_EQ(fs::file_size(stored), size);
  std::ifstream in(stored, std::ios::binary);
  char head[4], tail[4];
  in.read(head, 4);
  in.seekg(static_cast<std::streamoff>(size - 4));
  in.read(tail, 4);
  EXPECT_EQ(std::string(head, 4), "head");
  EXPECT_EQ(std::string(tail, 4), "tail");
  EXPECT_FALSE(storage->uploadFileAtURL(target));
}
