#include "platform/PhotoLibrary.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/RunLoop.h"
#include "support/TemporaryDirectory.h"

using namespace kdisk;
namespace fs = std::filesystem;

namespace {

class PhotoLibraryTests : public testing::Test {
 protected:
  void SetUp() override {
    m_pictures = m_directory.file("Pictures");
    m_videos = m_directory.file("Videos");
    fs::create_directories(m_pictures + "/Holidays/Beach");
    fs::create_directories(m_videos);
  }

  std::string write(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  PhotoLibrary library() const { return PhotoLibrary({m_pictures, m_videos}); }

  test::TemporaryDirectory m_directory;
  std::string m_pictures;
  std::string m_videos;
};

}  // namespace

TEST_F(PhotoLibraryTests, FoldersComeFromTheTestVariableThenTheXdgVariables) {
  ::setenv("KDISK_PHOTO_LIBRARY_DIRS", "/a/Pictures:/b/Videos", 1);
  EXPECT_EQ(PhotoLibrary::defaultFolders(), (std::vector<std::string>{"/a/Pictures", "/b/Videos"}));
  ::unsetenv("KDISK_PHOTO_LIBRARY_DIRS");
  ::setenv("XDG_PICTURES_DIR", "/p", 1);
  ::setenv("XDG_VIDEOS_DIR", "/v", 1);
  EXPECT_EQ(PhotoLibrary::defaultFolders(), (std::vector<std::string>{"/p", "/v"}));
  ::unsetenv("XDG_PICTURES_DIR");
  ::unsetenv("XDG_VIDEOS_DIR");
}

TEST_F(PhotoLibraryTests, EveryFolderAndSubfolderIsAnAlbumAndHiddenOnesAreNot) {
  fs::create_directories(m_pictures + "/.thumbnails");
  auto albums = library().albums();
  ASSERT_TRUE(albums.hasValue());
  std::vector<std::string> names;
  for (const auto& album : albums.value()) names.push_back(album.name());
  EXPECT_EQ(names, (std::vector<std::string>{"Pictures", "Holidays", "Beach", "Videos"}));
}

TEST_F(PhotoLibraryTests, AMissingVideosFolderIsNoAlbumAndNoFailure) {
  fs::remove(m_videos);
  auto albums = library().albums();
  ASSERT_TRUE(albums.hasValue());
  EXPECT_EQ(albums.value().size(), 3u);
}

TEST_F(PhotoLibraryTests, AnAlbumHoldsItsPicturesAndVideosOnly) {
  write(m_pictures + "/Holidays/b.JPG", "jpeg");
  write(m_pictures + "/Holidays/a.mov", "movie");
  write(m_pictures + "/Holidays/notes.txt", "text");
  write(m_pictures + "/Holidays/.hidden.jpg", "x");
  auto assets = PhotoAlbum("Holidays", m_pictures + "/Holidays").assets();
  ASSERT_TRUE(assets.hasValue());
  ASSERT_EQ(assets.value().size(), 2u);
  EXPECT_EQ(assets.value()[0]->type(), PhotoAssetType::Video);
  EXPECT_EQ(assets.value()[1]->type(), PhotoAssetType::Photo);
}

TEST_F(PhotoLibraryTests, AnAssetURLEndsInAssetDotExtensionAndResolvesBackToTheSameFile) {
  auto path = write(m_pictures + "/Holidays/Sea & Sun 100%.JPG", "0123456789");
  auto asset = PhotoLibrary::assetForFilePath(path);
  ASSERT_TRUE(asset);
  EXPECT_EQ(asset->url().scheme(), "assets-library");
  EXPECT_EQ(asset->url().lastPathComponent(), "asset.JPG");
  EXPECT_EQ(asset->url().pathExtension(), "JPG");
  EXPECT_EQ(asset->url(), PhotoLibrary::assetURLForFilePath(path));

  auto again = library().assetForURL(*URL::fromString(asset->url().absoluteString()));
  ASSERT_TRUE(again.hasValue());
  ASSERT_TRUE(again.value());
  auto representation = again.value()->defaultRepresentation();
  EXPECT_EQ(representation->filename(), "Sea & Sun 100%.JPG");
  EXPECT_EQ(representation->size(), 10u);
  EXPECT_GT(again.value()->creationDate().secondsSince1970, 0);
}

TEST_F(PhotoLibraryTests, ReadsAtAnOffsetAndReturnsZeroAtTheEnd) {
  auto asset = PhotoLibrary::assetForFilePath(write(m_pictures + "/a.png", "0123456789"));
  ASSERT_TRUE(asset);
  auto representation = asset->defaultRepresentation();
  std::uint8_t buffer[4];
  KMError error;
  ASSERT_EQ(representation->getBytesFromOffsetLength(buffer, 8, 4, &error), 2u);
  EXPECT_EQ(std::string(buffer, buffer + 2), "89");
  EXPECT_EQ(representation->getBytesFromOffsetLength(buffer, 10, 4, &error), 0u);
}

TEST_F(PhotoLibraryTests, AVanishedFileIsNoAssetRatherThanAnError) {
  auto path = write(m_pictures + "/gone.jpg", "x");
  auto url = PhotoLibrary::assetURLForFilePath(path);
  fs::remove(path);
  auto asset = library().assetForURL(url);
  ASSERT_TRUE(asset.hasValue());
  EXPECT_FALSE(asset.value());
}

TEST_F(PhotoLibraryTests, AURLOutsideTheLibraryFoldersReachesNoFile) {
  auto outside = write(m_directory.file("secret.jpg"), "private");
  auto asset = library().assetForURL(PhotoLibrary::assetURLForFilePath(outside));
  ASSERT_FALSE(asset.hasValue());
  EXPECT_TRUE(asset.error().is(kKMPhotoLibraryErrorDomain, kKMPhotoLibraryInvalidURL));

  // Dot-dot segments and links out of the folder resolve first, then are refused.
  auto dotted = library().assetForURL(PhotoLibrary::assetURLForFilePath(m_pictures + "/../secret.jpg"));
  EXPECT_FALSE(dotted.hasValue());
  fs::create_symlink(outside, m_pictures + "/link.jpg");
  EXPECT_FALSE(library().assetForURL(PhotoLibrary::assetURLForFilePath(m_pictures + "/link.jpg")).hasValue());

  // A file that is no picture or video is not of the library either.
  auto text = write(m_pictures + "/notes.txt", "x");
  auto textURL = URL::fromString("assets-library://asset/asset.TXT?id=" + percentEncode(text, "/") + "&ext=TXT");
  EXPECT_FALSE(library().assetForURL(*textURL).hasValue());
  EXPECT_FALSE(library().assetForURL(*URL::fromString("file:///etc/passwd")).hasValue());
}

TEST_F(PhotoLibraryTests, AnUnreadableTopFolderRefusesAccessToTheLibrary) {
  // Permissions bind only an unprivileged user, so the check runs in a child
  // that gives up root when the tests run as root.
  fs::permissions(m_directory.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  fs::permissions(m_pictures, fs::perms::none);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    auto albums = PhotoLibrary({m_pictures, m_videos}).albums();
    int code = !albums.hasValue() && albums.error().is(kKMPhotoLibraryErrorDomain, kKMPhotoLibraryAccessRefused) ? 0 : 1;
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  fs::permissions(m_pictures, fs::perms::owner_all);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PhotoLibraryTests, EnumerationReportsEveryAlbumThenDoneOffTheMainThread) {
  std::atomic<int> groups{0};
  std::atomic<bool> done{false}, onMain{false};
  library().enumerateGroups([&](const PhotoAlbum&) { ++groups; if (RunLoop::isMainThread()) onMain = true; },
                            [&] { done = true; }, [](const KMError&) {});
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, 10));
  EXPECT_EQ(groups.load(), 4);
  EXPECT_FALSE(onMain.load());
}
