// The blocking exchange of the token and start-up requests: its time-out
// counts silence, not the whole answer, and it never lets libcurl label a
// body it was given no type for.
#include "webdav/KMSynchronousHTTP.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/ScriptedHTTPServer.h"
#include "webdav/KMHTTPTransfer.h"

namespace {

using namespace kdisk::webdav;
using kdisk::test::RecordedRequest;
using kdisk::test::ScriptedHTTPServer;
using kdisk::test::ScriptedReply;

// Answers one request with a body that arrives a byte every `gap`.
class TricklingServer {
 public:
  TricklingServer(std::string body, std::chrono::milliseconds gap) {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    ::listen(m_listener, 1);
    m_thread = std::thread([this, body, gap] {
      const int connection = ::accept(m_listener, nullptr, nullptr);
      if (connection < 0) return;
      char buffer[4096];
      (void)::recv(connection, buffer, sizeof buffer, 0);
      const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\nConnection: close\r\n\r\n";
      (void)::send(connection, head.data(), head.size(), MSG_NOSIGNAL);
      for (char byte : body) {
        std::this_thread::sleep_for(gap);
        (void)::send(connection, &byte, 1, MSG_NOSIGNAL);
      }
      ::close(connection);
    });
  }
  ~TricklingServer() {
    m_thread.join();
    ::close(m_listener);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/slow"; }

 private:
  int m_listener = -1;
  int m_port = 0;
  std::thread m_thread;
};

HTTPRequest requestTo(const std::string& url, double timeout) {
  HTTPRequest request;
  request.URL = *kdisk::URL::fromString(url);
  request.timeoutInterval = timeout;
  return request;
}

TEST(KMSynchronousHTTPTests, AnAnswerThatKeepsMovingOutlastsTheTimeOut) {
  // Six bytes 400 ms apart: 2.4 s in all against a one-second time-out.
  TricklingServer server("<a/>\n\n", std::chrono::milliseconds(400));
  auto result = sendSynchronousRequest(requestTo(server.url(), 1));
  ASSERT_FALSE(result.error) << result.error->description();
  EXPECT_EQ(result.body, "<a/>\n\n");
}

TEST(KMSynchronousHTTPTests, ASilentServerTimesOutWithTheTransportsCode) {
  ScriptedHTTPServer server([](const RecordedRequest&) {
    ScriptedReply reply;
    reply.mode = ScriptedReply::Mode::Hold;
    return reply;
  });
  auto result = sendSynchronousRequest(requestTo(server.url("/silent"), 1));
  ASSERT_TRUE(result.error);
  EXPECT_TRUE(result.error->is(kKMHTTPTransportErrorDomain, kKMHTTPTransportTimedOut));
}

TEST(KMSynchronousHTTPTests, CredentialsStayWithTheOriginAndEndlessRedirectsFail) {
  ScriptedHTTPServer elsewhere([](const RecordedRequest&) { return ScriptedReply::make(200, "OK", "there"); });
  ScriptedHTTPServer server([&](const RecordedRequest& request) {
    if (request.target == "/away") return ScriptedReply::make(307, "Moved", "", {{"Location", elsewhere.url("/t")}});
    return ScriptedReply::make(302, "Found", "", {{"Location", "/loop"}});
  });
  HTTPRequest away = requestTo(server.url("/away"), 5);
  away.setValueForHTTPHeaderField("OAuth tok", "Authorization");
  auto result = sendSynchronousRequest(away);
  ASSERT_FALSE(result.error);
  EXPECT_EQ(result.body, "there");
  ASSERT_EQ(elsewhere.requestCount(), 1u);
  EXPECT_FALSE(elsewhere.requests()[0].hasHeader("Authorization"));

  result = sendSynchronousRequest(requestTo(server.url("/loop"), 5));
  ASSERT_TRUE(result.error);
  EXPECT_TRUE(result.error->is(kKMHTTPTransportErrorDomain, 47));  // too many redirects
  EXPECT_EQ(server.requestCount(), 1u + 1u + 10u);
}

TEST(KMSynchronousHTTPTests, ABodyWithoutATypeGoesOutWithoutOne) {
  ScriptedHTTPServer server([](const RecordedRequest&) { return ScriptedReply::make(200, "OK", "ok"); });
  HTTPRequest request = requestTo(server.url("/x"), 5);
  request.method = "POST";
  request.body = "<x/>";
  ASSERT_FALSE(sendSynchronousRequest(request).error);
  EXPECT_FALSE(server.requests().at(0).hasHeader("Content-Type"));
}

}  // namespace
