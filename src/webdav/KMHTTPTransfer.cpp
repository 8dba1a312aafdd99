#include "webdav/KMHTTPTransfer.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>

#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "webdav/CurlEngine.h"
#include "platform/SequenceChecker.h"
#include "platform/FileOwners.h"
#include "webdav/CurlHandleOptions.h"
#include "webdav/CurlOwners.h"

namespace kdisk::webdav {

namespace {

std::mutex g_caLock;
std::optional<std::string> g_additionalCAFile;
bool g_caFromEnvironmentRead = false;

std::optional<std::string> additionalCAFile() {
  std::lock_guard guard(g_caLock);
  if (!g_caFromEnvironmentRead) {
    g_caFromEnvironmentRead = true;
    if (const char* path = std::getenv("KDISK_EXTRA_CA_FILE"); path && *path && !g_additionalCAFile) {
      g_additionalCAFile = path;
    }
  }
  return g_additionalCAFile;
}

constexpr long kUploadBufferSize = 512 * 1024;
constexpr long kReceiveBufferSize = 128 * 1024;
// Body bytes read but not yet handed on; beyond this libcurl is paused, so a
// client slower than the network (a disk, a parser) bounds the memory.
constexpr std::size_t kMaxPendingBodyBytes = 1024 * 1024;

bool isRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return std::string(text);
}

}  // namespace

// What one hop has produced and the main loop has not yet handed on. libcurl
// fills it from its callbacks; the engine drains it after curl returns, so no
// client code ever runs inside libcurl (where removing a handle is forbidden).
struct PendingEvent {
  enum class Kind { Response, Data, SentBytes, Done };
  explicit PendingEvent(Kind eventKind) : kind(eventKind) {}
  Kind kind;
  HTTPResponse response;
  std::string data;
  std::uint64_t sentBytes = 0;
  CURLcode result = CURLE_OK;
  std::string errorText;
};

struct HTTPTransfer::Impl final : CurlEngine::Transfer {
  HTTPTransfer* owner = nullptr;
  HTTPTransferClient* client = nullptr;
  HTTPRequest request;
  CurlEasy easy;
  CurlHeaderList headerList;
  UniqueFile uploadFile;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  enum class State { Idle, Running, Done } state = State::Idle;

  // Head being read: curl hands header lines one by one.
  HTTPResponse head;
  bool headComplete = false;
  std::deque<PendingEvent> pending;
  std::size_t pendingBodyBytes = 0;
  // A delivered body event's buffer, kept for the next: a download reuses the
  // same memory instead of faulting in fresh pages for every read.
  std::string spareBody;
  bool receivePaused = false;
  std::uint64_t lastSentReported = 0;

  double lastActivity = 0;
  TimerId timeoutTimer = 0;
  SequenceChecker sequence;

  bool beginHop();
  void endHop();
  void armTimeout();
  void onTimeoutTimer();
  void noteActivity() { lastActivity = RunLoop::main().now(); }
  void deliverPending();
  void fail(const KMError& error);
  void finish();
  // The header's state table: only a running transfer holds a handle with the
  // engine and a time-out; a done one holds nothing.
  void assertInvariants() const;

  static size_t onHeader(char* data, size_t size, size_t count, void* user);
  static size_t onBody(char* data, size_t size, size_t count, void* user);
  static int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded);
  static size_t onRead(char* buffer, size_t size, size_t count, void* user);
  static int onSeek(void* user, curl_off_t offset, int origin);

  void curlTransferDidComplete(int result) override {
    PendingEvent done(PendingEvent::Kind::Done);
    done.result = static_cast<CURLcode>(result);
    done.errorText = errorBuffer;
    pending.push_back(std::move(done));
  }
  bool hasPendingEvents() const override { return !pending.empty(); }
  void deliverPendingEvents() override { deliverPending(); }
};

size_t HTTPTransfer::Impl::onHeader(char* data, size_t size, size_t count, void* user) {
  auto* self = static_cast<Impl*>(user);
  const size_t length = size * count;
  std::string_view line(data, length);
  if (line.rfind("HTTP/", 0) == 0) {
    // A new status line: 1xx interim heads and each hop start afresh.
    self->head = HTTPResponse{};
    self->head.URL = self->request.URL;
    self->headComplete = false;
    const auto space = line.find(' ');
    if (space != std::string_view::npos) self->head.statusCode = std::atoi(std::string(line.substr(space + 1, 3)).c_str());
    return length;
  }
  if (line == "\r\n" || line == "\n") {
    if (self->head.statusCode >= 200 || self->head.statusCode == 0) {
      self->headComplete = true;
      auto encoding = self->head.valueForHTTPHeaderField("Content-Encoding");
      const bool decoded = encoding && !encoding->empty() && strcasecmp(encoding->c_str(), "identity") != 0;
      if (auto declared = self->head.valueForHTTPHeaderField("Content-Length"); declared && !decoded) {
        char* end = nullptr;
        const long long value = std::strtoll(declared->c_str(), &end, 10);
        if (end != declared->c_str() && value >= 0) self->head.expectedContentLength = value;
      }
      if (self->request.method == "HEAD") self->head.expectedContentLength.reset();
      PendingEvent event(PendingEvent::Kind::Response);
      event.response = self->head;
      self->pending.push_back(std::move(event));
    }
    return length;
  }
  const auto colon = line.find(':');
  if (colon != std::string_view::npos) {
    self->head.headerFields.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
  }
  return length;
}

size_t HTTPTransfer::Impl::onBody(char* data, size_t size, size_t count, void* user) {
  auto* self = static_cast<Impl*>(user);
  const size_t length = size * count;
  if (self->state != State::Running) return CURL_WRITEFUNC_ERROR;
  if (self->pendingBodyBytes >= kMaxPendingBodyBytes) {
    // libcurl keeps this chunk and offers it again once resumed.
    self->receivePaused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  // libcurl hands a body over in pieces of at most 16 KiB; the pieces of one
  // read join the waiting event, so the client gets one call (one write) per read.
  self->pendingBodyBytes += length;
  if (!self->pending.empty() && self->pending.back().kind == PendingEvent::Kind::Data) {
    self->pending.back().data.append(data, length);
    return length;
  }
  PendingEvent event(PendingEvent::Kind::Data);
  event.data = std::move(self->spareBody);
  event.data.reserve(static_cast<std::size_t>(kReceiveBufferSize));
  event.data.assign(data, length);
  self->pending.push_back(std::move(event));
  return length;
}

int HTTPTransfer::Impl::onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
  auto* self = static_cast<Impl*>(user);
  if (self->state != State::Running) return 1;
  if (uploaded > 0 && static_cast<std::uint64_t>(uploaded) != self->lastSentReported) {
    self->lastSentReported = static_cast<std::uint64_t>(uploaded);
    // Only the newest total matters: one waiting report is brought up to date.
    if (!self->pending.empty() && self->pending.back().kind == PendingEvent::Kind::SentBytes) {
      self->pending.back().sentBytes = self->lastSentReported;
      return 0;
    }
    PendingEvent event(PendingEvent::Kind::SentBytes);
    event.sentBytes = self->lastSentReported;
    self->pending.push_back(std::move(event));
  }
  return 0;
}

size_t HTTPTransfer::Impl::onRead(char* buffer, size_t size, size_t count, void* user) {
  auto* self = static_cast<Impl*>(user);
  if (!self->uploadFile) return CURL_READFUNC_ABORT;
  const size_t read = std::fread(buffer, 1, size * count, self->uploadFile.get());
  if (read == 0 && std::ferror(self->uploadFile.get())) return CURL_READFUNC_ABORT;
  return read;
}

// libcurl sends a body again when a kept connection turns out to be closed
// under it; without a way back to the start it gives the upload up.
int HTTPTransfer::Impl::onSeek(void* user, curl_off_t offset, int origin) {
  auto* self = static_cast<Impl*>(user);
  if (!self->uploadFile) return CURL_SEEKFUNC_CANTSEEK;
  return ::fseeko(self->uploadFile.get(), static_cast<off_t>(offset), origin) == 0 ? CURL_SEEKFUNC_OK
                                                                                   : CURL_SEEKFUNC_FAIL;
}

bool HTTPTransfer::Impl::beginHop() {
  easy.reset(curl_easy_init());
  CURL* const handle = easy.get();
  if (!handle) return false;
  const std::string& url = request.URL.absoluteString();
  const std::string scheme = request.URL.scheme();
  if (scheme != "http" && scheme != "https") return false;
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PRIVATE, this);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
  setCommonCurlOptions(handle, request);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Impl::onBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
  // Larger reads than the default 16 KiB: a big listing or download comes in
  // fewer events, each one a copy and a turn of the main loop.
  curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferSize);

  bool hasExpect = false;
  for (const auto& [field, value] : request.headerFields) {
    if (strcasecmp(field.c_str(), "Expect") == 0) hasExpect = true;
    // "Name;" is libcurl's way of sending a field with an empty value.
    const std::string line = value.empty() ? field + ";" : field + ": " + value;
    appendHeader(headerList, line.c_str());
  }
  if (!hasExpect) appendHeader(headerList, "Expect:");
  if (needsContentTypeSuppressed(request)) appendHeader(headerList, "Content-Type:");
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headerList.get());

  if (request.bodyFilePath) {
    uploadFile.reset(std::fopen(request.bodyFilePath->c_str(), "rb"));
    if (!uploadFile) return false;
    struct stat info {};
    if (fstat(fileno(uploadFile.get()), &info) != 0) return false;
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, &Impl::onRead);
    curl_easy_setopt(handle, CURLOPT_READDATA, this);
    curl_easy_setopt(handle, CURLOPT_SEEKFUNCTION, &Impl::onSeek);
    curl_easy_setopt(handle, CURLOPT_SEEKDATA, this);
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(info.st_size));
    // Larger reads than the default 64 KiB: fewer run-loop turns per megabyte.
    curl_easy_setopt(handle, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferSize);
    if (request.method != "PUT") curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  } else if (request.method == "GET") {
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  } else if (request.method == "HEAD") {
    curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
  } else {
    curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  if (!request.bodyFilePath && request.body.empty() && request.method == "POST") {
    // An empty POST still says "Content-Length: 0", which servers expect.
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(0));
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, "");
  }
  if (!request.bodyFilePath && !request.body.empty()) {
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data());
    if (request.method != "POST") curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  head = HTTPResponse{};
  headComplete = false;
  lastSentReported = 0;
  pendingBodyBytes = 0;
  receivePaused = false;
  if (!CurlEngine::shared().add(easy.get(), this)) return false;
  noteActivity();
  armTimeout();
  return true;
}

void HTTPTransfer::Impl::endHop() {
  if (timeoutTimer) RunLoop::main().cancel(timeoutTimer);
  timeoutTimer = 0;
  CurlEngine::shared().remove(easy.get());
  // The handle goes first: it reads the header list until it is cleaned up.
  easy.reset();
  headerList.reset();
  uploadFile.reset();
  pending.clear();
}

// Inactivity time-out on the run clock, so tests can move time by hand: it
// fires when nothing has arrived or been sent for `timeoutInterval` seconds.
void HTTPTransfer::Impl::armTimeout() {
  const double interval = request.timeoutInterval > 0 ? request.timeoutInterval : 20;
  const double remaining = lastActivity + interval - RunLoop::main().now();
  timeoutTimer = RunLoop::main().postDelayed(remaining > 0 ? remaining : 0, [this] { onTimeoutTimer(); });
}

void HTTPTransfer::Impl::onTimeoutTimer() {
  timeoutTimer = 0;
  if (state != State::Running) return;
  const double interval = request.timeoutInterval > 0 ? request.timeoutInterval : 20;
  if (RunLoop::main().now() - lastActivity + 1e-6 < interval) {
    armTimeout();
    return;
  }
  fail(KMError(kKMHTTPTransportErrorDomain, kKMHTTPTransportTimedOut, "The request timed out."));
}

void HTTPTransfer::Impl::assertInvariants() const {
  KDISK_CHECK_SEQUENCE(sequence, "HTTPTransfer");
  if (state == State::Running) {
    KDISK_CONTRACT(easy && timeoutTimer && CurlEngine::shared().isLive(this),
                   "HTTPTransfer " + request.URL.absoluteString() + ": running without a handle, engine or time-out");
  } else {
    KDISK_CONTRACT(!easy && !headerList && !uploadFile && !timeoutTimer && !CurlEngine::shared().isLive(this),
                   "HTTPTransfer " + request.URL.absoluteString() + ": holds transport resources while not running");
  }
}

void HTTPTransfer::Impl::fail(const KMError& error) {
  state = State::Done;
  endHop();
  assertInvariants();
  client->transferDidFail(error);  // may destroy this transfer: touch nothing after
}

void HTTPTransfer::Impl::finish() {
  state = State::Done;
  endHop();
  assertInvariants();
  client->transferDidFinish();  // may destroy this transfer: touch nothing after
}

void HTTPTransfer::Impl::deliverPending() {
  KDISK_CHECK_SEQUENCE(sequence, "HTTPTransfer");
  CurlEngine& engine = CurlEngine::shared();
  while (!pending.empty() && state == State::Running) {
    PendingEvent event = std::move(pending.front());
    pending.pop_front();
    noteActivity();
    switch (event.kind) {
      case PendingEvent::Kind::Response: {
        auto location = event.response.valueForHTTPHeaderField("Location");
        if (isRedirectStatus(event.response.statusCode) && location) {
          auto target = URL::fromStringRelativeTo(*location, request.URL);
          if (target) {
            HTTPRequest proposed = request;
            proposed.URL = *target;
            const bool becomesGet = event.response.statusCode == 303 ||
                                    ((event.response.statusCode == 301 || event.response.statusCode == 302) &&
                                     request.method == "POST");
            if (becomesGet) {
              proposed.method = "GET";
              proposed.body.clear();
              proposed.bodyFilePath.reset();
            }
            auto next = client->transferWillSendRequest(proposed, &event.response);
            if (!engine.isLive(this) || state != State::Running) return;
            if (next) {
              endHop();
              request = std::move(*next);
              if (!beginHop()) {
                fail(KMError(kKMHTTPTransportErrorDomain, CURLE_URL_MALFORMAT, "The redirect could not be followed."));
                return;
              }
              assertInvariants();
              return;
            }
          }
        }
        client->transferDidReceiveResponse(event.response);
        break;
      }
      case PendingEvent::Kind::Data:
        pendingBodyBytes -= event.data.size();
        client->transferDidReceiveData(event.data);
        break;
      case PendingEvent::Kind::SentBytes:
        client->transferDidSendBodyData(event.sentBytes);
        break;
      case PendingEvent::Kind::Done:
        if (event.result == CURLE_OK) {
          finish();
        } else {
          std::string text = event.errorText.empty() ? curl_easy_strerror(event.result) : event.errorText;
          fail(KMError(kKMHTTPTransportErrorDomain, event.result, text));
        }
        return;
    }
    // The client may have cancelled or destroyed this transfer.
    if (!engine.isLive(this)) return;
    if (event.kind == PendingEvent::Kind::Data && event.data.capacity() <= kMaxPendingBodyBytes)
      spareBody = std::move(event.data);
  }
  // Drained: libcurl may read on. Resuming can hand over the held chunk at
  // once; it is delivered before returning to the loop.
  if (pending.empty() && receivePaused && state == State::Running && easy) {
    receivePaused = false;
    curl_easy_pause(easy.get(), CURLPAUSE_CONT);
    if (!pending.empty()) deliverPending();
  }
}

void setCommonCurlOptions(void* handle, const HTTPRequest& request) {
  CURL* easy = handle;
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  // Cookie engine stays off: no CURLOPT_COOKIEFILE, no share handle.
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (auto ca = additionalCAFile()) {
    // CAINFO replaces the default bundle; the system folder still counts.
    curl_easy_setopt(easy, CURLOPT_CAINFO, ca->c_str());
    curl_easy_setopt(easy, CURLOPT_CAPATH, "/etc/ssl/certs");
  }
  const long connectSeconds = request.timeoutInterval > 0 ? static_cast<long>(request.timeoutInterval + 0.999) : 20;
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, connectSeconds);
}

bool needsContentTypeSuppressed(const HTTPRequest& request) {
  const bool sendsFields = !request.bodyFilePath && (!request.body.empty() || request.method == "POST");
  return sendsFields && !request.valueForHTTPHeaderField("Content-Type");
}

void setAdditionalCertificateAuthorityFile(std::optional<std::string> path) {
  std::lock_guard guard(g_caLock);
  g_caFromEnvironmentRead = true;
  g_additionalCAFile = std::move(path);
}

std::optional<std::string> additionalCertificateAuthorityFile() { return additionalCAFile(); }

HTTPTransfer::HTTPTransfer(HTTPRequest request, HTTPTransferClient* client) : m_impl(std::make_unique<Impl>()) {
  m_impl->owner = this;
  m_impl->client = client;
  m_impl->request = std::move(request);
}

HTTPTransfer::~HTTPTransfer() { cancel(); }

bool HTTPTransfer::start() {
  KDISK_CHECK_SEQUENCE(m_impl->sequence, "HTTPTransfer");
  if (m_impl->state != Impl::State::Idle) return false;
  auto first = m_impl->client->transferWillSendRequest(m_impl->request, nullptr);
  if (!first) {
    m_impl->state = Impl::State::Done;
    m_impl->assertInvariants();
    return true;
  }
  m_impl->request = std::move(*first);
  m_impl->state = Impl::State::Running;
  if (!m_impl->beginHop()) {
    m_impl->state = Impl::State::Done;
    m_impl->endHop();
    m_impl->assertInvariants();
    return false;
  }
  m_impl->assertInvariants();
  return true;
}

void HTTPTransfer::cancel() {
  KDISK_CHECK_SEQUENCE(m_impl->sequence, "HTTPTransfer");
  if (m_impl->state == Impl::State::Done) return;
  m_impl->state = Impl::State::Done;
  m_impl->endHop();
  m_impl->assertInvariants();
}

bool HTTPTransfer::isRunning() const { return m_impl->state == Impl::State::Running; }

const HTTPRequest& HTTPTransfer::currentRequest() const { return m_impl->request; }

}  // namespace kdisk::webdav
