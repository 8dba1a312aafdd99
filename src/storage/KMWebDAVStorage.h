#pragma once
// The local mirror of the remote tree: one row per remote item ever listed, one
// row per queued upload, and the mapping from remote URLs to the local files in
// which downloaded contents and previews are kept.
//
// Thread: any caller. Every database operation is one unit of work (one SQLite
// transaction) on the storage queue, and the caller waits; an operation called
// from inside another runs inline and becomes part of the outer unit. A unit
// that fails, or a process killed in the middle of one, leaves the database as
// it was before it. Path mapping touches no database and runs on the caller's
// thread. Owned by the file operations manager; `rootURL` is set before use.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Expected.h"
#include "platform/URL.h"
#include "platform/Value.h"
#include "storage/KMUploadFile.h"
#include "storage/SQLSerialStorage.h"
#include "webdav/KMFileItem.h"

using KMFileItemList = std::vector<std::shared_ptr<KMFileItem>>;
using KMUploadFileList = std::vector<std::shared_ptr<KMUploadFile>>;

class KMWebDAVStorage : public SQLSerialStorage {
 public:
  KMWebDAVStorage();
  std::int64_t version() const override { return 5; }

  // ---- Items
  std::shared_ptr<KMFileItem> fileItemAtURL(const kdisk::URL& url);
  KMFileItemList contentsOfDirectoryAtURLIncludeHidden(const kdisk::URL& url, bool includeHidden);
  KMFileItemList contentsOfDirectoryAtURLIncludeHiddenExcludeDirs(const kdisk::URL& url,
                                                                  bool includeHidden,
                                                                  bool excludeDirs);
  // Directories first, then files; each group by display name, case-insensitive,
  // digit runs by their value.
  static KMFileItemList sortFileItemsUsingStandartOrder(const KMFileItemList& items);

  kdisk::Status addItem(const KMFileItem& item);
  kdisk::Status saveItem(const KMFileItem& item);
  void updateETagForItemAtURL(const std::optional<std::string>& etag,
                              const std::optional<kdisk::URL>& url);
  void setLastAccessDateForItemWithURL(const std::optional<kdisk::Date>& date,
                                       const std::optional<kdisk::URL>& url);
  // Merges a fresh listing of `directory` into its cached children; all or nothing.
  kdisk::Status updateContentsOfDirectoryAtURLWithItems(const kdisk::URL& directory,
                                                        const KMFileItemList& items);
  // A directory goes with its whole cached subtree and its local copy.
  kdisk::Status removeItem(const KMFileItem& item);
  kdisk::Status removeItems(const KMFileItemList& items);
  kdisk::Status removeItemAtURL(const kdisk::URL& url);
  std::vector<kdisk::URL> allUsedFileURLsInDirectoryAtURL(const kdisk::URL& directory);

  // ---- Uploads (the queue runs newest first)
  kdisk::Status addUploadFiles(const KMUploadFileList& uploads);
  std::shared_ptr<KMUploadFile> uploadFileAtURL(const kdisk::URL& url);
  std::shared_ptr<KMUploadFile> nextFileInUploadQueue();
  KMUploadFileList uploadsInDirectoryAtURL(const std::optional<kdisk::URL>& directory);
  bool existUploadFileWithURL(const kdisk::URL& url);
  void removeUploadFileWithURL(const kdisk::URL& url);
  // Gives a row another target in the same queue place; false when `from` has
  // no row or `to` is taken.
  bool moveUploadFileWithURLToURL(const kdisk::URL& from, const kdisk::URL& to);
  void markUploadFileWithURLFailedWithReason(const std::optional<kdisk::URL>& url, bool failed,
                                             const std::optional<std::string>& reason);
  void updateUploadedSizeForUploadFileAtURL(std::uint64_t uploadedSize,
                                            const std::optional<kdisk::URL>& url);

  // ---- Local files
  // Documents directory + "/Disk".
  std::string localDiskDirectoryPath() const;
  // The local copy of a remote item below the download root, names decoded.
  // Nothing for a URL outside the root, or one whose decoded path would leave
  // it or name something else ("..", ".", an encoded "/", a NUL, a query).
  std::optional<kdisk::URL> fileURLForWebURL(const kdisk::URL& url) const;
  std::optional<std::string> localPathForWebURL(const kdisk::URL& url) const;
  // Beside the local copy: cat.jpg → cat_preview.jpg. Nothing for names
  // without an extension, directories and the root.
  std::optional<kdisk::URL> filePreviewURLForWebURL(const kdisk::URL& url) const;
  std::optional<std::string> previewPathForWebURL(const kdisk::URL& url) const;
  bool hasCachedFileForURL(const kdisk::URL& url) const;
  // Atomic: readers see the old file or the new one.
  bool saveDataForURL(std::string_view data, const kdisk::URL& url) const;
  bool removeAllDownloadedFiles();

  // ---- Other
  bool diskAvailable();
  void setDiskAvailable(bool available);
  void clear() override;
  const std::optional<kdisk::URL>& rootURL() const { return m_rootURL; }
  void setRootURL(std::optional<kdisk::URL> url) { m_rootURL = std::move(url); }

  // Called in the merge after each fresh item has been handled, with its index.
  void setMergeHookForTesting(std::function<void(std::size_t)> hook) { m_mergeHook = std::move(hook); }

 protected:
  bool initializeDatabase(kdisk::sql::Database& database) override;
  bool hasCompleteSchema(kdisk::sql::Database& database) override;
  void didOpenDatabase(kdisk::sql::Database& database) override;
  static bool createIndexes(kdisk::sql::Database& database);

 private:
  struct CachedRow;
  // Each runs on the storage queue inside the caller's unit of work and says
  // whether its statements succeeded.
  bool addItemInUnit(kdisk::sql::Database& database, const KMFileItem& item);
  bool saveItemInUnit(kdisk::sql::Database& database, const KMFileItem& item);
  bool removeRowsAndLocalCopy(kdisk::sql::Database& database, const std::string& urlText,
                              bool isDirectory);
  void removeLocalCopy(const kdisk::URL& url);
  std::vector<CachedRow> cachedChildren(kdisk::sql::Database& database, const std::string& directory);
  // Runs `work` as one unit of work: committed when it returns true and every
  // statement held, rolled back otherwise.
  kdisk::Status performUnitOfWork(const std::function<bool(kdisk::sql::Database&)>& work);

  std::optional<kdisk::URL> m_rootURL;
  std::optional<bool> m_diskAvailable;  // confined to the storage queue
  std::function<void(std::size_t)> m_mergeHook;
};
