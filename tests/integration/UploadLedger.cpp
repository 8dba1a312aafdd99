#include "UploadLedger.h"

#include <gmock/gmock.h>

#include <fstream>
#include <sstream>

#include "manager/KMUploadNotifications.h"
#include "platform/NotificationCenter.h"
#include "platform/URL.h"
#include "platform/Value.h"
#include "settings/KMSettings.h"
#include "storage/KMWebDAVStorage.h"

namespace kdisk::test {

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Where the service keeps the file of `url`.
fs::path onService(const fs::path& diskRoot, const std::string& url) {
  const auto parsed = URL::fromString(url);
  const std::string path = parsed ? parsed->path() : std::string();
  return path.starts_with("/disk/") ? diskRoot / path.substr(6) : fs::path();
}

}  // namespace

UploadLedger::UploadLedger(std::shared_ptr<KMWebDAVStorage> storage, std::map<std::string, std::string> sourceBytes)
    : m_storage(std::move(storage)), m_sourceBytes(std::move(sourceBytes)) {
  auto& center = NotificationCenter::defaultCenter();
  m_observations.push_back(center.addObserver(manager::kKMKMWebDAVFileManagerDidStartUploadFile,
                                              [this](const Notification& notification) {
    const auto url = stringForKey(notification.userInfo, manager::kKMUploadURLKey);
    const auto refused = stringForKey(notification.userInfo, manager::kKMUploadRefusedURLKey);
    if (!url || !refused) return;
    // Sent again under the next free name.
    if (auto known = m_byURL.find(*refused); known != m_byURL.end()) {
      const auto index = known->second;
      m_byURL.erase(known);
      if (auto early = m_byURL.find(*url); early != m_byURL.end() && early->second != index) {
        auto& seen = m_uploads[early->second];
        if (seen.announcedDone == 0 && seen.announcedFailed == 0) seen.sameAsRenamed = true;
      }
      m_uploads[index].url = *url;
      m_byURL[*url] = index;
    }
  }));
  m_observations.push_back(center.addObserver(manager::kKMKMWebDAVFileManagerDidUploadFile,
                                              [this](const Notification& notification) {
    if (auto url = stringForKey(notification.userInfo, manager::kKMUploadURLKey)) ++upload(*url).announcedDone;
  }));
  m_observations.push_back(center.addObserver(manager::kKMKMWebDAVFileManagerDidFailToUploadFile,
                                              [this](const Notification& notification) {
    if (auto url = stringForKey(notification.userInfo, manager::kKMUploadURLKey)) ++upload(*url).announcedFailed;
  }));
  m_observations.push_back(center.addObserver(manager::kKMKMWebDAVFileManagerUploadQueueWasChanged,
                                              [this](const Notification& notification) {
    if (auto removed = stringForKey(notification.userInfo, manager::kKMUploadRemovedURLKey))
      if (auto known = m_byURL.find(*removed); known != m_byURL.end()) m_uploads[known->second].removedByHand = true;
    readQueue();
  }));
  m_observations.push_back(KMSettings::mainSettings().observeValueForKey(
      "wasSuccessfullyAuthorized", [this](const std::string&) {
        if (KMSettings::mainSettings().wasSuccessfullyAuthorized()) return;
        ++m_signOuts;
        // Signing out empties the store, its queue included.
        for (auto& queued : m_uploads)
          if (queued.announcedDone == 0) queued.droppedBySignOut = true;
      }));
}

// The upload of `url`: the one following it, or a new one when it is new or
// its holder has ended (a name used again after a sign-out).
QueuedUpload& UploadLedger::upload(const std::string& url, const std::string& source) {
  if (auto known = m_byURL.find(url); known != m_byURL.end()) {
    auto& queued = m_uploads[known->second];
    const bool ended = queued.announcedDone > 0 || queued.droppedBySignOut || queued.removedByHand;
    // A notification about one that ended still counts for it (a second
    // announcement is a fault the end finds).
    if (!ended || source.empty()) {
      if (queued.source.empty()) queued.source = source;
      return queued;
    }
  }
  m_uploads.push_back({url, source});
  m_byURL[url] = m_uploads.size() - 1;
  return m_uploads.back();
}

void UploadLedger::readQueue() {
  // Signed out, the store is being emptied; nothing can be queued then.
  if (!KMSettings::mainSettings().wasSuccessfullyAuthorized()) return;
  for (const auto& row : m_storage->uploadsInDirectoryAtURL(std::nullopt))
    upload(row->URL().absoluteString(), row->localURL() ? row->localURL()->absoluteString() : std::string("?"));
}

void UploadLedger::addServed(const std::vector<ServedRequest>& served) {
  m_served.insert(m_served.end(), served.begin(), served.end());
}

bool UploadLedger::deletedOnService(const std::string& url) const {
  const auto parsed = URL::fromString(url);
  const std::string path = parsed ? parsed->path() : std::string();
  for (const auto& served : m_served) {
    if (served.method != "DELETE" || (served.status != 0 && served.status / 100 != 2)) continue;
    std::string target = percentDecode(served.target);
    if (path == target || (target.ends_with('/') && path.starts_with(target)) || path.starts_with(target + "/"))
      return true;
  }
  return false;
}

void UploadLedger::check(const fs::path& diskRoot) {
  std::map<std::string, std::shared_ptr<KMUploadFile>> rows;
  for (const auto& row : m_storage->uploadsInDirectoryAtURL(std::nullopt)) rows[row->URL().absoluteString()] = row;
  std::map<std::string, int> expectedAtMost, expectedAtLeast;
  for (const auto& queued : m_uploads) {
    if (queued.sameAsRenamed) continue;
    SCOPED_TRACE(queued.url + " from " + queued.source);
    EXPECT_LE(queued.announcedDone, 1) << "announced as sent twice";
    auto bytes = m_sourceBytes.find(queued.source);
    std::string source = bytes != m_sourceBytes.end() ? bytes->second : std::string();
    if (queued.announcedDone > 0) {
      const auto file = onService(diskRoot, queued.url);
      if (source.empty() && fs::exists(file)) source = readFile(file);
      ++expectedAtMost[source];
      if (!deletedOnService(queued.url)) {
        ++expectedAtLeast[source];
        EXPECT_TRUE(fs::exists(file) && readFile(file) == source) << "sent but not on the service whole";
      }
      continue;
    }
    if (auto row = rows.find(queued.url); row != rows.end()) {
      EXPECT_TRUE(row->second->failed()) << "still waiting after the queue settled";
      EXPECT_TRUE(row->second->failReason() && !row->second->failReason()->empty()) << "failed without a reason";
      // An answer lost after the service had the whole body: failed here,
      // yet there once.
      ++expectedAtMost[source];
      continue;
    }
    EXPECT_TRUE(queued.droppedBySignOut || queued.removedByHand) << "neither sent, failed, nor taken out: lost";
    // Taken out of the queue while in flight, it may still have arrived once.
    ++expectedAtMost[source];
  }
  // No picture on the service more often than it was sent: no copy under
  // another name.
  std::map<std::string, std::vector<std::string>> found;
  for (const auto& entry : fs::recursive_directory_iterator(diskRoot))
    if (entry.is_regular_file()) {
      const auto bytes = readFile(entry.path());
      for (const auto& [url, source] : m_sourceBytes)
        if (source == bytes && url.starts_with("file:")) {
          found[bytes].push_back(entry.path().lexically_relative(diskRoot).string());
          break;
        }
    }
  for (const auto& [bytes, files] : found) {
    const int count = int(files.size());
    if (count <= expectedAtMost[bytes] && count >= expectedAtLeast[bytes]) continue;
    std::string story;
    for (const auto& file : files) story += "\n  on the service: " + file;
    for (const auto& queued : m_uploads) {
      auto source = m_sourceBytes.find(queued.source);
      if (source == m_sourceBytes.end() || source->second != bytes) continue;
      story += "\n  queued: " + queued.url + " sent " + std::to_string(queued.announcedDone) + ", failed " +
               std::to_string(queued.announcedFailed) + (queued.droppedBySignOut ? ", dropped by a sign-out" : "") +
               (queued.removedByHand ? ", removed by hand" : "") +
               (rows.count(queued.url) ? ", row left: " + rows[queued.url]->failReason().value_or("-") : "");
    }
    ADD_FAILURE() << "a picture " << count << " times on the service, sent at least " << expectedAtLeast[bytes]
                  << " and at most " << expectedAtMost[bytes] << " times:" << story;
  }
}

}  // namespace kdisk::test
