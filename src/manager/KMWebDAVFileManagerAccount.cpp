// Account information (login, quota) and the watch on the service host.
#include <algorithm>
#include <string_view>

#include "manager/KMReachability.h"
#include "manager/KMWebDAVFileManager.h"

#include "manager/KMUploadQueue.h"
#include "manager/KMWebDAVFileManagerLog.h"
#include "platform/RunLoop.h"
#include "webdav/KMPROPFINDRequest.h"

using kdisk::Dictionary;
using kdisk::URL;

std::optional<std::string> KMWebDAVFileManager::valueForLineWithPrefixInText(const std::string& prefix,
                                                                             const std::string& text) {
  // A plain scan: a pattern engine recursing per character let a long line
  // from the server overflow the stack.
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line(text.data() + start, end - start);
    if (line.substr(0, prefix.size()) == prefix) {
      std::string value(line.substr(prefix.size()));
      if (!value.empty() && value.back() == '\r') value.pop_back();
      return value;
    }
    start = end + 1;
  }
  return std::nullopt;
}

void KMWebDAVFileManager::sendUserInfoRequest() {
  auto token = OAuthToken();
  if (!token || token->empty()) return;
  // The origin keeps the port, which a local or test service always has.
  auto url = URL::fromString(fmt::format("{}/?userinfo", rootURL().origin()));
  if (!url) return;
  auto request = std::make_shared<KMRequest>(*url);
  request->setOAuthToken(token);
  request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  request->setDidFinishLoadingBlock([weak](const std::optional<std::string>& data) {
    auto self = weak.lock();
    if (!self) return;
    auto login = valueForLineWithPrefixInText("login:", data.value_or(""));
    Dictionary userInfo;
    if (login && !login->empty()) userInfo["login"] = *login;
    self->post(kKMKMWebDAVFileManagerDidReceiveUserInfo, std::move(userInfo));
  });
  request->start();
}

void KMWebDAVFileManager::sendAdditionalInfoRequest() {
  auto request = std::make_shared<KMAdditionalInfoRequest>(rootURL());
  request->setOAuthToken(OAuthToken());
  request->setDepth(KMWebDAVDepthZero);
  request->setCallbackQueue(kdisk::DispatchQueue::globalQueue());
  request->setProps({KMAdditionalInfoRequest::maxFileSizeProp(),
                     KMAdditionalInfoRequest::quotaAvailableBytesProp(),
                     KMAdditionalInfoRequest::quotaUsedBytesProp()});
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  auto fail = [weak](const std::optional<KMError>& error) {
    auto self = weak.lock();
    if (!self) return;
    Dictionary userInfo;
    if (error) userInfo["error"] = kdisk::Value(*error);
    self->post(kKMKMWebDAVFileManagerDidFailWithAdditionalInfoRequest, std::move(userInfo));
  };
  request->setDidFailBlock([fail](const KMError& error) { fail(error); });
  // An answer that came but says nothing (empty, unparsable, no properties)
  // is still an answer: it is announced without the figures it lacks.
  auto receive = [weak](const Dictionary* values) {
    auto self = weak.lock();
    if (!self) return;
    Dictionary userInfo;
    const std::pair<std::shared_ptr<KMProp>, std::pair<const char*, const char*>> fields[] = {
        {KMAdditionalInfoRequest::maxFileSizeProp(),
         {"maxFileSizeNum", "WebDAV wrong response: max-file-size field is not exist."}},
        {KMAdditionalInfoRequest::quotaAvailableBytesProp(),
         {"quotaAvailableBytesNum", "WebDAV wrong response: quota-available-bytes field is not exist."}},
        {KMAdditionalInfoRequest::quotaUsedBytesProp(),
         {"quotaUsedBytesNum", "WebDAV wrong response: quota-used-bytes field is not exist."}},
    };
    for (const auto& [prop, keyAndMessage] : fields) {
      const kdisk::Value* value = values ? kdisk::find(*values, prop->fullname()) : nullptr;
      auto number = value ? value->integerValue() : std::nullopt;
      if (!number) {
        kdisk::manager::log()->error(keyAndMessage.second);
        continue;
      }
      userInfo[keyAndMessage.first] = *number;
    }
    self->post(kKMKMWebDAVFileManagerDidReceiveAdditionalInfo, std::move(userInfo));
  };
  request->setDidFinishLoadingBlock([receive](const std::optional<std::string>& data) {
    if (!data || data->empty()) receive(nullptr);  // no responses will follow
  });
  request->setDidReceiveMultistatusResponsesBlock([receive](const KMMultiStatusResponseList& responses) {
    receive(responses.empty() ? nullptr : responses.back()->successPropValues());
  });
  request->start();
  post(kKMKMWebDAVFileManagerDidSendAdditionalInfoRequest, {});
}

void KMWebDAVFileManager::setupNetworkMonitoring() {
  if (!kdisk::RunLoop::isMainThread()) {
    // The watch belongs to the main loop, which delivers its reports.
    kdisk::RunLoop::main().post([weak = weak_from_this()] {
      if (auto self = weak.lock()) self->setupNetworkMonitoring();
    });
    return;
  }
  if (m_reachability) return;
  const URL root = rootURL();
  const int port = root.port().value_or(root.scheme() == "http" ? 80 : 443);
  auto reachability = KMReachability::reachabilityWithHostNamePort(root.host(), static_cast<std::uint16_t>(port));
  if (!reachability) return;
  std::weak_ptr<KMWebDAVFileManager> weak = weak_from_this();
  if (!reachability->scheduleWithCallback([weak](unsigned flags) {
        if (auto self = weak.lock()) self->reachabilityChanged(flags);
      })) {
    return;
  }
  m_reachability = std::move(reachability);
}

void KMWebDAVFileManager::reachabilityChanged(unsigned flags) {
  const bool reachable = HostReachabilityForFlags(flags);
  m_hostIsReachable = reachable;
  // The queue pauses and resumes itself on the verdict.
  m_uploadQueue->hostReachabilityDidChange(reachable);
}
