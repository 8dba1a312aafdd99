// Directory refresh against kdisk-service: names that need escaping, merges
// after server-side changes, failures that keep the cache, sign-in failures.
#include "ManagerFixture.h"

namespace kdisk::test {
namespace {

using ManagerDirectoryTest = ManagerServiceTest;

TEST_F(ManagerDirectoryTest, RefreshStoresFoldersWithSpacesCyrillicAndPercentNames) {
  ASSERT_EQ(dav("MKCOL", "/disk/My%20Folder/").status, 201);
  ASSERT_EQ(dav("MKCOL", "/disk/%D0%9F%D0%B0%D0%BF%D0%BA%D0%B0/").status, 201);
  ASSERT_EQ(put("/disk/100%25%20done.txt", "done").status, 201);
  ASSERT_EQ(put("/disk/My%20Folder/a%20b.txt", "ab").status, 201);
  ASSERT_EQ(put("/disk/My%20Folder/%D0%81%D0%B6.txt", "hedgehog").status, 201);

  ASSERT_TRUE(refresh(root()));
  EXPECT_EQ(cachedNames(root()), (std::vector<std::string>{"100% done.txt", "My Folder/", "Папка/"}));
  auto sent = m_recorder.named(kKMKMWebDAVFileManagerDidSendFileListRequest);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].string("URL"), root().absoluteString());
  EXPECT_EQ(sent[0].object, m_manager.get());
  EXPECT_TRUE(m_recorder.allOnMainThread());

  URL folder = root().appendingPathComponent("My Folder", true);
  ASSERT_TRUE(refresh(folder));
  EXPECT_EQ(cachedNames(folder), (std::vector<std::string>{"a b.txt", "Ёж.txt"}));
  auto file = std::dynamic_pointer_cast<KMFile>(m_storage->fileItemAtURL(folder.appendingPathComponent("Ёж.txt")));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->size(), 8u);
  EXPECT_TRUE(file->etag().has_value());
  EXPECT_TRUE(file->lastModified().has_value());
}

TEST_F(ManagerDirectoryTest, MergeFollowsReplacedRemovedAndRetypedItems) {
  ASSERT_EQ(put("/disk/replaced.txt", "old").status, 201);
  ASSERT_EQ(put("/disk/kept.txt", "same").status, 201);
  ASSERT_EQ(put("/disk/becomes-folder", "file").status, 201);
  ASSERT_EQ(dav("MKCOL", "/disk/gone/").status, 201);
  ASSERT_EQ(put("/disk/gone/inner.txt", "x").status, 201);
  ASSERT_TRUE(refresh(root()));
  ASSERT_TRUE(refresh(root().appendingPathComponent("gone", true)));
  URL replaced = root().appendingPathComponent("replaced.txt");
  ASSERT_TRUE(m_storage->saveDataForURL("old", replaced));  // a downloaded copy
  auto oldTag = std::dynamic_pointer_cast<KMFile>(m_storage->fileItemAtURL(replaced))->etag();

  ASSERT_EQ(put("/disk/replaced.txt", "new and longer").status / 100, 2);
  ASSERT_EQ(dav("DELETE", "/disk/gone/").status / 100, 2);
  ASSERT_EQ(dav("DELETE", "/disk/becomes-folder").status / 100, 2);
  ASSERT_EQ(dav("MKCOL", "/disk/becomes-folder/").status, 201);
  ASSERT_TRUE(refresh(root()));

  EXPECT_EQ(cachedNames(root()),
            (std::vector<std::string>{"becomes-folder/", "kept.txt", "replaced.txt"}));
  auto file = std::dynamic_pointer_cast<KMFile>(m_storage->fileItemAtURL(replaced));
  ASSERT_TRUE(file);
  EXPECT_NE(file->etag(), oldTag);
  EXPECT_EQ(file->size(), 14u);
  EXPECT_FALSE(m_storage->hasCachedFileForURL(replaced)) << "the stale copy must go";
  EXPECT_TRUE(cachedNames(root().appendingPathComponent("gone", true)).empty());
  auto retyped = m_storage->fileItemAtURL(root().appendingPathComponent("becomes-folder", true));
  ASSERT_TRUE(retyped);
  EXPECT_TRUE(retyped->isDirectory());
}

TEST_F(ManagerDirectoryTest, FailedListingKeepsTheCacheAndCarriesTheError) {
  ASSERT_EQ(put("/disk/a.txt", "a").status, 201);
  ASSERT_TRUE(refresh(root()));
  ASSERT_EQ(put("/disk/b.txt", "b").status, 201);
  ASSERT_TRUE(m_service.faults().failNext("PROPFIND", "/disk/", 500));
  EXPECT_FALSE(refresh(root()));
  auto failed = m_recorder.named(kKMKMWebDAVFileManagerDidFailWithFileListRequest);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].string("URL"), root().absoluteString());
  auto error = errorIn(failed[0].userInfo);
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(kKMRequestErrorDomain, kKMRequestErrorNotAccepted));
  EXPECT_EQ(cachedNames(root()), std::vector<std::string>{"a.txt"});
}

TEST_F(ManagerDirectoryTest, CutListingKeepsTheCache) {
  ASSERT_EQ(put("/disk/a.txt", "a").status, 201);
  ASSERT_TRUE(refresh(root()));
  ASSERT_TRUE(m_service.faults().cutResponseBodyAfter("PROPFIND", "/disk/", 40));
  EXPECT_FALSE(refresh(root()));
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidFailWithFileListRequest), 1u);
  EXPECT_EQ(cachedNames(root()), std::vector<std::string>{"a.txt"});
}

TEST_F(ManagerDirectoryTest, RevokedTokenGivesOneSignInFailurePerFailingRequest) {
  ASSERT_TRUE(refresh(root()));
  ASSERT_TRUE(m_service.faults().revokeToken(m_token));
  m_manager->updateContentsOfDirectoryAtURL(root());
  m_manager->updateContentsOfDirectoryAtURL(root());
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidFailWithFileListRequest, 2));
  ASSERT_TRUE(m_recorder.waitFor(kKMXConnectionDidFailAuthenticateWithError, 2));
  m_recorder.drain();
  RunLoop::main().runUntil([] { return false; }, 0.2);
  EXPECT_EQ(m_recorder.count(kKMXConnectionDidFailAuthenticateWithError), 2u);
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidFailWithFileListRequest), 2u);
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidSendFileListRequest), 3u);
  EXPECT_TRUE(m_recorder.allOnMainThread());
}

TEST_F(ManagerDirectoryTest, TwoRefreshesPostTwoPairs) {
  m_manager->updateContentsOfDirectoryAtURL(root());
  m_manager->updateContentsOfDirectoryAtURL(root());
  ASSERT_TRUE(m_recorder.waitFor(kKMKMWebDAVFileManagerDidReceiveFileList, 2));
  EXPECT_EQ(m_recorder.count(kKMKMWebDAVFileManagerDidSendFileListRequest), 2u);
}

TEST_F(ManagerDirectoryTest, TokenIsReadAfreshForEveryRequest) {
  KMSettings::mainSettings().setToken(std::string("stale"));
  EXPECT_FALSE(refresh(root()));
  KMSettings::mainSettings().setToken(m_token);
  EXPECT_TRUE(refresh(root()));
}

}  // namespace
}  // namespace kdisk::test
