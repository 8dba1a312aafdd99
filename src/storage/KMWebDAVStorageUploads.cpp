// The upload table of KMWebDAVStorage: the persistent upload queue.
#include "storage/KMWebDAVStorage.h"

#include "platform/Log.h"

using kdisk::sql::Database;

namespace {

std::shared_ptr<spdlog::logger> log() {
  static auto logger = kdisk::logger("KMWebDAVStorage");
  return logger;
}

kdisk::Value urlOrNull(const std::optional<kdisk::URL>& url) {
  return url ? kdisk::Value(url->absoluteString()) : kdisk::Value(kdisk::Null{});
}

// `withFailure`: whether the row's query selected failed and fail_reason.
std::shared_ptr<KMUploadFile> uploadFromRow(const kdisk::sql::ResultSet& row, bool withFailure) {
  auto url = kdisk::URL::fromString(row.stringForColumn("url").value_or(""));
  if (!url) return nullptr;
  auto upload = KMUploadFile::uploadFileWithURL(*url);
  if (auto local = row.stringForColumn("local_url")) upload->setLocalURL(kdisk::URL::fromString(*local));
  upload->setSize(static_cast<std::uint64_t>(row.longLongIntForColumn("size")));
  upload->setUploadedSize(static_cast<std::uint64_t>(row.longLongIntForColumn("uploaded_size")));
  if (withFailure) {
    upload->setFailed(row.boolForColumn("failed"));
    upload->setFailReason(row.stringForColumn("fail_reason"));
  }
  return upload;
}

}  // namespace

kdisk::Status KMWebDAVStorage::addUploadFiles(const KMUploadFileList& uploads) {
  return performUnitOfWork([&](Database& database) {
    for (const auto& upload : uploads) {
      if (!upload) continue;
      const kdisk::URL& url = upload->URL();
      const bool inserted = database.executeUpdateWith(
          "INSERT INTO Upload(url, parent_url, local_url, size, uploaded_size, failed) VALUES (?, "
          "?, ?, ?, ?, ?)",
          url.isValid() ? kdisk::Value(url.absoluteString()) : kdisk::Value(kdisk::Null{}),
          url.isValid() ? kdisk::Value(url.deletingLastPathComponent().absoluteString())
                        : kdisk::Value(kdisk::Null{}),
          urlOrNull(upload->localURL()), upload->size(), upload->uploadedSize(), 0);
      if (!inserted) {
        log()->error("ERROR while adding new uploads to database");
        // The batch goes on, unless SQLite gave up the whole transaction: the
        // rest would then be committed one by one, half a batch.
        if (!database.inTransaction()) return false;
      }
    }
    return true;
  });
}

std::shared_ptr<KMUploadFile> KMWebDAVStorage::uploadFileAtURL(const kdisk::URL& url) {
  std::shared_ptr<KMUploadFile> upload;
  performBlockInStorageQueue([&] {
    auto row = fmdb().executeQueryWith(
        "SELECT  url, local_url, size, uploaded_size, failed, fail_reason FROM Upload WHERE url=? "
        "LIMIT 1",
        url.absoluteString());
    if (row.next()) upload = uploadFromRow(row, true);
  });
  return upload;
}

std::shared_ptr<KMUploadFile> KMWebDAVStorage::nextFileInUploadQueue() {
  std::shared_ptr<KMUploadFile> upload;
  performBlockInStorageQueue([&] {
    auto row = fmdb().executeQuery(
        "SELECT url, local_url, size, uploaded_size FROM Upload WHERE failed=0 ORDER BY rowid DESC "
        "LIMIT 1");
    if (row.next()) upload = uploadFromRow(row, false);
  });
  return upload;
}

KMUploadFileList KMWebDAVStorage::uploadsInDirectoryAtURL(const std::optional<kdisk::URL>& directory) {
  KMUploadFileList uploads;
  performBlockInStorageQueue([&] {
    std::string sql = "SELECT url, local_url, size, uploaded_size, failed, fail_reason FROM Upload";
    kdisk::sql::Arguments arguments;
    if (directory) {
      sql += " WHERE parent_url=?";
      arguments.emplace_back(directory->absoluteString());
    }
    sql += " ORDER BY rowid DESC";
    auto row = fmdb().executeQuery(sql, arguments);
    while (row.next()) {
      if (auto upload = uploadFromRow(row, true)) uploads.push_back(std::move(upload));
    }
  });
  return uploads;
}

bool KMWebDAVStorage::existUploadFileWithURL(const kdisk::URL& url) {
  bool exists = false;
  performBlockInStorageQueue([&] {
    auto row = fmdb().executeQueryWith("SELECT url FROM Upload WHERE url=?", url.absoluteString());
    exists = row.next();
  });
  return exists;
}

void KMWebDAVStorage::removeUploadFileWithURL(const kdisk::URL& url) {
  performUnitOfWork([&](Database& database) {
    return database.executeUpdateWith("DELETE FROM Upload WHERE url=?", url.absoluteString());
  });
}

bool KMWebDAVStorage::moveUploadFileWithURLToURL(const kdisk::URL& from, const kdisk::URL& to) {
  bool moved = false;
  performUnitOfWork([&](Database& database) {
    if (!database.executeUpdateWith(
            "UPDATE Upload SET url=?, parent_url=? WHERE url=? AND NOT EXISTS (SELECT 1 FROM Upload WHERE url=?)",
            to.absoluteString(), to.deletingLastPathComponent().absoluteString(), from.absoluteString(),
            to.absoluteString()))
      return false;
    moved = database.changes() > 0;
    return true;
  });
  return moved;
}

void KMWebDAVStorage::markUploadFileWithURLFailedWithReason(const std::optional<kdisk::URL>& url,
                                                            bool failed,
                                                            const std::optional<std::string>& reason) {
  if (!url) return;
  performUnitOfWork([&](Database& database) {
    return database.executeUpdateWith(
        "UPDATE Upload SET uploaded_size=0, failed=?, fail_reason=? WHERE url=?", failed,
        reason ? kdisk::Value(*reason) : kdisk::Value(kdisk::Null{}), url->absoluteString());
  });
}

void KMWebDAVStorage::updateUploadedSizeForUploadFileAtURL(std::uint64_t uploadedSize,
                                                           const std::optional<kdisk::URL>& url) {
  if (!url) return;
  performUnitOfWork([&](Database& database) {
    return database.executeUpdateWith("UPDATE Upload SET uploaded_size=? WHERE url=?", uploadedSize,
                                      url->absoluteString());
  });
}
