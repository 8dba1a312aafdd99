#include "updater/KLUpdateOperation.h"

#include <fmt/format.h>

#include <charconv>
#include <thread>

#include "foundation/KLApplicationEnvironment.h"
#include "webdav/KMSynchronousHTTP.h"
#include "webdav/KMXMLDocument.h"

namespace {

// A child without a namespace, or in the root's own.
std::optional<std::string> childText(const KMXMLElement& root, std::string_view name) {
  auto child = root.firstChildElementNamed(name, "");
  if (child.isNull() && !root.namespaceURI().empty()) child = root.firstChildElementNamed(name, root.namespaceURI());
  if (child.isNull()) return std::nullopt;
  return child.textContent();
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

KLUpdateOperation::KLUpdateOperation(std::string brunch, std::string appName, unsigned buildNumber,
                                     unsigned timeOutInSec)
    : m_brunch(std::move(brunch)),
      m_appName(std::move(appName)),
      m_buildNumber(buildNumber),
      m_timeOutInSec(timeOutInSec == 0 ? kKLUpdateOperationDefaultTimeOut : timeOutInSec) {}

void KLUpdateOperation::start() {
  sendUpdateRequest();
  if (m_completion) m_completion(*this);
}

void KLUpdateOperation::startOnNewThread() {
  std::thread([self = shared_from_this()] { self->start(); }).detach();
}

KLUpdateOperation::Parameters KLUpdateOperation::updateParameters() const {
  return {{"app_name", m_appName},
          {"app_branch", m_brunch},
          {"app_platform", "iphoneos"},
          {"build_number", fmt::format("{}", m_buildNumber)}};
}

std::string KLUpdateOperation::endpointString() const {
  if (m_endpointForTesting) return *m_endpointForTesting;
  std::string text = kdisk::KLApplicationEnvironment::currentEnvironment().updateURL().absoluteString();
  while (!text.empty() && text.back() == '/') text.pop_back();
  return text + "/update/";
}

void KLUpdateOperation::sendUpdateRequest() {
  std::string text = endpointString();
  char separator = text.find('?') == std::string::npos ? '?' : '&';
  for (const auto& [name, value] : updateParameters()) {
    text += separator;
    text += kdisk::percentEncode(name) + "=" + kdisk::percentEncode(value);
    separator = '&';
  }
  auto url = kdisk::URL::fromString(text);
  if (!url) {
    m_lastError = KMError(kKLUpdateOperationErrorDomain,
                                 m_cancelled ? kKLUpdateOperationCancelled : kKLUpdateOperationRequestFailed);
    return;
  }
  kdisk::webdav::HTTPRequest request;
  request.URL = *url;
  request.method = "GET";
  request.timeoutInterval = m_timeOutInSec;
  request.setValueForHTTPHeaderField("no-cache", "Cache-Control");
  auto result = kdisk::webdav::sendSynchronousRequest(request);
  const int status = result.response ? result.response->statusCode : -1;
  if (!result.error && !result.body.empty() && status == 200) {
    handleAnswer(result.body);
    return;
  }
  if (result.error) {
    m_lastError = *result.error;
    return;
  }
  m_lastError = KMError(kKLUpdateOperationErrorDomain,
                               m_cancelled ? kKLUpdateOperationCancelled : kKLUpdateOperationRequestFailed,
                               fmt::format("Update request failed with status {}", status));
}

void KLUpdateOperation::handleAnswer(const std::string& body) {
  auto document = KMXMLDocument::parse(body, KMXMLDocument::Limits{64 * 1024, 16});
  std::optional<std::string> build;
  std::optional<std::string> link;
  if (document && !document->rootElement().isNull()) {
    build = childText(document->rootElement(), "build_number");
    link = childText(document->rootElement(), "url");
  }
  std::optional<kdisk::URL> parsedURL;
  if (link) parsedURL = kdisk::URL::fromString(trimmed(*link));
  unsigned number = 0;
  bool numberRead = false;
  if (build) {
    const auto text = trimmed(*build);
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    numberRead = error == std::errc() && end == text.data() + text.size() && !text.empty();
  }
  // A garbled number or URL is as useless as a missing one.
  if (!numberRead || !parsedURL) {
    m_lastError = KMError(kKLUpdateOperationErrorDomain, kKLUpdateOperationBadAnswer,
                                 "The update answer lacks build_number or url");
    return;
  }
  m_newBuildNumber = number;
  m_url = std::move(parsedURL);
}
