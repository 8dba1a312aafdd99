#include "platform/Paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "support/TemporaryDirectory.h"

using namespace kdisk;

TEST(PathsTests, EveryFolderMovesWithKdiskHomeAndEachWithItsOwnVariable) {
  test::IsolatedHome home;
  EXPECT_EQ(paths::configDirectory(), home.path() + "/config");
  EXPECT_EQ(paths::libraryDirectory(), home.path() + "/data");
  EXPECT_EQ(paths::documentsDirectory(), home.path() + "/data/Documents");
  EXPECT_EQ(paths::temporaryDirectory(), home.path() + "/cache/tmp");
  ::setenv("KDISK_CONFIG_DIR", "/elsewhere", 1);
  EXPECT_EQ(paths::configDirectory(), "/elsewhere");
  ::unsetenv("KDISK_CONFIG_DIR");
}

TEST(PathsTests, AtomicWriteReplacesTheFileWithTheGivenMode) {
  test::TemporaryDirectory directory;
  const std::string path = directory.file("deep/er/prefs.plist");
  ASSERT_TRUE(paths::writeFileAtomically(path, "first").hasValue());
  ASSERT_TRUE(paths::writeFileAtomically(path, "second", 0600).hasValue());
  EXPECT_EQ(paths::readFile(path).value(), "second");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(PathsTests, WritingBelowAFileFailsWithTheOffendingPath) {
  test::TemporaryDirectory directory;
  ASSERT_TRUE(paths::writeFileAtomically(directory.file("plain"), "x").hasValue());
  Status result = paths::writeFileAtomically(directory.file("plain/child"), "y");
  ASSERT_FALSE(result.hasValue());
  EXPECT_NE(result.error().localizedDescription.find("plain"), std::string::npos);
  EXPECT_FALSE(paths::readFile(directory.file("missing")).hasValue());
}
