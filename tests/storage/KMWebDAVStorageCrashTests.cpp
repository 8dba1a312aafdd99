// A process killed in the middle of a unit of work leaves the old cache. The
// child is this test program run again (exec, so it starts clean), told by the
// environment to run the merge and kill itself halfway.
#include "storage/KMWebDAVStorage.h"

#include <gmock/gmock.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "StorageTestSupport.h"
#include "platform/Paths.h"
#include "support/TemporaryDirectory.h"

extern char** environ;

using namespace kdisk::test;

namespace {

constexpr int kListingSize = 2000;

KMFileItemList listing(const std::string& etag, int count) {
  KMFileItemList items;
  for (int i = 0; i < count; ++i) items.push_back(file("/disk/f" + std::to_string(i), etag));
  return items;
}

// Runs one test of this program in a child with `mode`; returns the wait status.
int runChild(const std::string& home, const std::string& mode) {
  std::string filter = "--gtest_filter=KMWebDAVStorageCrashChild.KillsItselfMidway";
    // The test main gives every run a fresh KDISK_HOME; the child moves to ours.
  std::vector<std::string> environment = {"KDISK_CRASH_HOME=" + home, "KDISK_CRASH_CHILD=" + mode};
  for (char** entry = environ; *entry; ++entry) {
    std::string_view text(*entry);
    if (!text.starts_with("KDISK_CRASH_HOME=") && !text.starts_with("KDISK_CRASH_CHILD=")) environment.emplace_back(text);
  }
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string program = "/proc/self/exe";
  char* argv[] = {program.data(), filter.data(), nullptr};
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

TEST(KMWebDAVStorageCrashChild, KillsItselfMidway) {
  const char* mode = std::getenv("KDISK_CRASH_CHILD");
  const char* home = std::getenv("KDISK_CRASH_HOME");
  if (!mode || !home) GTEST_SKIP() << "runs only as the child of a crash test";
  ::setenv("KDISK_HOME", home, 1);
  KMWebDAVStorage storage;
  storage.setRootURL(*kdisk::URL::fromString(kRoot));
  if (std::string(mode) == "merge") {
    storage.setMergeHookForTesting([](std::size_t index) {
      if (index == kListingSize / 2) ::kill(::getpid(), SIGKILL);
    });
    // Every etag changed, half the files gone, new ones added.
    KMFileItemList fresh = listing("2", kListingSize / 2);
    for (int i = 0; i < kListingSize; ++i) fresh.push_back(file("/disk/new" + std::to_string(i), "1"));
    storage.updateContentsOfDirectoryAtURLWithItems(url("/disk/"), fresh);
  } else if (std::string(mode) == "statement") {
    // Killed from inside SQLite while a statement writes.
    int steps = 0;
    storage.performBlockInStorageQueue([&] {
      storage.fmdb().setProgressHookForTesting(100, [&] {
        if (++steps == 200) ::kill(::getpid(), SIGKILL);
        return true;
      });
    });
    storage.removeItems({directory("/disk/")});
  } else if (std::string(mode) == "uploads") {
    int steps = 0;
    storage.performBlockInStorageQueue([&] {
      storage.fmdb().setProgressHookForTesting(100, [&] {
        if (++steps == 200) ::kill(::getpid(), SIGKILL);
        return true;
      });
    });
    KMUploadFileList uploads;
    for (int i = 0; i < kListingSize; ++i) uploads.push_back(upload("/disk/u" + std::to_string(i)));
    storage.addUploadFiles(uploads);
  }
  ADD_FAILURE() << "the child was not killed";
}

class KMWebDAVStorageCrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KMWebDAVStorage storage;
    storage.setRootURL(*kdisk::URL::fromString(kRoot));
    ASSERT_TRUE(storage.updateContentsOfDirectoryAtURLWithItems(url("/disk/"), listing("1", kListingSize)).hasValue());
    storage.addUploadFiles({upload("/disk/queued")});
  }
  void expectOldCache() {
    KMWebDAVStorage storage;
    storage.setRootURL(*kdisk::URL::fromString(kRoot));
    auto items = storage.contentsOfDirectoryAtURLIncludeHidden(url("/disk/"), true);
    ASSERT_EQ(items.size(), static_cast<std::size_t>(kListingSize));
    for (const auto& item : items) {
      EXPECT_EQ(dynamic_cast<KMFile&>(*item).etag(), "1") << item->URLString();
      EXPECT_EQ(item->URL().rawPath().find("/disk/new"), std::string::npos);
    }
    EXPECT_EQ(storage.uploadsInDirectoryAtURL(std::nullopt).size(), 1u);
    EXPECT_FALSE(storage.isRunningInMemory());
  }
  void killChildMidway(const std::string& mode) {
    const int status = runChild(home.path(), mode);
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    ASSERT_EQ(WTERMSIG(status), SIGKILL);
    // The kill came inside a transaction: its journal is still there.
    EXPECT_TRUE(std::filesystem::exists(kdisk::paths::libraryDirectory() + "/WebDAVStorage.sqlite-journal"));
  }
  IsolatedHome home;
};

TEST_F(KMWebDAVStorageCrashTest, AKillHalfwayThroughAMergeLeavesTheOldListing) {
  killChildMidway("merge");
  expectOldCache();
}

TEST_F(KMWebDAVStorageCrashTest, AKillInsideADeletingStatementLeavesEveryRow) {
  killChildMidway("statement");
  expectOldCache();
}

TEST_F(KMWebDAVStorageCrashTest, AKillDuringABatchOfUploadInsertsAddsNoneOfThem) {
  killChildMidway("uploads");
  expectOldCache();
}

}  // namespace
