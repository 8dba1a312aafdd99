#include "webdav/KMRequest.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "support/ScriptedHTTPServer.h"
#include "support/TemporaryDirectory.h"
#include "settings/KMSettings.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMHTTPTransfer.h"
#include "webdav/KMWebDAVEnvironment.h"

namespace {

using kdisk::RunLoop;
using kdisk::test::RecordedRequest;
using kdisk::test::ScriptedHTTPServer;
using kdisk::test::ScriptedReply;

// What one run of a request reported.
struct Outcome {
  int finished = 0;
  int failed = 0;
  std::optional<std::string> data;
  KMError error;
  std::vector<std::pair<std::uint64_t, std::int64_t>> progress;
  bool done() const { return finished + failed > 0; }
};

void observe(KMRequest& request, Outcome& outcome) {
  request.setDidFinishLoadingBlock([&](const std::optional<std::string>& data) {
    ++outcome.finished;
    outcome.data = data;
  });
  request.setDidFailBlock([&](const KMError& error) {
    ++outcome.failed;
    outcome.error = error;
  });
  request.setDidGetPartialDataBlock(
      [&](std::uint64_t received, std::int64_t expected) { outcome.progress.emplace_back(received, expected); });
}

kdisk::URL url(const std::string& text) { return *kdisk::URL::fromString(text); }

std::string readFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

ScriptedReply ok(const std::string& body) { return ScriptedReply::make(200, "OK", body); }

// Exposes the built request so header rules can be checked without a server.
class InspectableRequest : public KMDiskRequest {
 public:
  using KMDiskRequest::KMDiskRequest;
  std::optional<HTTPRequest> built() { return buildRequest(); }
};

class KMRequestTests : public ::testing::Test {
 protected:
  void run(KMRequest& request, Outcome& outcome, double seconds = 10) {
    request.start();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return outcome.done(); }, seconds));
    // Queued progress calls land before we look at them.
    RunLoop::main().runPending();
  }
  kdisk::test::TemporaryDirectory m_directory;
};

TEST_F(KMRequestTests, EmptyTokenSendsNoAuthorizationAndTimeoutDefaultsTo20) {
  auto request = std::make_shared<InspectableRequest>(url("http://127.0.0.1:1/disk/"));
  request->setOAuthToken(std::string());
  request->setTimeoutInterval(0);
  auto built = request->built();
  ASSERT_TRUE(built);
  EXPECT_FALSE(built->valueForHTTPHeaderField("Authorization"));
  EXPECT_EQ(built->timeoutInterval, 20);
  request->setTimeoutInterval(-5);
  EXPECT_EQ(request->built()->timeoutInterval, 20);
  request->setTimeoutInterval(3.5);
  request->setOAuthToken("tok");
  EXPECT_EQ(request->built()->timeoutInterval, 3.5);
  EXPECT_EQ(*request->built()->valueForHTTPHeaderField("Authorization"), "OAuth tok");
}

TEST_F(KMRequestTests, UserAgentIsProductTokenAndOneLineJSONFromTheIdentityHook) {
  kdisk::webdav::setClientIdentityProvider([] { return kdisk::webdav::ClientIdentity{"1.20", "345", "ab\"c"}; });
  EXPECT_EQ(KMDiskRequest::diskUserAgentString(),
            "Kalumo.Disk {\"os\":\"iOS\",\"src\":\"disk.mobile\",\"vsn\":\"1.20.345\",\"id\":\"ab\\\"c\"}");
  kdisk::webdav::setClientIdentityProvider(nullptr);
  // By default: the bundle's version texts and the installation identifier.
  const std::string udid = kdisk::KMSettings::mainSettings().UDID();
  ASSERT_EQ(udid.size(), 36u);
  EXPECT_EQ(KMDiskRequest::diskUserAgentString(),
            "Kalumo.Disk {\"os\":\"iOS\",\"src\":\"disk.mobile\",\"vsn\":\"1.20.0345\",\"id\":\"" + udid + "\"}");
}

TEST_F(KMRequestTests, DiskRequestSendsTokenAndUserAgentAndNoCookies) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    return ScriptedReply::make(200, "OK", "hello", {{"Set-Cookie", "session=1"}});
  });
  for (int round = 0; round < 2; ++round) {
    auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/a")));
    request->setOAuthToken("secret");
    Outcome outcome;
    observe(*request, outcome);
    run(*request, outcome);
    EXPECT_EQ(outcome.finished, 1);
    EXPECT_EQ(outcome.data, "hello");
  }
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[1].header("Authorization"), "OAuth secret");
  EXPECT_EQ(requests[1].header("User-Agent"), KMDiskRequest::diskUserAgentString());
  EXPECT_FALSE(requests[1].hasHeader("Cookie"));
}

TEST_F(KMRequestTests, RedirectIsFollowedWithTokenAndUserAgentReapplied) {
  ScriptedHTTPServer server([](const RecordedRequest& request) {
    if (request.target == "/disk/old") {
      return ScriptedReply::make(302, "Found", "moved", {{"Location", "/disk/new"}});
    }
    return ok("new body");
  });
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/old")));
  request->setOAuthToken("tok");
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  EXPECT_EQ(outcome.finished, 1);
  EXPECT_EQ(outcome.data, "new body");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].target, "/disk/new");
  EXPECT_EQ(requests[1].header("Authorization"), "OAuth tok");
  EXPECT_EQ(requests[1].header("User-Agent"), KMDiskRequest::diskUserAgentString());
  ASSERT_TRUE(request->lastRequest());
  EXPECT_EQ(request->lastRequest()->URL.absoluteString(), server.url("/disk/new"));
}

TEST_F(KMRequestTests, TheTokenStaysWithItsOriginAndEndlessRedirectsFail) {
  ScriptedHTTPServer elsewhere([](const RecordedRequest&) { return ok("elsewhere"); });
  ScriptedHTTPServer server([&](const RecordedRequest& request) {
    if (request.target == "/disk/away") {
      return ScriptedReply::make(302, "Found", "", {{"Location", elsewhere.url("/taken")}});
    }
    return ScriptedReply::make(302, "Found", "", {{"Location", "/disk/loop"}});
  });
  auto away = std::make_shared<KMDiskRequest>(url(server.url("/disk/away")));
  away->setOAuthToken("tok");
  Outcome outcome;
  observe(*away, outcome);
  run(*away, outcome);
  EXPECT_EQ(outcome.data, "elsewhere");
  ASSERT_EQ(elsewhere.requestCount(), 1u);
  EXPECT_FALSE(elsewhere.requests()[0].hasHeader("Authorization"));

  auto loop = std::make_shared<KMDiskRequest>(url(server.url("/disk/loop")));
  loop->setOAuthToken("tok");
  Outcome looped;
  observe(*loop, looped);
  run(*loop, looped);
  EXPECT_EQ(looped.finished, 0);
  EXPECT_EQ(looped.failed, 1);
  EXPECT_TRUE(looped.error.is(kKMRequestErrorDomain, kKMRequestErrorTooManyRedirects));
  EXPECT_EQ(server.requestCount(), 1u + 1u + 10u);  // the first request, the loop's first and its 10 hops
  EXPECT_FALSE(loop->hasActiveConnection());
}

std::string gzipped(const std::string& bytes, const std::string& directory) {
  const std::string path = directory + "/plain";
  std::ofstream(path, std::ios::binary) << bytes;
  std::string out;
  FILE* pipe = ::popen(("gzip -c " + path).c_str(), "r");
  char buffer[4096];
  for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  if (pipe) ::pclose(pipe);
  return out;
}

TEST_F(KMRequestTests, AnswersKeptInMemoryAreBoundedAfterDecoding) {
  const std::string compressed = gzipped(std::string(3 << 20, '0'), m_directory.path());
  ASSERT_LT(compressed.size(), 64u * 1024);
  ScriptedHTTPServer server([&](const RecordedRequest& request) {
    if (request.target == "/gzip") return ScriptedReply::make(200, "OK", compressed, {{"Content-Encoding", "gzip"}});
    return ok(std::string(request.target == "/big" ? (2 << 20) : (1 << 20), 'x'));
  });
  for (const char* target : {"/gzip", "/big", "/fits"}) {
    auto request = std::make_shared<KMDiskRequest>(url(server.url(target)));
    request->setMaxInMemoryBodyBytes(1 << 20);
    Outcome outcome;
    observe(*request, outcome);
    run(*request, outcome);
    if (std::string(target) == "/fits") {
      EXPECT_EQ(outcome.finished, 1);
      EXPECT_EQ(outcome.data->size(), 1u << 20);
    } else {
      EXPECT_EQ(outcome.failed, 1) << target;
      EXPECT_TRUE(outcome.error.is(kKMRequestErrorDomain, kKMRequestErrorTooLarge)) << target;
    }
    EXPECT_FALSE(request->hasActiveConnection());
  }
  // Downloads to a file are not bounded by it.
  auto download = std::make_shared<KMDiskRequest>(url(server.url("/big")));
  download->setMaxInMemoryBodyBytes(1 << 20);
  download->setFileURL(kdisk::URL::fileURLWithPath(m_directory.file("big")));
  Outcome downloaded;
  observe(*download, downloaded);
  run(*download, downloaded);
  EXPECT_EQ(downloaded.finished, 1);
  EXPECT_EQ(readFile(m_directory.file("big")).size(), 2u << 20);
}

TEST_F(KMRequestTests, RedirectNotFollowedEndsWithThe3xxAsFinalResponse) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    return ScriptedReply::make(302, "Found", "see elsewhere", {{"Location", "/disk/new"}});
  });
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/old")));
  request->setShouldRedirectBlock([](const KMRequest::HTTPResponse& redirect, const KMRequest::HTTPRequest&) {
    EXPECT_EQ(redirect.statusCode, 302);
    return std::optional<KMRequest::HTTPRequest>();
  });
  request->setDidReceiveResponseBlock([](const KMRequest::HTTPResponse& response, bool& accept) {
    if (response.statusCode == 302) accept = true;
  });
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  EXPECT_EQ(outcome.finished, 1);
  EXPECT_EQ(outcome.failed, 0);
  EXPECT_EQ(outcome.data, "see elsewhere");
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(request->lastResponse()->statusCode, 302);
}

TEST_F(KMRequestTests, RejectedStatusFailsWithCodeOneExactlyOnce) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ScriptedReply::make(404, "Not Found", "nope"); });
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/missing")));
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  RunLoop::main().runUntil([] { return false; }, 0.2);  // nothing more may arrive
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(outcome.finished, 0);
  EXPECT_TRUE(outcome.error.is(kKMRequestErrorDomain, 1));
  EXPECT_FALSE(request->hasActiveConnection());
}

TEST_F(KMRequestTests, Unauthorized401FailsThenPostsAuthenticationNotification) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ScriptedReply::make(401, "Unauthorized", ""); });
  std::vector<std::string> order;
  kdisk::Dictionary userInfo;
  auto token = kdisk::NotificationCenter::defaultCenter().addObserver(
      kKMXConnectionDidFailAuthenticateWithError, [&](const kdisk::Notification& notification) {
        order.push_back("notification");
        userInfo = notification.userInfo;
      });
  // Sent without credentials, the refusal announces nothing.
  auto anonymous = std::make_shared<KMDiskRequest>(url(server.url("/disk/")));
  anonymous->setDidFailBlock([&](const KMError&) { order.push_back("anonymous failed"); });
  anonymous->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return order.size() == 1; }, 10));
  RunLoop::main().runPending();
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/")));
  request->setOAuthToken(std::string("revoked"));
  request->setDidFailBlock([&](const KMError& error) {
    EXPECT_TRUE(error.is(kKMRequestErrorDomain, 1));
    order.push_back("failed");
  });
  request->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return order.size() == 3; }, 10));
  EXPECT_EQ(order, (std::vector<std::string>{"anonymous failed", "failed", "notification"}));
  const KMError* error = kdisk::errorForKey(userInfo);
  ASSERT_NE(error, nullptr);
  EXPECT_TRUE(error->is(kKMOAuthOperationErrorDomain, 4));
  EXPECT_FALSE(error->localizedDescription.empty());
}

TEST_F(KMRequestTests, PlainRequestDoesNotReactTo401) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ScriptedReply::make(401, "Unauthorized", ""); });
  int notifications = 0;
  auto token = kdisk::NotificationCenter::defaultCenter().addObserver(
      kKMXConnectionDidFailAuthenticateWithError, [&](const kdisk::Notification&) { ++notifications; });
  auto request = std::make_shared<KMRequest>(url(server.url("/avatar")));
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  RunLoop::main().runPending();
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(notifications, 0);
  EXPECT_FALSE(server.requests()[0].hasHeader("User-Agent") &&
               server.requests()[0].header("User-Agent").rfind("Kalumo.Disk", 0) == 0);
}

TEST_F(KMRequestTests, DownloadCreatesDirectoryChainAndReplacesOlderFile) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ok("new"); });
  const std::string path = m_directory.path() + "/a/b/c/file.txt";
  for (const char* expected : {"new", "new"}) {
    auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/file.txt")));
    request->setFileURL(kdisk::URL::fileURLWithPath(path));
    Outcome outcome;
    observe(*request, outcome);
    run(*request, outcome);
    EXPECT_EQ(outcome.finished, 1);
    EXPECT_FALSE(outcome.data);  // the body went to the file
    EXPECT_EQ(readFile(path), expected);
  }
  std::ofstream(path) << "an older and much longer text";
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/file.txt")));
  request->setFileURL(kdisk::URL::fileURLWithPath(path));
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  EXPECT_EQ(readFile(path), "new");
}

TEST_F(KMRequestTests, ProgressReportsDeclaredLengthOrZeroWhenUnknown) {
  const std::string big(6 << 20, 'b');
  ScriptedHTTPServer server([&](const RecordedRequest& request) {
    if (request.target == "/chunked") {
      return ScriptedReply::make(200, "OK", "5\r\nhello\r\n0\r\n\r\n", {{"Transfer-Encoding", "chunked"}});
    }
    return ok(request.target == "/big" ? big : "hello");
  });
  {
    // Many reads within one moment of the run clock: the first read and the
    // whole are reported, not every read.
    kdisk::test::VirtualClock clock;
    auto request = std::make_shared<KMDiskRequest>(url(server.url("/big")));
    request->setFileURL(kdisk::URL::fileURLWithPath(m_directory.file("big.bin")));
    Outcome outcome;
    observe(*request, outcome);
    run(*request, outcome);
    ASSERT_EQ(outcome.finished, 1);
    ASSERT_GE(outcome.progress.size(), 1u);
    EXPECT_LE(outcome.progress.size(), 2u);
    EXPECT_EQ(outcome.progress.back(), (std::pair<std::uint64_t, std::int64_t>{big.size(), big.size()}));
  }
  for (const auto& [target, expected] : {std::pair{"/known", 5}, std::pair{"/chunked", 0}}) {
    auto request = std::make_shared<KMRequest>(url(server.url(target)));
    Outcome outcome;
    observe(*request, outcome);
    run(*request, outcome);
    ASSERT_FALSE(outcome.progress.empty()) << target;
    EXPECT_EQ(outcome.progress.back(), (std::pair<std::uint64_t, std::int64_t>{5, expected})) << target;
    EXPECT_EQ(outcome.data, "hello");
  }
}

TEST_F(KMRequestTests, LyingContentLengthFailsAndDeletesPartialFile) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    return ScriptedReply::make(200, "OK", "only part of it", {{"Content-Length", "100000"}});
  });
  const std::string path = m_directory.file("partial.bin");
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/big")));
  request->setFileURL(kdisk::URL::fileURLWithPath(path));
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(outcome.error.domain, kdisk::webdav::kKMHTTPTransportErrorDomain);
  EXPECT_FALSE(exists(path));
}

TEST_F(KMRequestTests, ServerThatNeverAnswersTimesOutOnTheRunClock) {
  kdisk::test::VirtualClock clock;
  ScriptedHTTPServer server([](const RecordedRequest&) { return ScriptedReply{"", ScriptedReply::Mode::Hold}; });
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/slow")));
  Outcome outcome;
  observe(*request, outcome);
  request->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.requestCount() == 1; }, 10));
  clock.advance(19);
  EXPECT_FALSE(outcome.done());
  clock.advance(1.5);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_TRUE(outcome.error.is(kdisk::webdav::kKMHTTPTransportErrorDomain, kdisk::webdav::kKMHTTPTransportTimedOut));

  // The owner hearing of the time-out cancels its batch and drops the last
  // reference to the request still reporting it (freed under it before).
  std::vector<std::shared_ptr<KMDiskRequest>> batch{std::make_shared<KMDiskRequest>(url(server.url("/disk/slower")))};
  int failures = 0;
  batch[0]->setDidFailBlock([&](const KMError&) {
    ++failures;
    auto dropped = std::move(batch);
    for (auto& each : dropped) each->cancel();
  });
  batch[0]->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.requestCount() == 2; }, 10));
  clock.advance(21);
  EXPECT_EQ(failures, 1);
}

TEST_F(KMRequestTests, ClosingMidBodyAfterHoldingFailsCleanly) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    auto reply = ScriptedReply::make(200, "OK", "abc", {{"Content-Length", "10"}});
    return reply;
  });
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/x")));
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(outcome.finished, 0);
}

TEST_F(KMRequestTests, CancelBeforeStartReportsCodeThreeOnce) {
  auto request = std::make_shared<KMDiskRequest>(url("http://127.0.0.1:1/disk/"));
  Outcome outcome;
  observe(*request, outcome);
  request->cancel();
  request->cancel();
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_TRUE(outcome.error.is(kKMRequestErrorDomain, 3));
}

TEST_F(KMRequestTests, CancelWhileRunningReportsCodeThreeLeavesNoFileAndNothingFollows) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    auto reply = ScriptedReply::make(200, "OK", "first part", {{"Content-Length", "1000"}});
    reply.mode = ScriptedReply::Mode::SendThenHold;
    return reply;
  });
  const std::string path = m_directory.file("cancelled.bin");
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/x")));
  request->setFileURL(kdisk::URL::fileURLWithPath(path));
  Outcome outcome;
  observe(*request, outcome);
  request->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return request->receivedDataLength() > 0; }, 10));
  // Until the body is whole it is nowhere to be found: a process killed now
  // leaves nothing that passes for the downloaded file.
  EXPECT_FALSE(exists(path));
  EXPECT_TRUE(std::filesystem::is_empty(m_directory.path()));
  request->cancel();
  RunLoop::main().runUntil([] { return false; }, 0.2);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(outcome.finished, 0);
  EXPECT_TRUE(outcome.error.is(kKMRequestErrorDomain, 3));
  EXPECT_FALSE(exists(path));
  EXPECT_FALSE(request->hasActiveConnection());
}

TEST_F(KMRequestTests, CancelAfterFinishKeepsTheFinishedOutcome) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ok("done"); });
  const std::string path = m_directory.file("kept.txt");
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/x")));
  request->setFileURL(kdisk::URL::fileURLWithPath(path));
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  request->cancel();
  EXPECT_EQ(outcome.finished, 1);
  EXPECT_EQ(outcome.failed, 0);
  EXPECT_EQ(readFile(path), "done");
}

TEST_F(KMRequestTests, StartWhileRunningIsRefusedAndRequestIsRestartable) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ok("x"); });
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/x")));
  Outcome outcome;
  observe(*request, outcome);
  request->start();
  request->start();  // refused: nothing is reported for it
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return outcome.done(); }, 10));
  RunLoop::main().runUntil([] { return false; }, 0.2);
  EXPECT_EQ(outcome.finished, 1);
  request->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return outcome.finished == 2; }, 10));
  EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(KMRequestTests, ConnectionRefusedIsPassedOnInTheTransportDomain) {
  int port = 0;
  {
    ScriptedHTTPServer server([](const RecordedRequest&) { return ok(""); });
    port = server.port();
  }
  auto request = std::make_shared<KMDiskRequest>(url("http://127.0.0.1:" + std::to_string(port) + "/disk/"));
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(outcome.error.domain, kdisk::webdav::kKMHTTPTransportErrorDomain);
}

TEST_F(KMRequestTests, UncreatableDownloadDirectoryReportsTheFileSystemError) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ok("body"); });
  std::ofstream(m_directory.file("plain")) << "a file, not a folder";
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/x")));
  request->setFileURL(kdisk::URL::fileURLWithPath(m_directory.file("plain") + "/sub/file"));
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_NE(outcome.error.domain, kKMRequestErrorDomain);
}

// Stands for a file system that reports a lost write only when the file is
// closed (a delayed write-back error, a network file system's quota).
class CloseFailingRequest : public KMDiskRequest {
 public:
  using KMDiskRequest::KMDiskRequest;

 protected:
  int closeReceivedFile() override {
    KMDiskRequest::closeReceivedFile();
    errno = EIO;
    return -1;
  }
};

TEST_F(KMRequestTests, FailedCloseOfTheDownloadReportsCodeTwoAndDeletesFile) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ok(std::string(64 * 1024, 'z')); });
  const std::string path = m_directory.file("lost.bin");
  auto request = std::make_shared<CloseFailingRequest>(url(server.url("/disk/x")));
  request->setFileURL(kdisk::URL::fileURLWithPath(path));
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  EXPECT_EQ(outcome.finished, 0);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_TRUE(outcome.error.is(kKMRequestErrorDomain, 2));
  EXPECT_FALSE(exists(path));
}

TEST_F(KMRequestTests, FailedChunkWriteReportsCodeTwoAndDeletesFile) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ok(std::string(64 * 1024, 'z')); });
  const std::string path = m_directory.file("too-big.bin");
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/x")));
  request->setFileURL(kdisk::URL::fileURLWithPath(path));
  Outcome outcome;
  observe(*request, outcome);
  // A file-size limit makes write() fail with EFBIG, as a full disk would.
  auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 1024;
  ::setrlimit(RLIMIT_FSIZE, &small);
  request->start();
  const bool done = RunLoop::main().runUntil([&] { return outcome.done(); }, 10);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, previous);
  ASSERT_TRUE(done);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_TRUE(outcome.error.is(kKMRequestErrorDomain, 2));
  EXPECT_FALSE(exists(path));
}

TEST_F(KMRequestTests, PostAccepts201AndMkcolAcceptsOnly201) {
  ScriptedHTTPServer server([](const RecordedRequest& request) {
    if (request.target == "/disk/ok") return ScriptedReply::make(201, "Created", "");
    return ScriptedReply::make(200, "OK", "");
  });
  auto post = std::make_shared<KMDiskPOSTRequest>(url(server.url("/disk/ok")));
  Outcome postOutcome;
  observe(*post, postOutcome);
  run(*post, postOutcome);
  EXPECT_EQ(postOutcome.finished, 1);
  auto mkcol = std::make_shared<KMMKCOLRequest>(url(server.url("/disk/other")));
  Outcome mkcolOutcome;
  observe(*mkcol, mkcolOutcome);
  run(*mkcol, mkcolOutcome);
  EXPECT_TRUE(mkcolOutcome.error.is(kKMRequestErrorDomain, 1));
  auto requests = server.requests();
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].header("Content-Length"), "0");
  EXPECT_EQ(requests[1].method, "MKCOL");
}

TEST_F(KMRequestTests, CallbacksRunOnTheChosenQueue) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ok("q"); });
  auto queue = kdisk::DispatchQueue::createSerial("test.callbacks");
  auto request = std::make_shared<KMDiskRequest>(url(server.url("/disk/x")));
  request->setCallbackQueue(queue);
  std::atomic<bool> onQueue{false}, done{false};
  request->setDidReceiveResponseBlock([&](const KMRequest::HTTPResponse&, bool&) { onQueue = queue->isCurrent(); });
  request->setDidFinishLoadingBlock([&](const std::optional<std::string>&) {
    onQueue = onQueue && queue->isCurrent();
    done = true;
  });
  request->start();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, 10));
  EXPECT_TRUE(onQueue);
}

}  // namespace

TEST_F(KMRequestTests, AStartThatCannotOpenAConnectionFailsOnceInsteadOfHanging) {
  auto request = std::make_shared<KMDiskRequest>(url("ftp://127.0.0.1/disk/a.txt"));
  Outcome outcome;
  observe(*request, outcome);
  run(*request, outcome);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_TRUE(outcome.error.is(kKMRequestErrorDomain, kKMRequestErrorNotStarted));
  EXPECT_FALSE(request->hasActiveConnection());
}

namespace {
// Reports its end twice, as a faulty override of a transport event would.
class FinishesTwice : public KMRequest {
 public:
  using KMRequest::KMRequest;
  void finishTwice() {
    connectionDidFinishLoading();
    connectionDidFinishLoading();
  }
};
}  // namespace

TEST(KMRequestContracts, ASecondOutcomeAbortsInsteadOfBeingDropped) {
  if (!kdisk::kContractsChecked) GTEST_SKIP() << "contracts are compiled out of this build";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(std::make_shared<FinishesTwice>(url("https://webdav.kalumo.test/"))->finishTwice(),
               "Contract violated: <KMRequest: 0x[0-9a-f]+> URL: https://webdav.kalumo.test/ reported a second outcome");
}
