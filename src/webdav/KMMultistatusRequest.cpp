#include "webdav/KMMultistatusRequest.h"

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
  KMXMLElement status = element.firstChildElementNamed("status", kKMWebDAVDAVNamespaceURI);
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
  auto response = std::make_shared<KMMultiStatusResponse>();
  response->setStatusCode(statusCodeOfElement(element, 207));
  KMXMLElement hrefElement = element.firstChildElementNamed("href", kKMWebDAVDAVNamespaceURI);
  if (hrefElement.isNull()) return nullptr;
  std::string href = hrefElement.textContent();
  // Servers may pad the href with white space around the text.
  while (!href.empty() && std::isspace(static_cast<unsigned char>(href.front()))) href.erase(href.begin());
  while (!href.empty() && std::isspace(static_cast<unsigned char>(href.back()))) href.pop_back();
  if (href.empty()) return nullptr;
  std::optional<kdisk::URL> url;
  if (hasScheme(href)) {
    url = kdisk::URL::fromString(href);  // a full URL stands for itself
  } else if (href.front() == '/') {
    // Scheme, host and port of the request: the local service never sits on
    // a default port. The href is kept as sent.
    url = kdisk::URL::fromString(URL().origin() + href);
  } else {
    url = kdisk::URL::fromStringRelativeTo(href, URL());
  }
  if (!url) {
    multistatusLog()->warn("{}: response with an unusable href dropped: {}", description(), href);
    return nullptr;
  }
  response->setURL(*url);
  return response;
}

KMMultiStatusResponseList KMMultistatusRequest::multistatusResponsesForBody(std::string_view body) const {
  KMMultiStatusResponseList responses;
  auto document = KMXMLDocument::parse(body);
  if (!document) return responses;
  for (const KMXMLElement& child : document->rootElement().childElements()) {
    if (!child.isNamed("response", kKMWebDAVDAVNamespaceURI)) continue;
    if (auto response = multistatusResponseForXMLElement(child)) responses.push_back(std::move(response));
  }
  return responses;
}

void KMMultistatusRequest::processReceivedData() {
  if (!lastResponse() || lastResponse()->statusCode != 207) return;
  auto self = std::static_pointer_cast<KMMultistatusRequest>(shared_from_this());
  // The body is copied: a restart on the main thread may reset the buffer.
  auto body = std::make_shared<const std::string>(receivedData().value_or(std::string()));
  kdisk::dispatchBackground([self, body] {
    if (body->empty()) return;
    auto responses = self->multistatusResponsesForBody(*body);
    self->m_multistatusResponses = responses;
    auto block = self->m_didReceiveMultistatusResponsesBlock;
    if (!block) return;
    auto queue = self->callbackQueue();
    if (queue->isCurrent()) {
      block(responses);
    } else {
      queue->async([block, responses] { block(responses); });
    }
  });
}

void KMDeleteRequest::prepareRequest(HTTPRequest& request) {
  KMMultistatusRequest::prepareRequest(request);
  request.method = "DELETE";
}
