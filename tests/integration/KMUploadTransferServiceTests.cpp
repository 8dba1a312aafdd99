// The upload transport against kdisk-service: streamed PUT, progress, cancel,
// inactivity time-out, refusals for size and quota, a missing source file.
#include <gtest/gtest.h>

#include <filesystem>

#include <fstream>

#include "WebDAVServerFixture.h"
#include "webdav/KMRequest.h"
#include "webdav/KMUploadTransfer.h"

namespace {

using kdisk::RunLoop;
using kdisk::webdav::KMUploadTransfer;
using namespace kdisk::test;

// Peak resident memory of this process since the last resetPeakResidentKiB().
long peakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}
void resetPeakResidentKiB() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct UploadRecord {
  std::vector<std::uint64_t> progress;
  int finished = 0;
  int failed = 0;
  bool done() const { return finished + failed > 0; }
};

class KMUploadTransferServiceTests : public ::testing::Test {
 protected:
  virtual ServiceOptions options() { return {}; }

  void SetUp() override {
    m_server = std::make_unique<ServiceServer>(options());
    const std::string problem = m_server->start();
    ASSERT_TRUE(problem.empty()) << problem;
  }

  std::string sourceFile(const std::string& name, std::size_t size) {
    const std::string path = m_local.file(name);
    std::ofstream out(path, std::ios::binary);
    std::string block(64 * 1024, 0);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + (i * 7) % 26);
    for (std::size_t written = 0; written < size; written += block.size())
      out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - written)));
    return path;
  }

  std::shared_ptr<KMUploadTransfer> upload(const std::string& remotePath, const std::string& source,
                                           UploadRecord& record) {
    auto transfer = std::make_shared<KMUploadTransfer>(url(m_server->url(remotePath)), source, m_server->token());
    transfer->setProgressCallback([&record](KMUploadTransfer&, std::uint64_t total) { record.progress.push_back(total); });
    transfer->setFinishedCallback([&record](KMUploadTransfer&) { ++record.finished; });
    transfer->setFailedCallback([&record](KMUploadTransfer&) { ++record.failed; });
    return transfer;
  }

  std::unique_ptr<ServiceServer> m_server;
  TemporaryDirectory m_local;
};

TEST_F(KMUploadTransferServiceTests, LargeFileStreamsWithRisingProgressEndingAtItsSize) {
  constexpr std::size_t kSize = 48u * 1024 * 1024;
  const std::string source = sourceFile("large.bin", kSize);
  UploadRecord record;
  auto transfer = upload("large.bin", source, record);
  resetPeakResidentKiB();
  [[maybe_unused]] const long residentBefore = peakResidentKiB();
  transfer->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return record.done(); }, 60));
  EXPECT_EQ(record.finished, 1);
  EXPECT_EQ(record.failed, 0);
  EXPECT_EQ(transfer->responseStatusCode(), 201);
#if !defined(__SANITIZE_ADDRESS__)  // its quarantine keeps freed buffers resident
  // Streamed, not read whole: the process grew by far less than the file.
  EXPECT_LT(peakResidentKiB() - residentBefore, static_cast<long>(kSize / 1024 / 4));
#endif
  ASSERT_FALSE(record.progress.empty());
  EXPECT_TRUE(std::is_sorted(record.progress.begin(), record.progress.end()));
  EXPECT_EQ(record.progress.back(), kSize);
  // Reports are spaced, not one per chunk sent.
  for (std::size_t i = 1; i + 1 < record.progress.size(); ++i)
    EXPECT_GE(record.progress[i] - record.progress[i - 1], 64u * 1024) << i;
  EXPECT_TRUE(readFile(m_server->storageRoot() + "/large.bin") == readFile(source));
}

TEST_F(KMUploadTransferServiceTests, AnUploadOnAKeptConnectionDroppedUnansweredIsSentAgainWhole) {
  // The first upload leaves a connection open for the second to reuse.
  UploadRecord first, second;
  auto one = upload("first.bin", sourceFile("first.bin", 1000), first);
  one->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return first.done(); }, 15));
  ASSERT_EQ(one->responseStatusCode(), 201);
  // The service takes the body, then drops that connection unanswered and
  // with nothing stored: the client must send the body again, from its first byte.
  constexpr std::uint64_t kSize = 1024 * 1024;
  ASSERT_TRUE(m_server->faults().cutRequestBodyAfter("PUT", "/disk/second.bin", kSize - 1));
  const std::string source = sourceFile("second.bin", kSize);
  auto two = upload("second.bin", source, second);
  two->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return second.done(); }, 15));
  EXPECT_EQ(second.finished, 1) << (two->error() ? two->error()->description() : std::string());
  EXPECT_EQ(two->responseStatusCode(), 201);
  EXPECT_TRUE(readFile(m_server->storageRoot() + "/second.bin") == readFile(source));
}

TEST_F(KMUploadTransferServiceTests, CancelIsReportedAsFailureCodeThreeAndNothingFollows) {
  const std::string source = sourceFile("cancelled.bin", 32u * 1024 * 1024);
  // Held before the body is read, so the upload is surely still sending.
  ASSERT_TRUE(m_server->faults().addLatency(std::chrono::milliseconds(3000), "PUT", "/disk/cancelled.bin", 1));
  UploadRecord record;
  auto transfer = upload("cancelled.bin", source, record);
  std::size_t eventsAtCancel = 0;
  transfer->setProgressCallback([&](KMUploadTransfer& self, std::uint64_t total) {
    record.progress.push_back(total);
    if (total > 0 && eventsAtCancel == 0) {
      self.cancel();
      eventsAtCancel = record.progress.size() + record.finished + record.failed;
    }
  });
  transfer->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return record.done(); }, 15));
  EXPECT_EQ(record.failed, 1);
  EXPECT_EQ(record.finished, 0);
  ASSERT_TRUE(transfer->error());
  EXPECT_TRUE(transfer->error()->is(kKMRequestErrorDomain, kKMRequestErrorCancelled));

  // A later request through the same loop is the point where any stray event
  // of the cancelled upload would have arrived.
  WebDAVClientTest client(*m_server);
  (void)client.list("");
  EXPECT_EQ(record.progress.size() + record.finished + record.failed, eventsAtCancel);
  EXPECT_LT(record.progress.back(), 32u * 1024 * 1024);
}

TEST_F(KMUploadTransferServiceTests, CancelBeforeStartIsReportedOnceAndSendsNothing) {
  const std::string source = sourceFile("never.bin", 1000);
  UploadRecord record;
  auto transfer = upload("never.bin", source, record);
  transfer->cancel();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return record.done(); }, 5));
  transfer->start();
  WebDAVClientTest client(*m_server);
  (void)client.list("");
  EXPECT_EQ(record.failed, 1);
  EXPECT_EQ(record.finished, 0);
  ASSERT_TRUE(transfer->error());
  EXPECT_TRUE(transfer->error()->is(kKMRequestErrorDomain, kKMRequestErrorCancelled));
  EXPECT_FALSE(std::filesystem::exists(m_server->storageRoot() + "/never.bin"));
}

TEST_F(KMUploadTransferServiceTests, SilentServerEndsInTheThirtySecondInactivityTimeOut) {
  VirtualClock clock;
  const std::string source = sourceFile("silent.txt", 20000);
  ASSERT_TRUE(m_server->faults().stall("PUT", "/disk/silent.txt", std::chrono::milliseconds(10000)));
  UploadRecord record;
  auto transfer = upload("silent.txt", source, record);
  transfer->start();
  // The whole body goes out; then the server says nothing.
  ASSERT_TRUE(RunLoop::main().runUntil(
      [&] { return !record.progress.empty() && record.progress.back() == 20000u; }, 10));
  clock.advance(29);
  RunLoop::main().runPending();
  EXPECT_FALSE(record.done());
  clock.advance(2);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return record.done(); }, 5));
  EXPECT_EQ(record.failed, 1);
  ASSERT_TRUE(transfer->error());
  EXPECT_TRUE(transfer->error()->is(kdisk::webdav::kKMHTTPTransportErrorDomain,
                                    kdisk::webdav::kKMHTTPTransportTimedOut));
}

TEST_F(KMUploadTransferServiceTests, MissingSourceFileFailsWithoutReachingTheService) {
  ASSERT_TRUE(m_server->faults().forgetServedRequests());
  UploadRecord record;
  auto transfer = upload("absent.txt", m_local.file("no such file.txt"), record);
  transfer->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return record.done(); }, 5));
  EXPECT_EQ(record.failed, 1);
  ASSERT_TRUE(transfer->error());
  EXPECT_EQ(transfer->error()->domain, kKMPOSIXErrorDomain);
  EXPECT_EQ(transfer->error()->code, ENOENT);
  EXPECT_EQ(transfer->responseStatusCode(), 0);
  for (const auto& served : m_server->faults().servedRequests()) EXPECT_NE(served.method, "PUT");
}

// A refusal arrives as the answer: the status is what the caller reads to
// count the upload as failed (anything outside 200-299).
void expectRefusedWith(const KMUploadTransfer& transfer, const UploadRecord& record, int status) {
  EXPECT_EQ(record.finished + record.failed, 1);
  EXPECT_EQ(transfer.responseStatusCode(), status)
      << (transfer.error() ? transfer.error()->description() : std::string("finished"));
  EXPECT_TRUE(record.progress.empty() ||
              std::is_sorted(record.progress.begin(), record.progress.end()));
}

TEST_F(KMUploadTransferServiceTests, AFileAlreadyThereIsRefusedWith412AndKeepsItsBytes) {
  UploadRecord first, second;
  auto one = upload("same.txt", sourceFile("one.txt", 100000), first);
  one->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return first.done(); }, 15));
  ASSERT_EQ(one->responseStatusCode(), 201);
  // Large enough that the refusal comes while the body is still being sent.
  auto two = upload("same.txt", sourceFile("two.txt", 2u * 1024 * 1024), second);
  two->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return second.done(); }, 15));
  expectRefusedWith(*two, second, 412);
  EXPECT_EQ(readFile(m_server->storageRoot() + "/same.txt"), readFile(m_local.file("one.txt")));
}

TEST_F(KMUploadTransferServiceTests, AFilePutThereWhileTheBodyIsSentIsNotReplaced) {
  constexpr std::uint64_t kSize = 32u * 1024 * 1024;
  UploadRecord record;
  auto transfer = upload("late.bin", sourceFile("late.bin", kSize), record);
  bool placed = false;
  // Half the body sent is more than socket buffers hold: the service is past
  // its first look at the name and reading the body.
  transfer->setProgressCallback([&](KMUploadTransfer&, std::uint64_t total) {
    if (placed || total < kSize / 2) return;
    std::ofstream(m_server->storageRoot() + "/late.bin") << "theirs";
    placed = true;
  });
  transfer->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return record.done(); }, 60));
  ASSERT_TRUE(placed);
  EXPECT_EQ(transfer->responseStatusCode(), 412);
  EXPECT_EQ(readFile(m_server->storageRoot() + "/late.bin"), "theirs");
}

class KMUploadTransferSizeLimitTests : public KMUploadTransferServiceTests {
  ServiceOptions options() override {
    ServiceOptions limited;
    limited.maxFileSizeBytes = 10000;
    return limited;
  }
};

TEST_F(KMUploadTransferSizeLimitTests, FileOverTheMaximumSizeGets413) {
  UploadRecord record;
  auto transfer = upload("too%20big.bin", sourceFile("big.bin", 2u * 1024 * 1024), record);
  transfer->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return record.done(); }, 15));
  expectRefusedWith(*transfer, record, 413);
  EXPECT_FALSE(std::filesystem::exists(m_server->storageRoot() + "/too big.bin"));
}

class KMUploadTransferQuotaTests : public KMUploadTransferServiceTests {
  ServiceOptions options() override {
    ServiceOptions limited;
    limited.quotaBytes = 50000;
    return limited;
  }
};

TEST_F(KMUploadTransferQuotaTests, FileOverTheQuotaGets507) {
  UploadRecord record;
  auto transfer = upload("over%20quota.bin", sourceFile("quota.bin", 2u * 1024 * 1024), record);
  transfer->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return record.done(); }, 15));
  expectRefusedWith(*transfer, record, 507);
  EXPECT_FALSE(std::filesystem::exists(m_server->storageRoot() + "/over quota.bin"));
}

}  // namespace
