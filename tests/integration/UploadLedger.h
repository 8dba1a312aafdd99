#pragma once
// The books of a random run's uploads: every upload the application queued,
// followed through the store's queue and the queue's notifications from its
// first sight to its end (sent, failed, dropped by a sign-out, taken out by
// hand, sent again under a free name), and the check against what the
// service holds at the end. Main thread.
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ObserverToken.h"
#include "support/ServiceProcess.h"

class KMWebDAVStorage;

namespace kdisk::test {

// One upload the run queued, followed from its first sight to its end.
struct QueuedUpload {
  std::string url;     // its target now (a taken name moves it)
  std::string source;  // the row's local URL; empty when never seen in the store
  int announcedDone = 0;
  int announcedFailed = 0;
  bool droppedBySignOut = false;
  bool removedByHand = false;
  // Seen in the store under its new name before the queue announced the
  // rename: the same upload as the one renamed.
  bool sameAsRenamed = false;
};

class UploadLedger {
 public:
  // `sourceBytes`: the bytes behind each source URL a row may name (library
  // assets and plain files).
  UploadLedger(std::shared_ptr<KMWebDAVStorage> storage, std::map<std::string, std::string> sourceBytes);

  // Takes in the rows of the queue now; after every event.
  void readQueue();
  // What the service logged, so deletions by the run are known.
  void addServed(const std::vector<ServedRequest>& served);

  // With the queue settled: each upload sent once with its bytes (unless the
  // run deleted it since), failed with a reason, or dropped; no picture on the
  // service (below `diskRoot`) more often than it was queued.
  void check(const std::filesystem::path& diskRoot);

  const std::vector<QueuedUpload>& uploads() const { return m_uploads; }
  std::size_t servedCount() const { return m_served.size(); }
  int signOuts() const { return m_signOuts; }

 private:
  QueuedUpload& upload(const std::string& url, const std::string& source = {});
  bool deletedOnService(const std::string& url) const;

  std::shared_ptr<KMWebDAVStorage> m_storage;
  std::map<std::string, std::string> m_sourceBytes;
  std::vector<QueuedUpload> m_uploads;
  std::map<std::string, std::size_t> m_byURL;
  std::vector<ObserverToken> m_observations;
  std::vector<ServedRequest> m_served;
  int m_signOuts = 0;
};

}  // namespace kdisk::test
