#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for transport faults a real server will
// not show: lying lengths, closing mid-body, never answering, odd redirects.
// Each request gets the reply the test's handler scripts. One thread; every
// connection is served in turn and closed after its reply (or held, for the
// "never answers" case, until the server stops).

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kdisk::test {

struct RecordedRequest {
  std::string method;
  std::string target;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string header(const std::string& name) const;  // "" when absent
  bool hasHeader(const std::string& name) const;
};

struct ScriptedReply {
  enum class Mode { Send, SendThenHold, Hold };
  std::string bytes;  // status line, headers and body as sent
  Mode mode = Mode::Send;

  static ScriptedReply make(int status, const std::string& reason, const std::string& body,
                            std::vector<std::pair<std::string, std::string>> headers = {});
};

class ScriptedHTTPServer {
 public:
  using Handler = std::function<ScriptedReply(const RecordedRequest&)>;
  explicit ScriptedHTTPServer(Handler handler);
  ~ScriptedHTTPServer();

  int port() const { return m_port; }
  std::string url(const std::string& path) const;
  std::vector<RecordedRequest> requests() const;
  std::size_t requestCount() const;

 private:
  void serve();
  bool readRequest(int socket, RecordedRequest& request);

  Handler m_handler;
  int m_listener = -1;
  int m_wakePipe[2] = {-1, -1};
  int m_port = 0;
  std::atomic<bool> m_stopping{false};
  mutable std::mutex m_lock;
  std::vector<RecordedRequest> m_requests;
  std::vector<int> m_heldSockets;
  std::thread m_thread;
};

}  // namespace kdisk::test
