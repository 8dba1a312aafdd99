#include "ServiceFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

using namespace kdisk::test;

class ServiceRobustness : public ServiceTest {
protected:
  // Sends raw bytes over plain HTTP and returns what came back.
  std::string raw(const std::string& bytes) const {
    std::string base = m_service.endpoints().httpBaseURL;
    int port = std::stoi(base.substr(base.rfind(':') + 1));
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return "";
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[4096];
    ssize_t got;
    while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, got);
    ::close(fd);
    return answer;
  }
};

TEST_F(ServiceRobustness, TraversalAttemptsAreBadRequestsAndTouchNothingOutside) {
  auto outside = m_service.dataFolder() / "outside.txt";
  { std::ofstream(outside) << "keep"; }
  for (const char* path : {"/disk/../outside.txt", "/disk/%2e%2e/outside.txt",
                           "/disk/..%2Foutside.txt", "/disk/a%00b", "/disk/%2E%2E/%2E%2E/x"}) {
    EXPECT_EQ(dav("DELETE", path).status, 400) << path;
    EXPECT_EQ(put(path, "overwritten").status, 400) << path;
  }
  EXPECT_EQ(fileContent(outside), "keep");
}

TEST_F(ServiceRobustness, MalformedAndOversizedRequestsGetAnswersNotCrashes) {
  EXPECT_NE(raw("GARBAGE\r\n\r\n").find("400"), std::string::npos);
  EXPECT_NE(raw("GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(64 * 1024, 'a') + "\r\n\r\n")
                .find("431"),
            std::string::npos);
  EXPECT_NE(raw("PUT /disk/x HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\n\r\n").find("400"),
            std::string::npos);
  auto huge = dav("PROPFIND", "/disk/", std::string(200 * 1024, ' '), {"Depth: 1"});
  EXPECT_EQ(huge.status, 413);
  // Still serving.
  EXPECT_EQ(propfind("/disk/", "0").status, 207);
}

TEST_F(ServiceRobustness, ConcurrentUploadsToOnePathLeaveOneWholeFile) {
  constexpr int kWriters = 6;
  std::vector<std::thread> writers;
  std::vector<long> statuses(kWriters);
  for (int i = 0; i < kWriters; ++i) {
    writers.emplace_back([&, i] {
      statuses[i] = put("/disk/contended.bin", std::string(512 * 1024, static_cast<char>('A' + i))).status;
    });
  }
  for (auto& writer : writers) writer.join();
  for (long status : statuses) EXPECT_TRUE(status == 201 || status == 204) << status;
  std::string content = fileContent(aliceRoot() / "contended.bin");
  ASSERT_EQ(content.size(), 512u * 1024);
  EXPECT_EQ(content.find_first_not_of(content[0]), std::string::npos);
}

TEST_F(ServiceRobustness, AKillMidUploadLeavesNoPartialFile) {
  ASSERT_TRUE(m_service.faults().stall("PUT", "/disk/never.txt", std::chrono::seconds(30)));
  // A body that arrives only in part: the service is killed while it waits.
  std::thread upload([&] {
    std::string base = m_service.endpoints().httpBaseURL;
    raw("PUT /disk/half.bin HTTP/1.1\r\nHost: x\r\nAuthorization: OAuth " + m_token +
        "\r\nContent-Length: 100000\r\n\r\n" + std::string(50000, 'h'));
  });
  // The served-request log shows nothing for the unfinished PUT, so watch the
  // upload folder for its temporary file instead, bounded.
  auto uploads = m_service.dataFolder() / "uploads";
  bool seen = false;
  for (int i = 0; i < 500 && !seen; ++i) {
    seen = !std::filesystem::is_empty(uploads);
    if (!seen) {
      auto reply = propfind("/disk/", "0"); // a round trip in place of a sleep
      ASSERT_EQ(reply.status, 207);
    }
  }
  EXPECT_TRUE(seen);
  m_service.kill();
  upload.join();
  EXPECT_FALSE(std::filesystem::exists(aliceRoot() / "half.bin"));
  ASSERT_TRUE(m_service.restart()) << m_service.lastError();
  EXPECT_TRUE(std::filesystem::is_empty(uploads));
  EXPECT_EQ(dav("GET", "/disk/half.bin").status, 404);
}

TEST_F(ServiceRobustness, AStopEndsTheProcessCleanly) { EXPECT_EQ(m_service.stop(), 0); }
