#include "cli/CliSession.h"
#include "cli/CliText.h"

#include <iostream>

#include "foundation/KLApplicationEnvironment.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/KMError.h"
#include "platform/RunLoop.h"
#include "settings/KMSettings.h"
#include "storage/KMWebDAVStorage.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMFileItem.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::cli {

std::string hostOf(const URL& url) {
  auto port = url.port();
  return port ? url.host() + ":" + std::to_string(*port) : url.host();
}

Outcomes::Outcomes(std::vector<std::string> names) {
  for (auto& name : names)
    m_tokens.push_back(
        NotificationCenter::defaultCenter().addObserver(name, [this](const Notification& n) {
          received.push_back(n);
          if (onNotification)
            onNotification(n);
        }));
  m_tokens.push_back(NotificationCenter::defaultCenter().addObserver(
      kKMXConnectionDidFailAuthenticateWithError,
      [this](const Notification&) { authenticationFailed = true; }));
}

std::size_t Outcomes::count(std::string_view name) const {
  std::size_t n = 0;
  for (auto& item : received)
    n += item.name == name;
  return n;
}

bool Outcomes::waitFor(const std::function<bool()>& done, double seconds) {
  return RunLoop::main().runUntil([&] { return authenticationFailed || done(); }, seconds);
}

Session::Session() {
  auto storage = std::make_shared<KMWebDAVStorage>();
  const URL root = KLApplicationEnvironment::currentEnvironment().webDAVRootURL();
  // The command talks to the service at once; a refused connection says
  // more than a watch of the network would.
  manager = KMWebDAVFileManager::create(storage, {root, false});
}

Session::~Session() {
  KMSettings::mainSettings().saveSettingsDelayed();
  manager->unmountStorages();
}

KMWebDAVStorage& Session::storage() {
  return *manager->storage();
}

URL Session::root() const {
  return manager->rootURL();
}

int report(const Failure& failure) {
  std::cout << std::flush;
  std::cerr << "kdisk: " << failure.message << "\n";
  return failure.status;
}

Step Session::requireToken() const {
  auto token = KMSettings::mainSettings().token();
  if (!token || token->empty())
    return Failure{say("Not signed in. Run `kdisk login` first.")};
  return passed();
}

Result<URL> Session::resolve(const std::string& path, bool directory) const {
  if (path.rfind("https://", 0) == 0 || path.rfind("http://", 0) == 0) {
    auto url = URL::fromString(path);
    if (!url)
      return Failure{say("Not a usable address: {}", path), kBadUsage};
    return directory ? url->withTrailingSlash() : *url;
  }
  URL url = root();
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find('/', start);
    if (end == std::string::npos)
      end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "..")
      return Failure{say("Paths may not climb above the root: {}", path), kBadUsage};
    if (!part.empty() && part != ".")
      parts.push_back(part);
    start = end + 1;
  }
  for (std::size_t i = 0; i < parts.size(); ++i)
    url = url.appendingPathComponent(parts[i], directory || i + 1 < parts.size());
  return directory ? url.withTrailingSlash() : url;
}

std::string Session::remotePath(const URL& url) const {
  std::string rootPath = root().path();
  std::string path = url.path();
  if (path.rfind(rootPath, 0) == 0)
    path = "/" + path.substr(rootPath.size());
  return path;
}

Failure Session::failureOf(const Outcomes& outcomes, const Notification* failure,
                           const std::string& what) const {
  if (outcomes.authenticationFailed)
    return Failure{say("The service refused the sign-in. Run `kdisk login` to sign in again.")};
  const KMError* error = failure ? errorForKey(failure->userInfo) : nullptr;
  if (error && error->domain == webdav::kKMHTTPTransportErrorDomain)
    return Failure{say("{}: cannot reach the service at {}.", what, hostOf(root()))};
  if (error && !error->localizedDescription.empty())
    return Failure{say("{}: {}", what, error->localizedDescription)};
  if (!failure)
    return Failure{say("{}: the service did not answer in time ({}).", what, hostOf(root()))};
  return Failure{what + "."};
}

Step Session::expectFirst(const Outcomes& outcomes, std::string_view success,
                          const std::string& what) const {
  if (outcomes.authenticationFailed || !outcomes.first() || outcomes.first()->name != success)
    return failureOf(outcomes, outcomes.first(), what);
  return passed();
}

Step Session::refresh(const URL& directory) {
  Outcomes outcomes(
      {kKMKMWebDAVFileManagerDidReceiveFileList, kKMKMWebDAVFileManagerDidFailWithFileListRequest});
  manager->updateContentsOfDirectoryAtURL(directory);
  outcomes.waitForFirst();
  return expectFirst(outcomes, kKMKMWebDAVFileManagerDidReceiveFileList,
                     say("Cannot list {}", remotePath(directory)));
}

Result<std::shared_ptr<KMFileItem>> Session::item(const std::string& path, bool offline) {
  const auto resolved = resolve(path);
  if (!resolved.hasValue())
    return resolved.failure();
  const URL& wanted = resolved.value();
  const URL parent = wanted.deletingLastPathComponent();
  if (!offline)
    if (auto listed = refresh(parent); !listed.hasValue())
      return listed.failure();
  const std::string name = wanted.withoutTrailingSlash().lastPathComponent();
  for (auto& child : storage().contentsOfDirectoryAtURLIncludeHidden(parent, true))
    if (child->URL().withoutTrailingSlash().lastPathComponent() == name)
      return child;
  return Failure{say("No such file or folder: {}", remotePath(wanted))};
}

} // namespace kdisk::cli
