#include "storage/KMWebDAVStorage.h"

#include <gmock/gmock.h>

#include <filesystem>

#include "StorageTestSupport.h"
#include "platform/Paths.h"
#include "support/TemporaryDirectory.h"

using namespace kdisk::test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class KMWebDAVStorageTest : public ::testing::Test {
 protected:
  KMWebDAVStorageTest() { storage.setRootURL(*kdisk::URL::fromString(kRoot)); }

  std::int64_t rowCount(const std::string& table) {
    std::int64_t count = -1;
    storage.performBlockInStorageQueue([&] {
      auto row = storage.fmdb().executeQuery("SELECT count(*) AS n FROM " + table);
      if (row.next()) count = row.longLongIntForColumn("n");
    });
    return count;
  }
  std::string localPath(const std::string& remotePath) {
    return storage.localPathForWebURL(url(remotePath)).value_or("<none>");
  }
  void touchLocalCopy(const std::string& remotePath) {
    ASSERT_TRUE(storage.saveDataForURL("bytes", url(remotePath)));
  }

  IsolatedHome home;
  KMWebDAVStorage storage;
};

// ---- Schema

TEST_F(KMWebDAVStorageTest, ANewFileHoldsTheFourTablesAtVersionFive) {
  std::vector<std::string> columns;
  std::int64_t version = 0, diskRows = 0;
  storage.performBlockInStorageQueue([&] {
    auto& database = storage.fmdb();
    auto row = database.executeQuery("SELECT version FROM db_meta");
    if (row.next()) version = row.longLongIntForColumn("version");
    row = database.executeQuery("SELECT count(*) AS n FROM DiskMeta");
    if (row.next()) diskRows = row.longLongIntForColumn("n");
    for (const char* table : {"FileItem", "Upload"}) {
      row = database.executeQueryWith("SELECT name, type FROM pragma_table_info(?) ORDER BY cid", table);
      while (row.next()) columns.push_back(*row.stringForColumn("name") + " " + *row.stringForColumn("type"));
    }
  });
  EXPECT_EQ(storage.fullPath(), kdisk::paths::libraryDirectory() + "/WebDAVStorage.sqlite");
  EXPECT_EQ(version, 5);
  EXPECT_EQ(diskRows, 1);
  EXPECT_THAT(columns, ElementsAre("parent_url TEXT", "url TEXT", "display_name TEXT", "is_dir INTEGER",
                                   "size INTEGER", "last_modified INTEGER", "last_access INTEGER",
                                   "etag TEXT", "url TEXT", "parent_url TEXT", "local_url TEXT",
                                   "size INTEGER", "uploaded_size INTEGER", "failed INTEGER",
                                   "fail_reason TEXT"));
}

TEST_F(KMWebDAVStorageTest, ACacheOfSchemaFourIsReplacedByAnEmptyOne) {
  storage.close();
  kdisk::paths::createDirectories(kdisk::paths::libraryDirectory());
  {
    auto old = kdisk::sql::Database::open(storage.fullPath());
    ASSERT_TRUE(old.hasValue());
    ASSERT_TRUE(old.value()->executeStatements(
        "CREATE TABLE db_meta(version INTEGER); INSERT INTO db_meta VALUES (4);"
        "CREATE TABLE FileItem(parent_url TEXT, url TEXT, display_name TEXT, is_dir INTEGER);"
        "INSERT INTO FileItem VALUES ('https://webdav.kalumo.test/disk/', "
        "'https://webdav.kalumo.test/disk/old.txt', 'old.txt', 0);"));
  }
  EXPECT_THAT(storage.contentsOfDirectoryAtURLIncludeHidden(url("/disk/"), true), IsEmpty());
  EXPECT_EQ(rowCount("FileItem"), 0);
  EXPECT_EQ(rowCount("Upload"), 0);
  EXPECT_EQ(rowCount("db_meta"), 1);
  EXPECT_FALSE(storage.isRunningInMemory());
}

// ---- Items

TEST_F(KMWebDAVStorageTest, AnAddedFileReadsBackWithEveryField) {
  ASSERT_TRUE(storage.addItem(*file("/disk/a.txt", "\"e1\"", "A text", 1234)).hasValue());
  auto item = storage.fileItemAtURL(url("/disk/a.txt"));
  ASSERT_NE(item, nullptr);
  auto* read = dynamic_cast<KMFile*>(item.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->storedDisplayName(), "A text");
  EXPECT_EQ(read->size(), 1234u);
  EXPECT_EQ(read->lastModified(), kdisk::Date{1000});
  EXPECT_EQ(read->etag(), "\"e1\"");
  EXPECT_EQ(storage.fileItemAtURL(url("/disk/b.txt")), nullptr);
}

TEST_F(KMWebDAVStorageTest, ADirectoryHasItsParentByTheTrailingSlashRule) {
  storage.addItem(*directory("/disk/a/b/"));
  storage.addItem(*file("/disk/a/b.jpg", "1"));
  storage.addItem(*directory("/disk/a/c//"));
  storage.addItem(*file("/top.txt", "1"));
  // The query stays with the parent, so this one is in no plain folder.
  storage.addItem(*file("/disk/a/q?x=/y", "1"));
  EXPECT_THAT(urlsOf(storage.contentsOfDirectoryAtURLIncludeHidden(url("/disk/a/"), true)),
              ElementsAre("/disk/a/b/", "/disk/a/c//", "/disk/a/b.jpg"));
  EXPECT_THAT(urlsOf(storage.contentsOfDirectoryAtURLIncludeHidden(url("/"), true)), ElementsAre("/top.txt"));
  EXPECT_NE(dynamic_cast<KMDirectory*>(storage.fileItemAtURL(url("/disk/a/b/")).get()), nullptr);
}

TEST_F(KMWebDAVStorageTest, SaveItemUpdatesACachedRowAndAddsAMissingOne) {
  storage.saveItem(*file("/disk/a.txt", "1", "first"));
  storage.saveItem(*file("/disk/a.txt", "2", "second", 99));
  EXPECT_EQ(rowCount("FileItem"), 1);
  auto item = storage.fileItemAtURL(url("/disk/a.txt"));
  auto* read = dynamic_cast<KMFile*>(item.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->etag(), "2");
  EXPECT_EQ(read->size(), 99u);
  EXPECT_EQ(read->storedDisplayName(), "second");
}

TEST_F(KMWebDAVStorageTest, UpdatesOfEtagAndLastAccessDoNothingWithoutAURL) {
  storage.addItem(*file("/disk/a.txt", "1"));
  storage.updateETagForItemAtURL("9", url("/disk/a.txt"));
  storage.updateETagForItemAtURL("8", std::nullopt);
  storage.setLastAccessDateForItemWithURL(kdisk::Date{42}, url("/disk/a.txt"));
  storage.setLastAccessDateForItemWithURL(std::nullopt, url("/disk/a.txt"));
  EXPECT_EQ(dynamic_cast<KMFile*>(storage.fileItemAtURL(url("/disk/a.txt")).get())->etag(), "9");
  double access = 0;
  storage.performBlockInStorageQueue([&] {
    auto row = storage.fmdb().executeQuery("SELECT last_access FROM FileItem");
    if (row.next()) access = row.dateForColumn("last_access")->secondsSince1970;
  });
  EXPECT_EQ(access, 42);
}

TEST_F(KMWebDAVStorageTest, HidingHiddenItemsAlsoHidesRowsWithoutADisplayName) {
  storage.addItem(*file("/disk/.secret", "1", ".secret"));
  storage.addItem(*file("/disk/plain", "1", "plain"));
  auto unnamed = file("/disk/unnamed", "1");
  unnamed->setDisplayName(std::nullopt);
  storage.addItem(*unnamed);
  EXPECT_THAT(urlsOf(storage.contentsOfDirectoryAtURLIncludeHidden(url("/disk/"), false)),
              ElementsAre("/disk/plain"));
  EXPECT_EQ(storage.contentsOfDirectoryAtURLIncludeHidden(url("/disk/"), true).size(), 3u);
  auto read = storage.fileItemAtURL(url("/disk/unnamed"));
  EXPECT_EQ(read->storedDisplayName(), std::nullopt);
  EXPECT_EQ(read->displayName(), "unnamed");
}

TEST_F(KMWebDAVStorageTest, ExcludingDirectoriesLeavesFilesOnly) {
  storage.addItem(*directory("/disk/d/"));
  storage.addItem(*file("/disk/f", "1"));
  EXPECT_THAT(urlsOf(storage.contentsOfDirectoryAtURLIncludeHiddenExcludeDirs(url("/disk/"), true, true)),
              ElementsAre("/disk/f"));
}

TEST(KMWebDAVStorageSort, DirectoriesFirstThenNamesIgnoringCaseWithNumbersByValue) {
  KMFileItemList items = {file("/disk/b10.txt", "1"), file("/disk/B2.txt", "1"),
                          directory("/disk/zeta/"), file("/disk/a.txt", "1"),
                          directory("/disk/Alpha/"), file("/disk/b1.txt", "1")};
  EXPECT_THAT(urlsOf(KMWebDAVStorage::sortFileItemsUsingStandartOrder(items)),
              ElementsAre("/disk/Alpha/", "/disk/zeta/", "/disk/a.txt", "/disk/b1.txt",
                          "/disk/B2.txt", "/disk/b10.txt"));
}

TEST_F(KMWebDAVStorageTest, AFolderReadsBackInTheStandardOrder) {
  for (const char* name : {"file10", "File9", "dir"}) {
    if (std::string(name) == "dir") storage.addItem(*directory("/disk/zdir/"));
    else storage.addItem(*file(std::string("/disk/") + name, "1"));
  }
  EXPECT_THAT(urlsOf(storage.contentsOfDirectoryAtURLIncludeHidden(url("/disk/"), true)),
              ElementsAre("/disk/zdir/", "/disk/File9", "/disk/file10"));
}

TEST_F(KMWebDAVStorageTest, UsedURLsMergeItemsAndUploadsOrderedByText) {
  storage.addItem(*file("/disk/b", "1"));
  storage.addItem(*file("/disk/sub/x", "1"));
  storage.addUploadFiles({upload("/disk/a"), upload("/disk/b")});
  std::vector<std::string> texts;
  for (const auto& used : storage.allUsedFileURLsInDirectoryAtURL(url("/disk/"))) texts.push_back(used.rawPath());
  EXPECT_THAT(texts, ElementsAre("/disk/a", "/disk/b"));
}

TEST_F(KMWebDAVStorageTest, AMovedUploadKeepsItsPlaceInTheQueueAndATakenTargetIsRefused) {
  storage.addUploadFiles({upload("/disk/a.jpg"), upload("/disk/b.jpg"), upload("/disk/c.jpg")});
  EXPECT_TRUE(storage.moveUploadFileWithURLToURL(url("/disk/c.jpg"), url("/disk/Photos/c%20(1).jpg")));
  auto next = storage.nextFileInUploadQueue();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->URL(), url("/disk/Photos/c%20(1).jpg"));
  EXPECT_FALSE(storage.existUploadFileWithURL(url("/disk/c.jpg")));
  EXPECT_EQ(storage.uploadsInDirectoryAtURL(url("/disk/Photos/")).size(), 1u);
  EXPECT_FALSE(storage.moveUploadFileWithURLToURL(url("/disk/a.jpg"), url("/disk/b.jpg")));
  EXPECT_TRUE(storage.existUploadFileWithURL(url("/disk/a.jpg")));
  EXPECT_FALSE(storage.moveUploadFileWithURLToURL(url("/disk/gone.jpg"), url("/disk/d.jpg")));
  EXPECT_EQ(rowCount("Upload"), 3);
}

// ---- Removal
// ---- Removal

TEST_F(KMWebDAVStorageTest, RemovingADirectoryTakesItsSubtreeButNotASiblingSharingItsPrefix) {
  for (const char* path : {"/disk/Photos/", "/disk/Photos/a.jpg", "/disk/Photos/sub/b.jpg",
                           "/disk/Photos2/", "/disk/Photos2/c.jpg", "/disk/Photos.txt"}) {
    std::string text = path;
    if (text.back() == '/') storage.addItem(*directory(text));
    else storage.addItem(*file(text, "1"));
  }
  touchLocalCopy("/disk/Photos/a.jpg");
  touchLocalCopy("/disk/Photos2/c.jpg");
  ASSERT_TRUE(storage.removeItem(*directory("/disk/Photos/")).hasValue());
  EXPECT_EQ(storage.fileItemAtURL(url("/disk/Photos/")), nullptr);
  EXPECT_EQ(storage.fileItemAtURL(url("/disk/Photos/sub/b.jpg")), nullptr);
  EXPECT_NE(storage.fileItemAtURL(url("/disk/Photos2/c.jpg")), nullptr);
  EXPECT_NE(storage.fileItemAtURL(url("/disk/Photos.txt")), nullptr);
  EXPECT_EQ(rowCount("FileItem"), 3);
  EXPECT_FALSE(std::filesystem::exists(localPath("/disk/Photos/")));
  EXPECT_TRUE(std::filesystem::exists(localPath("/disk/Photos2/c.jpg")));
}

TEST_F(KMWebDAVStorageTest, ADirectoryURLWithoutSlashDoesNotTakeASiblingThatExtendsItsName) {
  storage.addItem(*directory("/disk/a"));
  storage.addItem(*file("/disk/a/inner", "1"));
  storage.addItem(*directory("/disk/ab"));
  storage.addItem(*file("/disk/ab/inner", "1"));
  storage.removeItem(*directory("/disk/a"));
  EXPECT_EQ(rowCount("FileItem"), 2);
  EXPECT_NE(storage.fileItemAtURL(url("/disk/ab")), nullptr);
  EXPECT_NE(storage.fileItemAtURL(url("/disk/ab/inner")), nullptr);
}

TEST_F(KMWebDAVStorageTest, PercentUnderscoreAndQuoteInADirectoryURLMatchOnlyThemselves) {
  storage.addItem(*directory("/disk/100%25_it's/"));
  storage.addItem(*file("/disk/100%25_it's/x", "1"));
  storage.addItem(*directory("/disk/100%25xit's/"));  // "_" would match "x" under LIKE
  storage.addItem(*file("/disk/100%25xit's/y", "1"));
  storage.addItem(*directory("/disk/100%25_it'sZ/"));
  storage.addItem(*directory("/disk/1000/"));         // "%" would match "0" under LIKE
  storage.removeItem(*directory("/disk/100%25_it's/"));
  EXPECT_EQ(storage.fileItemAtURL(url("/disk/100%25_it's/x")), nullptr);
  EXPECT_EQ(rowCount("FileItem"), 4);
}

TEST_F(KMWebDAVStorageTest, RemovingAFileTakesItsCopyAndPreviewAndLeavesUploads) {
  storage.addItem(*file("/disk/cat.jpg", "1"));
  storage.addUploadFiles({upload("/disk/cat.jpg")});
  touchLocalCopy("/disk/cat.jpg");
  ASSERT_TRUE(kdisk::paths::writeFileAtomically(*storage.previewPathForWebURL(url("/disk/cat.jpg")), "p").hasValue());
  storage.removeItemAtURL(url("/disk/cat.jpg"));
  EXPECT_EQ(rowCount("FileItem"), 0);
  EXPECT_EQ(rowCount("Upload"), 1);
  EXPECT_FALSE(storage.hasCachedFileForURL(url("/disk/cat.jpg")));
  EXPECT_FALSE(std::filesystem::exists(*storage.previewPathForWebURL(url("/disk/cat.jpg"))));
  storage.removeItemAtURL(url("/disk/not-cached.jpg"));  // nothing to do, no crash
}

TEST_F(KMWebDAVStorageTest, RemoveItemsIsOneUnitAndNothingForAnEmptyList) {
  storage.addItem(*file("/disk/a", "1"));
  storage.addItem(*file("/disk/b", "1"));
  storage.addItem(*file("/disk/c", "1"));
  EXPECT_TRUE(storage.removeItems({}).hasValue());
  EXPECT_TRUE(storage.removeItems({file("/disk/a", "1"), file("/disk/b", "1")}).hasValue());
  EXPECT_EQ(rowCount("FileItem"), 1);
}

TEST_F(KMWebDAVStorageTest, RemovingAnItemWhoseNameClimbsOutOfDiskDeletesNoOutsideFile) {
  const std::string outside = kdisk::paths::documentsDirectory() + "/precious.txt";
  ASSERT_TRUE(kdisk::paths::writeFileAtomically(outside, "keep").hasValue());
  const std::string outsideDirectory = kdisk::paths::documentsDirectory() + "/folder";
  ASSERT_TRUE(kdisk::paths::writeFileAtomically(outsideDirectory + "/x", "keep").hasValue());
  storage.addItem(*file("/disk/..%2Fprecious.txt", "1"));
  storage.addItem(*directory("/disk/%2E%2E/folder/"));
  storage.addItem(*directory("/disk/../folder/"));
  storage.removeItems({file("/disk/..%2Fprecious.txt", "1"), directory("/disk/%2E%2E/folder/"),
                       directory("/disk/../folder/")});
  storage.updateContentsOfDirectoryAtURLWithItems(url("/disk/"), {});
  EXPECT_EQ(rowCount("FileItem"), 0);
  EXPECT_TRUE(std::filesystem::exists(outside));
  EXPECT_TRUE(std::filesystem::exists(outsideDirectory + "/x"));
}

// ---- Disk flag

TEST_F(KMWebDAVStorageTest, TheDiskFlagStartsFalseIsWrittenAndSurvivesAReopen) {
  EXPECT_FALSE(storage.diskAvailable());
  storage.setDiskAvailable(true);
  EXPECT_TRUE(storage.diskAvailable());
  storage.close();
  KMWebDAVStorage again;
  EXPECT_TRUE(again.diskAvailable());
}

TEST_F(KMWebDAVStorageTest, TheFileAndItsFolderArePrivateAndAreTightenedOnOpen) {
  namespace fs = std::filesystem;
  auto mode = [](const std::string& path) { return fs::status(path).permissions() & fs::perms::all; };
  storage.setDiskAvailable(true);
  const std::string folder = kdisk::paths::libraryDirectory();
  EXPECT_EQ(mode(storage.fullPath()), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(mode(folder), fs::perms::owner_all);
  storage.close();
  fs::permissions(storage.fullPath(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                          fs::perms::others_read);
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  KMWebDAVStorage again;
  EXPECT_TRUE(again.diskAvailable());
  EXPECT_EQ(mode(again.fullPath()), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(mode(folder), fs::perms::owner_all);
}

TEST_F(KMWebDAVStorageTest, ClearForgetsRowsAndTheCachedFlagButKeepsDownloads) {
  storage.setDiskAvailable(true);
  storage.addItem(*file("/disk/a", "1"));
  touchLocalCopy("/disk/a");
  storage.clear();
  EXPECT_FALSE(storage.diskAvailable());
  EXPECT_EQ(rowCount("FileItem"), 0);
  EXPECT_TRUE(storage.hasCachedFileForURL(url("/disk/a")));
  EXPECT_TRUE(storage.removeAllDownloadedFiles());
  EXPECT_FALSE(storage.hasCachedFileForURL(url("/disk/a")));
  EXPECT_TRUE(storage.removeAllDownloadedFiles());  // nothing left: still fine
}

// ---- Nesting

TEST_F(KMWebDAVStorageTest, StoreOperationsCalledFromInsideStoreWorkDoNotDeadlock) {
  storage.performBlockInStorageQueue([&] {
    storage.addItem(*file("/disk/a", "1"));
    storage.updateContentsOfDirectoryAtURLWithItems(url("/disk/"), {file("/disk/a", "2"), file("/disk/b", "1")});
    EXPECT_EQ(storage.contentsOfDirectoryAtURLIncludeHidden(url("/disk/"), true).size(), 2u);
  });
  EXPECT_EQ(rowCount("FileItem"), 2);
}

TEST_F(KMWebDAVStorageTest, AStoreCallFromAnotherQueueThatSyncsBackDoesNotDeadlock) {
  auto other = kdisk::DispatchQueue::createSerial("test.other");
  other->sync([&] {
    storage.performBlockInStorageQueue([&] {
      other->sync([&] { storage.addItem(*file("/disk/a", "1")); });
    });
  });
  EXPECT_EQ(rowCount("FileItem"), 1);
}

}  // namespace
