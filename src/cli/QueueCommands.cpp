#include <algorithm>
#include <filesystem>
#include <iostream>
#include <set>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/CliText.h"
#include "foundation/KLApplicationLocale.h"
#include "manager/KMUploadNotifications.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/KMError.h"
#include "storage/KMUploadFile.h"
#include "storage/KMWebDAVStorage.h"
#include "webdav/KMFileItem.h"

namespace fs = std::filesystem;

namespace kdisk::cli {
namespace {

// Sends every waiting upload until none is left; false when any failed.
Result<bool> runQueue(Session& session, std::set<std::string> watched) {
  using namespace kdisk::manager;
  Outcomes outcomes(
      {kKMKMWebDAVFileManagerDidStartUploadFile, kKMKMWebDAVFileManagerDidSendBytesForUploadFile,
       kKMKMWebDAVFileManagerDidUploadFile, kKMKMWebDAVFileManagerDidFailToUploadFile});
  const bool terminal = stdoutIsTerminal();
  std::optional<ProgressLine> progress;
  std::string current;
  bool allGood = true;
  outcomes.onNotification = [&](const Notification& n) {
    const std::string urlText = stringForKey(n.userInfo, "URL").value_or("");
    auto url = URL::fromString(urlText);
    const std::string path = url ? session.remotePath(*url) : urlText;
    if (n.name == kKMKMWebDAVFileManagerDidStartUploadFile) {
      current = urlText;
      // The name was taken on the service: the upload goes on under the next free one.
      if (auto refused = stringForKey(n.userInfo, kKMUploadRefusedURLKey)) {
        auto refusedURL = URL::fromString(*refused);
        std::cout << say("{} is taken on the service.", refusedURL ? session.remotePath(*refusedURL) : *refused) << "\n";
        if (watched.erase(*refused)) watched.insert(urlText);
      }
      if (terminal)
        progress.emplace(path);
      else
        std::cout << say("Sending {}", path) << "\n" << std::flush;
    } else if (n.name == kKMKMWebDAVFileManagerDidSendBytesForUploadFile) {
      if (progress && urlText == current) {
        auto row = url ? session.storage().uploadFileAtURL(*url) : nullptr;
        progress->update(static_cast<std::uint64_t>(std::max<std::int64_t>(
                             0, integerForKey(n.userInfo, kKMUploadUploadedSizeKey).value_or(0))),
                         row ? row->size() : 0);
      }
    } else {
      if (progress)
        progress->finish();
      progress.reset();
      if (n.name == kKMKMWebDAVFileManagerDidUploadFile) {
        std::cout << say("Uploaded {}", path) << "\n" << std::flush;
      } else {
        auto row = url ? session.storage().uploadFileAtURL(*url) : nullptr;
        std::cerr << say("Failed to upload {}: {}. Run `kdisk queue retry` to send it again.", path,
                         failReasonInWords(row ? row->failReason() : std::nullopt))
                  << "\n";
        if (watched.empty() || watched.count(urlText))
          allGood = false;
      }
    }
  };
  auto waiting = [&] {
    for (auto& row : session.storage().uploadsInDirectoryAtURL(std::nullopt))
      if (!row->failed())
        return true;
    return false;
  };
  session.manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable);
  session.manager->uploadNextFileInQueue();
  outcomes.waitFor([&] { return !waiting() && !session.manager->uploadingFileURL(); },
                   kTransferWait);
  if (progress)
    progress->finish();
  if (outcomes.authenticationFailed)
    return Failure{say("The service refused the sign-in. Run `kdisk login` to sign in again.")};
  for (auto& urlText : watched) {
    auto url = URL::fromString(urlText);
    auto row = url ? session.storage().uploadFileAtURL(*url) : nullptr;
    if (row)
      allGood = false;
  }
  return allGood;
}

} // namespace

int put(Session& session, std::vector<std::string> arguments, std::optional<std::string> to,
        bool noWait) {
  if (auto signedIn = session.requireToken(); !signedIn.hasValue())
    return report(signedIn.failure());
  if (!to && arguments.size() > 1 && !fs::is_regular_file(arguments.back())) {
    to = arguments.back();
    arguments.pop_back();
  }
  const auto resolved = session.resolve(to.value_or("/"), true);
  if (!resolved.hasValue())
    return report(resolved.failure());
  const URL& directory = resolved.value();
  for (auto& local : arguments)
    if (!fs::is_regular_file(local))
      return report(Failure{say("Not a file: {}", local), kBadUsage});
  // Free names are picked from the cached listing; a fresh one spares sends the
  // service refuses because the name is taken there.
  if (auto listed = session.refresh(directory); !listed.hasValue())
    std::cerr << "kdisk: " << listed.failure().message << " "
              << say("Names are checked against the cached listing only.") << "\n";
  std::set<std::string> queued;
  for (auto& local : arguments) {
    const fs::path absolute = fs::absolute(local);
    const URL target = directory.appendingPathComponent(absolute.filename().string());
    auto added =
        session.manager->uploadFileForFileURLTo(URL::fileURLWithPath(absolute.string()), target);
    if (!added.hasValue())
      return report(Failure{say("Cannot queue {}: {}", local, added.error().localizedDescription)});
    queued.insert(added.value().absoluteString());
    std::cout << say("Queued {} as {}", local, session.remotePath(added.value())) << "\n";
  }
  std::cout << std::flush;
  if (noWait)
    return 0;
  const auto sent = runQueue(session, queued);
  if (!sent.hasValue())
    return report(sent.failure());
  return sent.value() ? 0 : kFailed;
}

int queueList(Session& session) {
  auto rows = session.storage().uploadsInDirectoryAtURL(std::nullopt);
  if (rows.empty()) {
    std::cout << say("The upload queue is empty.") << "\n";
    return 0;
  }
  for (auto& row : rows) {
    const std::string state = say(row->failed() ? "failed" : "waiting");
    std::cout << fmt::format("{:<9}", state) << session.remotePath(row->URL())
              << "  " << LocalizedFileSizeStr(row->size());
    if (row->failed())
      std::cout << "  (" << failReasonInWords(row->failReason()) << ")";
    std::cout << "\n";
  }
  return 0;
}

namespace {

Result<std::vector<std::shared_ptr<KMUploadFile>>> rowsNamed(Session& session,
                                                             const std::vector<std::string>& names) {
  auto rows = session.storage().uploadsInDirectoryAtURL(std::nullopt);
  if (names.empty())
    return rows;
  std::vector<std::shared_ptr<KMUploadFile>> chosen;
  for (auto& name : names) {
    bool found = false;
    for (auto& row : rows)
      if (session.remotePath(row->URL()) == name || row->URL().lastPathComponent() == name ||
          row->URL().absoluteString() == name) {
        chosen.push_back(row);
        found = true;
      }
    if (!found)
      return Failure{say("No upload named {} in the queue.", name)};
  }
  return chosen;
}

} // namespace

int queueRetry(Session& session, const std::vector<std::string>& names) {
  if (auto signedIn = session.requireToken(); !signedIn.hasValue())
    return report(signedIn.failure());
  const auto rows = rowsNamed(session, names);
  if (!rows.hasValue())
    return report(rows.failure());
  std::set<std::string> watched;
  for (auto& row : rows.value()) {
    watched.insert(row->URL().absoluteString());
    if (row->failed())
      session.manager->retryUploadFileWithURL(row->URL());
  }
  const auto sent = runQueue(session, watched);
  if (!sent.hasValue())
    return report(sent.failure());
  return sent.value() ? 0 : kFailed;
}

int queueRemove(Session& session, const std::vector<std::string>& names) {
  const auto rows = rowsNamed(session, names);
  if (!rows.hasValue())
    return report(rows.failure());
  for (auto& row : rows.value()) {
    session.manager->removeUploadFileWithURL(row->URL());
    std::cout << say("Removed {} from the queue.", session.remotePath(row->URL())) << "\n";
  }
  return 0;
}

} // namespace kdisk::cli
