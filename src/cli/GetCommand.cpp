#include <algorithm>
#include <filesystem>
#include <iostream>
#include <set>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/CliText.h"
#include "cli/FileCopy.h"
#include "foundation/KLApplicationLocale.h"
#include "manager/KMUploadNotifications.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/KMError.h"
#include "storage/KMUploadFile.h"
#include "storage/KMWebDAVStorage.h"
#include "webdav/KMFileItem.h"

namespace fs = std::filesystem;

namespace kdisk::cli {

int get(Session& session, const std::string& remote, const std::optional<std::string>& local,
        bool offline) {
  if (!offline)
    if (auto signedIn = session.requireToken(); !signedIn.hasValue())
      return report(signedIn.failure());
  auto found = session.item(remote, offline);
  if (!found.hasValue())
    return report(found.failure());
  const auto& item = found.value();
  if (item->isDirectory())
    return report(Failure{say("{} is a folder; only files can be fetched.", remote)});
  const URL url = item->URL();
  auto cachePath = session.storage().localPathForWebURL(url);
  if (!cachePath)
    return report(Failure{say("No place in the cache for {}.", remote)});
  // The listing just merged drops a copy whose entity tag changed, so a copy
  // still there is current.
  if (session.storage().hasCachedFileForURL(url)) {
    std::cerr << say("{}: the cached copy is current.", item->displayName()) << "\n";
  } else {
    if (offline)
      return report(Failure{say("{} is not in the cache.", remote)});
    Outcomes outcomes({kKMKMWebDAVFileManagerDidDownloadFile,
                       kKMKMWebDAVFileManagerDidFailToDownloadFile,
                       kKMKMWebDAVFileManagerDidGetPartialDataForFile});
    std::optional<ProgressLine> progress;
    if (stdoutIsTerminal())
      progress.emplace(item->displayName());
    outcomes.onNotification = [&](const Notification& n) {
      if (progress && n.name == kKMKMWebDAVFileManagerDidGetPartialDataForFile)
        progress->update(static_cast<std::uint64_t>(std::max<std::int64_t>(
                             0, integerForKey(n.userInfo, "receivedDataLength").value_or(0))),
                         static_cast<std::uint64_t>(std::max<std::int64_t>(
                             0, integerForKey(n.userInfo, "expectedDataLength").value_or(0))));
    };
    auto request = session.manager->startDownloadFileForURL(url);
    auto ended = [&] {
      return outcomes.count(kKMKMWebDAVFileManagerDidDownloadFile) +
                 outcomes.count(kKMKMWebDAVFileManagerDidFailToDownloadFile) >
             0;
    };
    outcomes.waitFor(ended, kTransferWait);
    if (progress)
      progress->finish();
    if (outcomes.count(kKMKMWebDAVFileManagerDidDownloadFile) == 0 ||
        !session.storage().hasCachedFileForURL(url))
      return report(session.failureOf(outcomes, nullptr, say("Cannot download {}", remote)));
    std::cerr << say("{}: downloaded.", item->displayName()) << "\n";
  }
  if (local) {
    fs::path target = *local;
    if (fs::is_directory(target))
      target /= item->displayName();
    const std::error_code error = copyFileContents(*cachePath, target);
    if (error)
      return report(Failure{say("Cannot write {}: {}", target.string(), error.message())});
    std::cout << target.string() << "\n";
  } else {
    std::cout << *cachePath << "\n";
  }
  return 0;
}

} // namespace kdisk::cli
