#include "webdav/KMMultistatusRequest.h"

#include <mutex>

#include "platform/DispatchQueue.h"
#include "platform/Log.h"
#include "webdav/KMWebDAV.h"

namespace {

std::shared_ptr<spdlog::logger> multistatusLog() {
  static auto log = kdisk::logger("KMMultistatusRequest", kdisk::LogLevel::Warning);
  return log;
}

unsigned leadingDigits(std::string_view text) {
  unsigned long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 999999) break;  // no status code is longer; stops overflow too
  }
  return static_cast<unsigned>(value);
}

// White space as the C locale has it, without asking the locale.
bool isASCIISpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool hasScheme(std::string_view href) {
  const auto colon = href.find("://");
  if (colon == std::string_view::npos || colon == 0) return false;
  for (char c : href.substr(0, colon)) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

}  // namespace

unsigned KMMultistatusRequest::statusCodeOfElement(const KMXMLElement& element, unsigned fallback) {
  return statusCodeOfStatus(element.firstChildElementNamed("status", kKMWebDAVDAVNamespaceURI), fallback);
}

unsigned KMMultistatusRequest::statusCodeOfStatus(const KMXMLElement& status, unsigned fallback) {
  if (status.isNull()) return fallback;
  const std::string text = status.textContent();
  // Split at single spaces: the second part is the code.
  const auto first = text.find(' ');
  if (first == std::string::npos) return fallback;
  const auto second = text.find(' ', first + 1);
  return leadingDigits(std::string_view(text).substr(first + 1, second == std::string::npos ? std::string::npos
                                                                                             : second - first - 1));
}

std::shared_ptr<KMMultiStatusResponse> KMMultistatusRequest::multistatusResponseForXMLElement(
    const KMXMLElement& element) const {
  return responseWithHrefAndStatus(element.firstChildElementNamed("href", kKMWebDAVDAVNamespaceURI),
                                   element.firstChildElementNamed("status", kKMWebDAVDAVNamespaceURI));
}

std::shared_ptr<KMMultiStatusResponse> KMMultistatusRequest::responseWithHrefAndStatus(
    const KMXMLElement& hrefElement, const KMXMLElement& status) const {
  if (hrefElement.isNull()) return nullptr;
  const std::string text = hrefElement.textContent();
  // Servers may pad the href with white space around the text.
  std::string_view href = text;
  while (!href.empty() && isASCIISpace(href.front())) href.remove_prefix(1);
  while (!href.empty() && isASCIISpace(href.back())) href.remove_suffix(1);
  if (href.empty()) return nullptr;
  std::optional<kdisk::URL> url;
  if (hasScheme(href)) {
    url = kdisk::URL::fromString(href);  // a full URL stands for itself
  } else if (href.front() == '/') {
    // Scheme, host and port of the request: the local service never sits on
    // a default port. The href is kept as sent.
    url = URL().withAbsolutePathReference(href);
  } else {
    url = kdisk::URL::fromStringRelativeTo(href, URL());
  }
  if (!url) {
    multistatusLog()->warn("{}: response with an unusable href dropped: {}", description(), href);
    return nullptr;
  }
  auto response = std::make_shared<KMMultiStatusResponse>();
  response->setStatusCode(statusCodeOfStatus(status, 207));
  response->setURL(std::move(*url));
  return response;
}

void KMMultistatusRequest::collectResponse(const KMXMLElement& child, KMMultiStatusResponseList& responses) const {
  if (!child.isNamed("response", kKMWebDAVDAVNamespaceURI)) return;
  if (auto response = multistatusResponseForXMLElement(child)) responses.push_back(std::move(response));
}

KMMultiStatusResponseList KMMultistatusRequest::multistatusResponsesForBody(std::string_view body) const {
  KMMultiStatusResponseList responses;
  KMXMLStreamParser parser([&](const KMXMLElement& child) { collectResponse(child, responses); });
  if (!parser.feed(body) || !parser.finish()) return {};
  return responses;
}

// Decodes one run's body on the shared background queue as it arrives. Chunks
// gather here and one background task at a time feeds them to the parser, so
// it sees them in order without a thread of its own. Holds the request weakly:
// a request dropped mid-transfer stops the decoding.
class KMMultistatusRequest::StreamingDecoder : public std::enable_shared_from_this<StreamingDecoder> {
 public:
  // Called once all bytes are parsed: whether there were any, and the
  // responses (none when the body was not an acceptable document).
  using Done = std::function<void(bool hadBody, KMMultiStatusResponseList responses)>;

  explicit StreamingDecoder(std::weak_ptr<const KMMultistatusRequest> request)
      : m_request(std::move(request)), m_parser([this](const KMXMLElement& child) {
          if (auto request = m_request.lock()) request->collectResponse(child, m_responses);
        }) {}

  void append(std::string_view chunk) {
    {
      std::lock_guard guard(m_lock);
      m_pending.append(chunk);
      if (m_draining) return;
      m_draining = true;
    }
    kdisk::dispatchBackground([self = shared_from_this()] { self->drain(); });
  }

  void finish(Done done) {
    {
      std::lock_guard guard(m_lock);
      m_done = std::move(done);
      if (m_draining) return;
      m_draining = true;
    }
    kdisk::dispatchBackground([self = shared_from_this()] { self->drain(); });
  }

 private:
  void drain() {
    for (;;) {
      std::string bytes;
      Done done;
      {
        std::lock_guard guard(m_lock);
        bytes.swap(m_pending);
        if (bytes.empty()) {
          if (!m_done) {
            m_draining = false;
            return;
          }
          done = std::move(m_done);
        }
      }
      if (!done) {
        m_received += bytes.size();
        if (!m_request.expired()) m_parser.feed(bytes);
        continue;
      }
      // Nothing is appended after finish: the decoder stays "draining" for good.
      const bool accepted = !m_request.expired() && m_parser.finish();
      done(m_received > 0, accepted ? std::move(m_responses) : KMMultiStatusResponseList());
      return;
    }
  }

  std::weak_ptr<const KMMultistatusRequest> m_request;
  std::mutex m_lock;
  std::string m_pending;
  bool m_draining = false;
  Done m_done;
  // Touched by the one draining task only.
  KMXMLStreamParser m_parser;
  KMMultiStatusResponseList m_responses;
  std::size_t m_received = 0;
};

void KMMultistatusRequest::connectionDidReceiveResponse(const HTTPResponse& response) {
  auto self = shared_from_this();  // the base may drop the request's hold on itself
  m_decoder.reset();  // a new run or hop starts from nothing
  KMDiskRequest::connectionDidReceiveResponse(response);
  if (response.statusCode != 207 || isCanceled() || outcomeReported() || fileURL()) return;
  m_decoder = std::make_shared<StreamingDecoder>(std::static_pointer_cast<const KMMultistatusRequest>(self));
}

void KMMultistatusRequest::connectionDidReceiveData(std::string_view chunk) {
  auto self = shared_from_this();
  KMDiskRequest::connectionDidReceiveData(chunk);
  if (m_decoder && !isCanceled() && !outcomeReported()) m_decoder->append(chunk);
}

void KMMultistatusRequest::processReceivedData() {
  auto decoder = std::move(m_decoder);
  if (!lastResponse() || lastResponse()->statusCode != 207 || !decoder) return;
  auto self = std::static_pointer_cast<KMMultistatusRequest>(shared_from_this());
  decoder->finish([self](bool hadBody, KMMultiStatusResponseList responses) {
    if (!hadBody) return;
    self->m_multistatusResponses = responses;
    auto block = self->m_didReceiveMultistatusResponsesBlock;
    if (!block) return;
    auto queue = self->callbackQueue();
    if (queue->isCurrent()) {
      block(responses);
    } else {
      queue->async([block, responses = std::move(responses)] { block(responses); });
    }
  });
}

void KMDeleteRequest::prepareRequest(HTTPRequest& request) {
  KMMultistatusRequest::prepareRequest(request);
  request.method = "DELETE";
}
