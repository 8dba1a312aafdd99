#include <cstdio>

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
  // Rows are gathered and written in large pieces, not one stream call per field.
  std::string out;
  constexpr std::size_t kPiece = 64 * 1024;
  out.reserve(kPiece + 1024);
  auto write = [&out] {
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
  };
  const KLFileSizeTexts sizes;
  LocalDateTexts dates;
  // The store hands folder contents over sorted already.
  for (auto& item : items) {
    auto* file = dynamic_cast<const KMFile*>(item.get());
    const bool isDirectory = item->isDirectory();
    const bool cached = mayHoldCopies && !isDirectory && session.storage().hasCachedFileForURL(item->URL());
    const std::string name = item->displayName();
    if (json) {
      out += "{\"name\":";
      out += jsonString(name);
      out += ",\"path\":";
      out += jsonString(session.remotePath(item->URL().withoutTrailingSlash()));
      out += ",\"type\":\"";
      out += isDirectory ? "directory" : "file";
      out += '"';
      if (file) {
        out += ",\"size\":";
        out += std::to_string(file->size());
        out += ",\"modified\":";
        out += dateText(file->lastModified(), true);
        out += ",\"etag\":";
        out += file->etag() ? jsonString(*file->etag()) : std::string("null");
      }
      out += ",\"cached\":";
      out += cached ? "true}\n" : "false}\n";
    } else if (longForm) {
      // The columns of "%c %10s  %s  %s%s\n": the size right-aligned in ten
      // bytes, and the name, like any C string, ends at a NUL.
      const std::string size = file ? sizes.text(file->size()) : "-";
      out += cached ? '*' : ' ';
      out += ' ';
      if (size.size() < 10)
        out.append(10 - size.size(), ' ');
      out += size;
      out += "  ";
      out += dates.text(file ? file->lastModified() : std::nullopt);
      out += "  ";
      out += std::string_view(name).substr(0, name.find('\0'));
      out += isDirectory ? "/\n" : "\n";
    } else {
      out += name;
      out += isDirectory ? "/\n" : "\n";
    }
    if (out.size() >= kPiece)
      write();
  }
  write();
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
