#include <cstdio>
#include <iostream>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/CliText.h"
#include "foundation/KLApplicationLocale.h"
#include "platform/Paths.h"
#include "storage/KMWebDAVStorage.h"
#include "webdav/KMFile.h"

namespace kdisk::cli {

namespace {

// `items` are children of `directory`.
void printItems(Session& session, const KMFileItemList& items, bool longForm, bool json, const URL& directory) {
  // A folder without a local copy holds no cached file: one look, not one per file.
  const auto localFolder = session.storage().localPathForWebURL(directory);
  const bool mayHoldCopies = localFolder && kdisk::paths::fileExists(*localFolder);
  // The store hands folder contents over sorted already.
  for (auto& item : items) {
    auto file = std::dynamic_pointer_cast<KMFile>(item);
    const bool cached = mayHoldCopies && !item->isDirectory() && session.storage().hasCachedFileForURL(item->URL());
    if (json) {
      std::cout << "{\"name\":" << jsonString(item->displayName()) << ",\"path\":"
                << jsonString(session.remotePath(item->URL().withoutTrailingSlash()))
                << ",\"type\":\"" << (item->isDirectory() ? "directory" : "file") << "\"";
      if (file) {
        std::cout << ",\"size\":" << file->size()
                  << ",\"modified\":" << dateText(file->lastModified(), true) << ",\"etag\":"
                  << (file->etag() ? jsonString(*file->etag()) : std::string("null"));
      }
      std::cout << ",\"cached\":" << (cached ? "true" : "false") << "}\n";
    } else if (longForm) {
      std::string size = file ? LocalizedFileSizeStr(file->size()) : "-";
      std::printf("%c %10s  %s  %s%s\n", cached ? '*' : ' ', size.c_str(),
                  dateText(file ? file->lastModified() : std::nullopt, false).c_str(),
                  item->displayName().c_str(), item->isDirectory() ? "/" : "");
    } else {
      std::cout << item->displayName() << (item->isDirectory() ? "/" : "") << "\n";
    }
  }
  std::fflush(stdout);
}

// The folder `path` names, its cached listing brought up to date first
// unless offline.
Result<URL> listedDirectory(Session& session, const std::string& path, bool offline) {
  auto resolved = session.resolve(path, true);
  if (!resolved.hasValue() || offline)
    return resolved;
  if (auto signedIn = session.requireToken(); !signedIn.hasValue())
    return signedIn.failure();
  if (auto listed = session.refresh(resolved.value()); !listed.hasValue())
    return listed.failure();
  return resolved;
}

} // namespace

int list(Session& session, const std::string& path, bool longForm, bool json, bool offline) {
  const auto resolved = listedDirectory(session, path, offline);
  if (!resolved.hasValue())
    return report(resolved.failure());
  const URL& directory = resolved.value();
  printItems(session, session.storage().contentsOfDirectoryAtURLIncludeHidden(directory, false),
             longForm, json, directory);
  return 0;
}

int search(Session& session, const std::string& text, const std::string& path, bool offline) {
  const auto resolved = listedDirectory(session, path, offline);
  if (!resolved.hasValue())
    return report(resolved.failure());
  const URL& directory = resolved.value();
  KMFileItemList found;
  const std::string wanted = folded(text);
  if (!wanted.empty())
    for (auto& item : session.storage().contentsOfDirectoryAtURLIncludeHidden(directory, false))
      if (folded(item->displayName()).find(wanted) != std::string::npos)
        found.push_back(item);
  printItems(session, found, false, false, directory);
  return 0;
}

} // namespace kdisk::cli
