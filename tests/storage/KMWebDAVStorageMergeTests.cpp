// The listing merge, the upload queue and the local file layout.
#include "storage/KMWebDAVStorage.h"

#include <gmock/gmock.h>

#include <filesystem>

#include "StorageTestSupport.h"
#include "platform/Paths.h"
#include "support/TemporaryDirectory.h"

using namespace kdisk::test;
using ::testing::ElementsAre;

namespace {

class KMWebDAVStorageMergeTest : public ::testing::Test {
 protected:
  KMWebDAVStorageMergeTest() { storage.setRootURL(*kdisk::URL::fromString(kRoot)); }

  // rowid and url of every row, so an untouched row is told from a re-inserted one.
  std::vector<std::string> rows() {
    std::vector<std::string> result;
    storage.performBlockInStorageQueue([&] {
      auto row = storage.fmdb().executeQuery("SELECT rowid, url, etag FROM FileItem ORDER BY url");
      while (row.next()) {
        result.push_back(std::to_string(row.longLongIntForColumn("rowid")) + " " +
                         *row.stringForColumn("url") + " " + row.stringForColumn("etag").value_or("-"));
      }
    });
    return result;
  }
  void merge(const std::string& directoryPath, const KMFileItemList& items) {
    ASSERT_TRUE(storage.updateContentsOfDirectoryAtURLWithItems(url(directoryPath), items).hasValue());
  }

  IsolatedHome home;
  KMWebDAVStorage storage;
};

TEST_F(KMWebDAVStorageMergeTest, TheFirstListingAddsEveryChildAndUpdatesTheDirectoryItself) {
  storage.addItem(*directory("/disk/a/", "old name"));
  merge("/disk/a/", {directory("/disk/a/", "new name"), file("/disk/a/x", "1"), directory("/disk/a/d/")});
  EXPECT_EQ(storage.fileItemAtURL(url("/disk/a/"))->storedDisplayName(), "new name");
  EXPECT_THAT(urlsOf(storage.contentsOfDirectoryAtURLIncludeHidden(url("/disk/a/"), true)),
              ElementsAre("/disk/a/d/", "/disk/a/x"));
}

TEST_F(KMWebDAVStorageMergeTest, TheDirectoryItselfListedWithoutItsSlashIsNotAddedAsAChild) {
  merge("/disk/a/", {directory("/disk/a"), file("/disk/a/x", "1")});
  merge("/disk/a/", {directory("/disk/a"), file("/disk/a/x", "1")});
  EXPECT_EQ(rows().size(), 2u);
}

TEST_F(KMWebDAVStorageMergeTest, AnUnchangedListingChangesNoRow) {
  merge("/disk/", {file("/disk/x", "1"), file("/disk/y", "2"), directory("/disk/d/")});
  const auto before = rows();
  merge("/disk/", {file("/disk/x", "1", "renamed"), file("/disk/y", "2"), directory("/disk/d/")});
  EXPECT_EQ(rows(), before);
  // An unchanged entry keeps its stored name.
  EXPECT_EQ(storage.fileItemAtURL(url("/disk/x"))->storedDisplayName(), "x");
}

TEST_F(KMWebDAVStorageMergeTest, AChangedEtagReplacesTheRowAndDropsTheLocalCopyAndPreview) {
  merge("/disk/", {file("/disk/cat.jpg", "1"), file("/disk/dog.jpg", "1")});
  ASSERT_TRUE(storage.saveDataForURL("old", url("/disk/cat.jpg")));
  ASSERT_TRUE(kdisk::paths::writeFileAtomically(*storage.previewPathForWebURL(url("/disk/cat.jpg")), "p").hasValue());
  ASSERT_TRUE(storage.saveDataForURL("dog", url("/disk/dog.jpg")));
  merge("/disk/", {file("/disk/cat.jpg", "2"), file("/disk/dog.jpg", "1")});
  auto cat = storage.fileItemAtURL(url("/disk/cat.jpg"));
  EXPECT_EQ(dynamic_cast<KMFile&>(*cat).etag(), "2");
  EXPECT_FALSE(storage.hasCachedFileForURL(url("/disk/cat.jpg")));
  EXPECT_FALSE(std::filesystem::exists(*storage.previewPathForWebURL(url("/disk/cat.jpg"))));
  EXPECT_TRUE(storage.hasCachedFileForURL(url("/disk/dog.jpg")));
}

TEST_F(KMWebDAVStorageMergeTest, WithoutEtagsOnBothSidesSizeAndDateDecide) {
  auto undated = file("/disk/undated", std::nullopt);
  undated->setLastModified(std::nullopt);
  merge("/disk/", {file("/disk/same", std::nullopt), file("/disk/bigger", std::nullopt),
                   file("/disk/newer", std::nullopt), file("/disk/tagged", "1"), undated});
  for (const char* name : {"/disk/same", "/disk/bigger", "/disk/newer", "/disk/tagged", "/disk/undated"})
    ASSERT_TRUE(storage.saveDataForURL("old", url(name)));
  const auto before = rows();

  auto newer = file("/disk/newer", std::nullopt);
  newer->setLastModified(kdisk::Date{2000});
  auto stillUndated = file("/disk/undated", std::nullopt);
  stillUndated->setLastModified(std::nullopt);
  merge("/disk/", {file("/disk/same", std::nullopt), file("/disk/bigger", std::nullopt, std::nullopt, 11), newer,
                   file("/disk/tagged", std::nullopt), stillUndated});
  const auto after = rows();
  ASSERT_EQ(after.size(), 5u);
  // Rows by url: bigger, newer, same, tagged, undated.
  EXPECT_NE(after[0], before[0]);
  EXPECT_NE(after[1], before[1]);
  EXPECT_EQ(after[2], before[2]);
  EXPECT_NE(after[3], before[3]);  // a tag on one side only is no match
  EXPECT_NE(after[4], before[4]);  // no date to compare: replaced
  EXPECT_TRUE(storage.hasCachedFileForURL(url("/disk/same")));
  for (const char* name : {"/disk/bigger", "/disk/newer", "/disk/tagged", "/disk/undated"})
    EXPECT_FALSE(storage.hasCachedFileForURL(url(name))) << name;
}

TEST_F(KMWebDAVStorageMergeTest, AFileThatTurnedIntoADirectoryIsReplaced) {
  merge("/disk/", {file("/disk/thing", "1")});
  merge("/disk/", {directory("/disk/thing")});
  EXPECT_NE(dynamic_cast<KMDirectory*>(storage.fileItemAtURL(url("/disk/thing")).get()), nullptr);
  EXPECT_EQ(rows().size(), 1u);
}

TEST_F(KMWebDAVStorageMergeTest, AVanishedDirectoryTakesItsSubtreeAndLocalFilesButNotItsSibling) {
  merge("/disk/", {directory("/disk/Photos/"), directory("/disk/Photos2/")});
  merge("/disk/Photos/", {file("/disk/Photos/a.jpg", "1"), directory("/disk/Photos/deep/")});
  merge("/disk/Photos/deep/", {file("/disk/Photos/deep/b.jpg", "1")});
  merge("/disk/Photos2/", {file("/disk/Photos2/c.jpg", "1")});
  ASSERT_TRUE(storage.saveDataForURL("b", url("/disk/Photos/deep/b.jpg")));
  ASSERT_TRUE(storage.saveDataForURL("c", url("/disk/Photos2/c.jpg")));
  merge("/disk/", {directory("/disk/Photos2/")});
  EXPECT_THAT(rows(), ::testing::Each(::testing::HasSubstr("Photos2")));
  EXPECT_EQ(rows().size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(*storage.localPathForWebURL(url("/disk/Photos/"))));
  EXPECT_TRUE(storage.hasCachedFileForURL(url("/disk/Photos2/c.jpg")));
}

TEST_F(KMWebDAVStorageMergeTest, TwoDirectoriesNeverCountAsChangedSoTheSubtreeStays) {
  merge("/disk/", {directory("/disk/d/")});
  merge("/disk/d/", {file("/disk/d/x", "1")});
  merge("/disk/", {directory("/disk/d/", "other name")});
  EXPECT_EQ(rows().size(), 2u);
}

TEST_F(KMWebDAVStorageMergeTest, HiddenChildrenTakePartInTheMerge) {
  merge("/disk/", {file("/disk/.hidden", "1", ".hidden")});
  merge("/disk/", {file("/disk/.hidden", "1", ".hidden")});
  EXPECT_EQ(rows().size(), 1u);
  merge("/disk/", {});
  EXPECT_EQ(rows().size(), 0u);
}

TEST_F(KMWebDAVStorageMergeTest, DuplicateRowsOfAKeptURLCollapseToOne) {
  storage.addItem(*file("/disk/x", "1"));
  storage.addItem(*file("/disk/x", "1"));
  merge("/disk/", {file("/disk/x", "1"), file("/disk/x", "1")});
  EXPECT_EQ(rows().size(), 1u);
}

TEST_F(KMWebDAVStorageMergeTest, AMergeThatFailsLeavesTheOldListing) {
  merge("/disk/", {file("/disk/keep", "1")});
  const auto before = rows();
  // A full disk: the file may not grow past its present pages.
  storage.performBlockInStorageQueue([&] {
    auto row = storage.fmdb().executeQuery("PRAGMA page_count");
    ASSERT_TRUE(row.next());
    const auto pages = row.longLongIntForColumn("page_count");
    row.close();
    storage.fmdb().executeStatements("PRAGMA max_page_count=" + std::to_string(pages));
  });
  KMFileItemList big;
  for (int i = 0; i < 3000; ++i) big.push_back(file("/disk/new" + std::to_string(i), "1"));
  EXPECT_FALSE(storage.updateContentsOfDirectoryAtURLWithItems(url("/disk/"), big).hasValue());
  EXPECT_EQ(rows(), before);
  KMUploadFileList uploads;
  for (int i = 0; i < 3000; ++i) uploads.push_back(upload("/disk/up" + std::to_string(i)));
  EXPECT_FALSE(storage.addUploadFiles(uploads).hasValue());
  EXPECT_EQ(storage.uploadsInDirectoryAtURL(std::nullopt).size(), 0u);
}

// ---- Upload queue

class KMWebDAVStorageUploadTest : public KMWebDAVStorageMergeTest {};

TEST_F(KMWebDAVStorageUploadTest, TheQueueRunsNewestFirstAndSkipsFailedOnes) {
  storage.addUploadFiles({upload("/disk/U1"), upload("/disk/U2")});
  storage.addUploadFiles({upload("/disk/U3")});
  EXPECT_EQ(storage.nextFileInUploadQueue()->URL(), url("/disk/U3"));
  storage.updateUploadedSizeForUploadFileAtURL(50, url("/disk/U3"));
  storage.markUploadFileWithURLFailedWithReason(url("/disk/U3"), true,
                                                "kKMWebDAVFileManagerUploadErrorWrongStatusCode");
  EXPECT_EQ(storage.nextFileInUploadQueue()->URL(), url("/disk/U2"));
  auto failed = storage.uploadFileAtURL(url("/disk/U3"));
  EXPECT_TRUE(failed->failed());
  EXPECT_EQ(failed->failReason(), "kKMWebDAVFileManagerUploadErrorWrongStatusCode");
  EXPECT_EQ(failed->uploadedSize(), 0u);
  storage.updateUploadedSizeForUploadFileAtURL(70, url("/disk/U3"));
  storage.markUploadFileWithURLFailedWithReason(url("/disk/U3"), false, std::nullopt);
  auto again = storage.nextFileInUploadQueue();
  EXPECT_EQ(again->URL(), url("/disk/U3"));
  EXPECT_EQ(again->uploadedSize(), 0u);
  EXPECT_EQ(again->localURL(), kdisk::URL::fileURLWithPath("/tmp/source100"));
}

TEST_F(KMWebDAVStorageUploadTest, UploadsOfAFolderComeNewestFirstAndRemovalEmptiesTheQueue) {
  storage.addUploadFiles({upload("/disk/a/1"), upload("/disk/b/2"), upload("/disk/a/3")});
  std::vector<std::string> inA;
  for (const auto& queued : storage.uploadsInDirectoryAtURL(url("/disk/a/"))) inA.push_back(queued->URL().rawPath());
  EXPECT_THAT(inA, ElementsAre("/disk/a/3", "/disk/a/1"));
  EXPECT_EQ(storage.uploadsInDirectoryAtURL(std::nullopt).size(), 3u);
  EXPECT_TRUE(storage.existUploadFileWithURL(url("/disk/b/2")));
  for (const char* path : {"/disk/a/1", "/disk/b/2", "/disk/a/3"}) storage.removeUploadFileWithURL(url(path));
  EXPECT_FALSE(storage.existUploadFileWithURL(url("/disk/b/2")));
  EXPECT_EQ(storage.nextFileInUploadQueue(), nullptr);
  storage.markUploadFileWithURLFailedWithReason(std::nullopt, true, "x");  // nothing, no crash
}

// ---- Local file layout

class KMWebDAVStoragePathTest : public KMWebDAVStorageMergeTest {
 protected:
  std::string disk() { return storage.localDiskDirectoryPath(); }
  std::optional<std::string> local(const std::string& path) { return storage.localPathForWebURL(url(path)); }
};

TEST_F(KMWebDAVStoragePathTest, NamesAreDecodedBelowDiskAndThePreviewLiesBeside) {
  EXPECT_EQ(disk(), kdisk::paths::documentsDirectory() + "/Disk");
  EXPECT_EQ(local("/disk/My%20Photos/a.jpg"), disk() + "/My Photos/a.jpg");
  EXPECT_EQ(storage.previewPathForWebURL(url("/disk/My%20Photos/a.jpg")), disk() + "/My Photos/a_preview.jpg");
  EXPECT_EQ(storage.fileURLForWebURL(url("/disk/My%20Photos/a.jpg")),
            kdisk::URL::fileURLWithPath(disk() + "/My Photos/a.jpg"));
  EXPECT_EQ(local("/disk/"), disk());
}

TEST_F(KMWebDAVStoragePathTest, URLsOutsideTheRootHaveNoLocalPath) {
  EXPECT_EQ(local("/other/a.jpg"), std::nullopt);
  EXPECT_EQ(local("/diskette/a.jpg"), std::nullopt);
  EXPECT_EQ(storage.localPathForWebURL(*kdisk::URL::fromString("https://elsewhere.test/disk/a.jpg")), std::nullopt);
  EXPECT_FALSE(storage.saveDataForURL("x", url("/other/a.jpg")));
  EXPECT_FALSE(storage.hasCachedFileForURL(url("/other/a.jpg")));
}

TEST_F(KMWebDAVStoragePathTest, NamesThatWouldLeaveDiskOrSplitOrCutAreRefused) {
  for (const char* path : {"/disk/..", "/disk/../x", "/disk/a/../../x", "/disk/%2E%2E/x", "/disk/.%2E/x",
                           "/disk/a%2Fb", "/disk/..%2F..%2Fx", "/disk/a%00b", "/disk/./x",
                           "/disk/a?b=1", "/disk/a#frag"}) {
    EXPECT_EQ(local(path), std::nullopt) << path;
    EXPECT_EQ(storage.previewPathForWebURL(url(path)), std::nullopt) << path;
    EXPECT_FALSE(storage.saveDataForURL("x", url(path))) << path;
  }
  EXPECT_FALSE(std::filesystem::exists(kdisk::paths::documentsDirectory() + "/x"));
  EXPECT_FALSE(std::filesystem::exists(kdisk::paths::libraryDirectory() + "/x"));
}

TEST_F(KMWebDAVStoragePathTest, NamesWithoutAnExtensionAndDirectoriesHaveNoPreview) {
  EXPECT_EQ(storage.previewPathForWebURL(url("/disk/README")), std::nullopt);
  EXPECT_EQ(storage.previewPathForWebURL(url("/disk/album.d/")), std::nullopt);
  EXPECT_EQ(storage.previewPathForWebURL(url("/disk/")), std::nullopt);
  EXPECT_EQ(storage.previewPathForWebURL(url("/disk/.profile")), std::nullopt);
}

TEST_F(KMWebDAVStoragePathTest, SavingWritesTheWholeFileAndReplacesAnOldOne) {
  ASSERT_TRUE(storage.saveDataForURL("first", url("/disk/deep/er/f.txt")));
  ASSERT_TRUE(storage.saveDataForURL("second", url("/disk/deep/er/f.txt")));
  EXPECT_EQ(kdisk::paths::readFile(*local("/disk/deep/er/f.txt")).value(), "second");
  EXPECT_TRUE(storage.hasCachedFileForURL(url("/disk/deep/er/f.txt")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk() + "/deep/er"),
                          std::filesystem::directory_iterator()), 1);  // no temporary left
}

TEST_F(KMWebDAVStoragePathTest, WithoutARootNothingMaps) {
  storage.setRootURL(std::nullopt);
  EXPECT_EQ(local("/disk/a.jpg"), std::nullopt);
}

}  // namespace
