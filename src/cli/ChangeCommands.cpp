#include <iostream>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/CliText.h"
#include "cli/Clipboard.h"
#include "manager/KMWebDAVFileManager.h"
#include "storage/KMWebDAVStorage.h"
#include "webdav/KMFileItem.h"

namespace kdisk::cli {

int remove(Session& session, const std::vector<std::string>& paths, bool force) {
  if (auto signedIn = session.requireToken(); !signedIn.hasValue())
    return report(signedIn.failure());
  int status = 0;
  for (auto& path : paths) {
    auto found = session.item(path, false);
    if (!found.hasValue())
      return report(found.failure());
    const auto& item = found.value();
    if (!force && stdinIsTerminal() &&
        !confirm(say(item->isDirectory() ? "Remove {} and everything in it?" : "Remove {}?",
                     session.remotePath(item->URL().withoutTrailingSlash()))))
      continue;
    Outcomes outcomes(
        {kKMKMWebDAVFileManagerDidRemove, kKMKMWebDAVFileManagerDidFailWithRemoveRequest});
    session.manager->removeItemAtURL(item->URL());
    outcomes.waitForFirst();
    if (auto removed = session.expectFirst(outcomes, kKMKMWebDAVFileManagerDidRemove, say("Cannot remove {}", path));
        !removed.hasValue())
      return report(removed.failure());
    session.storage().removeItemAtURL(item->URL());
    std::cout << say("Removed {}", session.remotePath(item->URL().withoutTrailingSlash())) << "\n";
  }
  return status;
}

int makeDirectory(Session& session, const std::string& name, const std::string& parentPath) {
  if (auto signedIn = session.requireToken(); !signedIn.hasValue())
    return report(signedIn.failure());
  const auto resolved = session.resolve(parentPath, true);
  if (!resolved.hasValue())
    return report(resolved.failure());
  const URL& parent = resolved.value();
  Outcomes outcomes(
      {kKMKMWebDAVFileManagerDidCreateDirectory, kKMKMWebDAVFileManagerDidFailToCreateDirectory});
  session.manager->createDirectoryWithNameAt(name, parent);
  outcomes.waitForFirst();
  if (auto made = session.expectFirst(outcomes, kKMKMWebDAVFileManagerDidCreateDirectory,
                                     say("Cannot create the folder {}", name));
      !made.hasValue())
    return report(made.failure());
  auto created =
      URL::fromString(stringForKey(outcomes.received.front().userInfo, "URL").value_or(""));
  std::cout << say("Created {}", created ? session.remotePath(created->withoutTrailingSlash()) : name) << "\n";
  // So the cached listing shows the new folder, offline too.
  if (auto listed = session.refresh(parent); !listed.hasValue())
    return report(listed.failure());
  return 0;
}

int share(Session& session, const std::vector<std::string>& paths, bool copy) {
  if (auto signedIn = session.requireToken(); !signedIn.hasValue())
    return report(signedIn.failure());
  std::string text;
  for (auto& path : paths) {
    auto found = session.item(path, false);
    if (!found.hasValue())
      return report(found.failure());
    const auto& item = found.value();
    Outcomes outcomes(
        {kKMKMWebDAVFileManagerDidPublishFile, kKMKMWebDAVFileManagerDidFailWithPublishRequest});
    session.manager->publishFileWithURL(item->URL());
    outcomes.waitForFirst();
    if (auto published = session.expectFirst(outcomes, kKMKMWebDAVFileManagerDidPublishFile, say("Cannot share {}", path));
        !published.hasValue())
      return report(published.failure());
    const auto link = stringForKey(outcomes.first()->userInfo, "locationURL").value_or("");
    // The name is the decoded last path component, as the share screen writes it.
    const std::string line =
        item->URL().withoutTrailingSlash().lastPathComponent() + ": " + link + "\n";
    // Printed at once: a later failure loses no link already made.
    std::cout << line << std::flush;
    text += line;
  }
  if (!copy)
    return 0;
  auto copied = copyToClipboard(text);
  if (!copied.hasValue())
    return report(Failure{say("The links were not copied: {}", copied.error().localizedDescription)});
  std::cerr << say(paths.size() == 1 ? "The link is on the clipboard." : "The links are on the clipboard.") << "\n";
  return 0;
}

} // namespace kdisk::cli
