#include "webdav/KMFileItem.h"

#include <gtest/gtest.h>

#include "webdav/KMDirectory.h"
#include "webdav/KMFile.h"
#include "webdav/KMWebDAVEnvironment.h"

namespace {

kdisk::URL url(const char* text) { return *kdisk::URL::fromString(text); }

TEST(KMFileItemTests, ItemWithoutDisplayNameShowsDecodedLastComponent) {
  auto item = KMDirectory::fileItemWithURL(url("https://webdav.example/disk/Photos%20old/"));
  EXPECT_EQ(item->displayName(), "Photos old");
  auto file = KMFile::fileItemWithURL(url("https://webdav.example/disk/%D0%9F%D0%B8%D1%81%D1%8C%D0%BC%D0%BE.txt"));
  EXPECT_EQ(file->displayName(), "Письмо.txt");
}

TEST(KMFileItemTests, StoredDisplayNameWinsForFiles) {
  auto file = KMFile::fileItemWithURL(url("https://webdav.example/disk/a.txt"));
  file->setDisplayName("Report");
  EXPECT_EQ(file->displayName(), "Report");
  file->setDisplayName(std::nullopt);
  EXPECT_EQ(file->displayName(), "a.txt");
}

TEST(KMFileItemTests, EmptyStoredNameStaysDistinctFromNone) {
  auto file = KMFile::fileItemWithURL(url("https://webdav.example/disk/a.txt"));
  file->setDisplayName(std::string());
  EXPECT_EQ(file->displayName(), "");
  ASSERT_TRUE(file->storedDisplayName().has_value());
}

TEST(KMFileItemTests, FactoryMakesTheReceivingKind) {
  EXPECT_TRUE(KMDirectory::fileItemWithURL(url("https://h/disk/"))->isDirectory());
  EXPECT_FALSE(KMFile::fileItemWithURL(url("https://h/disk/a"))->isDirectory());
  EXPECT_FALSE(KMFileItem::fileItemWithURL(url("https://h/disk/a"))->isDirectory());
}

TEST(KMFileItemTests, URLStringIsTheAbsoluteTextKeptAsSent) {
  auto item = KMFileItem::fileItemWithURL(url("https://h:8443/disk/My%20Files/"));
  EXPECT_EQ(item->URLString(), "https://h:8443/disk/My%20Files/");
}

TEST(KMDirectoryTests, StandardFolderShowsLocalizedNameOverServerName) {
  auto music = KMDirectory::fileItemWithURL(url("https://h/disk/Music/"));
  music->setDisplayName("music-server-name");
  EXPECT_EQ(music->displayName(), "/disk/Music");  // the table falls back to the path

  kdisk::webdav::setLocalizer([](std::string_view key, std::string_view fallback, std::string_view table) {
    if (table == "DiskCommon" && key == "/disk/Music") return std::string("Музыка");
    return std::string(fallback);
  });
  EXPECT_EQ(music->displayName(), "Музыка");
  kdisk::webdav::setLocalizer(nullptr);
}

TEST(KMDirectoryTests, SubfolderOfStandardFolderIsNotLocalized) {
  auto old = KMDirectory::fileItemWithURL(url("https://h/disk/Music/Old/"));
  old->setDisplayName("Old tunes");
  EXPECT_EQ(old->displayName(), "Old tunes");
  auto unnamed = KMDirectory::fileItemWithURL(url("https://h/disk/Music/Old/"));
  EXPECT_EQ(unnamed->displayName(), "Old");
}

TEST(KMDirectoryTests, LocalizedNamesRecogniseExactlyFourPathsCaseSensitive) {
  EXPECT_TRUE(KMDirectory::localizedNameForFolderWithPath("/disk"));
  EXPECT_TRUE(KMDirectory::localizedNameForFolderWithPath("/disk/Documents"));
  EXPECT_TRUE(KMDirectory::localizedNameForFolderWithPath("/disk/Images"));
  EXPECT_TRUE(KMDirectory::localizedNameForFolderWithPath("/disk/Music"));
  EXPECT_FALSE(KMDirectory::localizedNameForFolderWithPath("/disk/music"));
  EXPECT_FALSE(KMDirectory::localizedNameForFolderWithPath("/disk/"));
  EXPECT_FALSE(KMDirectory::localizedNameForFolderWithPath("/disk/Images/x"));
}

TEST(KMDirectoryTests, RootFolderIsLocalizedWithOrWithoutSlash) {
  EXPECT_EQ(KMDirectory::fileItemWithURL(url("https://h/disk/"))->displayName(), "/disk");
  EXPECT_EQ(KMDirectory::fileItemWithURL(url("https://h/disk"))->displayName(), "/disk");
}

TEST(KMFileTests, FieldsStartEmptyAndKeepWhatIsSet) {
  auto file = KMFile::fileItemWithURL(url("https://h/disk/a"));
  EXPECT_EQ(file->size(), 0u);
  EXPECT_FALSE(file->lastModified());
  EXPECT_FALSE(file->etag());
  file->setSize(UINT64_MAX);
  file->setEtag("\"abc\"");
  file->setLastModified(kdisk::Date{784903526});
  EXPECT_EQ(file->size(), UINT64_MAX);
  EXPECT_EQ(*file->etag(), "\"abc\"");
  EXPECT_EQ(file->lastModified()->secondsSince1970, 784903526);
}

}  // namespace
