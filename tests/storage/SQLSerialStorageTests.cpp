#include "storage/SQLSerialStorage.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/Paths.h"
#include "support/TemporaryDirectory.h"

using kdisk::sql::Database;

namespace {

// A store of its own schema, version 3, with one table.
class ThingStorage : public SQLSerialStorage {
 public:
  ThingStorage() : SQLSerialStorage("Things.sqlite") {}
  std::int64_t version() const override { return 3; }

  void addThing(std::int64_t value) {
    performBlockInStorageQueue([&] { fmdb().executeUpdateWith("INSERT INTO Thing(v) VALUES (?)", value); });
  }
  // One transaction: thousands of single-row commits would each wait for the disk.
  void addThings(std::int64_t count) {
    performBlockInStorageQueue([&] {
      kdisk::sql::Transaction transaction(fmdb());
      for (std::int64_t i = 0; i < count; ++i) fmdb().executeUpdateWith("INSERT INTO Thing(v) VALUES (?)", i);
      transaction.commit();
    });
  }
  std::int64_t thingCount() {
    std::int64_t count = -1;
    performBlockInStorageQueue([&] {
      auto cursor = fmdb().executeQuery("SELECT count(*) AS n FROM Thing");
      if (cursor.next()) count = cursor.longLongIntForColumn("n");
    });
    return count;
  }
  std::int64_t storedVersion() {
    std::int64_t stored = -1;
    performBlockInStorageQueue([&] {
      auto cursor = fmdb().executeQuery("SELECT version FROM db_meta");
      if (cursor.next()) stored = cursor.longLongIntForColumn("version");
    });
    return stored;
  }
  int initializations = 0;

 protected:
  bool initializeDatabase(Database& database) override {
    ++initializations;
    return SQLSerialStorage::initializeDatabase(database) &&
           database.executeUpdate("CREATE TABLE Thing(v INTEGER)");
  }
  bool hasCompleteSchema(Database& database) override {
    return SQLSerialStorage::hasCompleteSchema(database) && hasTable(database, "Thing");
  }
};

void writeDatabase(const std::string& path, const std::string& script) {
  auto database = Database::open(path);
  ASSERT_TRUE(database.hasValue());
  ASSERT_TRUE(database.value()->executeStatements(script));
}

class SQLSerialStorageTest : public ::testing::Test {
 protected:
  void SetUp() override { kdisk::paths::createDirectories(kdisk::paths::libraryDirectory()); }
  std::string path() const { return kdisk::paths::libraryDirectory() + "/Things.sqlite"; }
  kdisk::test::IsolatedHome home;
};

TEST_F(SQLSerialStorageTest, LivesInTheLibraryDirectoryAndOpensOnlyOnFirstUse) {
  ThingStorage storage;
  EXPECT_EQ(storage.fullPath(), path());
  EXPECT_EQ(storage.storageQueue()->label(), "ru.kalumo.disk.SQLStorageQueue.Things.sqlite");
  EXPECT_FALSE(kdisk::paths::fileExists(path()));
  EXPECT_EQ(storage.thingCount(), 0);
  EXPECT_TRUE(kdisk::paths::fileExists(path()));
}

TEST_F(SQLSerialStorageTest, AFreshFileGetsTheVersionRowAndTheTablesInOneStep) {
  ThingStorage storage;
  EXPECT_EQ(storage.storedVersion(), 3);
  EXPECT_EQ(storage.thingCount(), 0);
  EXPECT_EQ(storage.initializations, 1);
  EXPECT_FALSE(storage.isRunningInMemory());
  // Its tables were written without syncs; every later commit waits for the disk.
  storage.performBlockInStorageQueue([&] {
    auto cursor = storage.fmdb().executeQuery("PRAGMA synchronous");
    ASSERT_TRUE(cursor.next());
    EXPECT_EQ(cursor.longLongIntForColumnIndex(0), 2);  // FULL
  });
}

TEST_F(SQLSerialStorageTest, RowsSurviveCloseAndReopen) {
  {
    ThingStorage storage;
    storage.addThing(1);
    storage.close();
    storage.addThing(2);
  }
  ThingStorage again;
  EXPECT_EQ(again.thingCount(), 2);
  EXPECT_EQ(again.initializations, 0);
}

TEST_F(SQLSerialStorageTest, AFileOfAnotherVersionIsRebuiltEmpty) {
  writeDatabase(path(), "CREATE TABLE db_meta(version INTEGER); INSERT INTO db_meta VALUES (2);"
                        "CREATE TABLE Thing(v INTEGER); INSERT INTO Thing VALUES (9);");
  ThingStorage storage;
  EXPECT_EQ(storage.thingCount(), 0);
  EXPECT_EQ(storage.storedVersion(), 3);
  EXPECT_EQ(storage.initializations, 1);
}

TEST_F(SQLSerialStorageTest, AFileWithoutAVersionRowIsRebuilt) {
  writeDatabase(path(), "CREATE TABLE db_meta(version INTEGER); CREATE TABLE Thing(v INTEGER);"
                        "INSERT INTO Thing VALUES (9);");
  ThingStorage storage;
  EXPECT_EQ(storage.thingCount(), 0);
  EXPECT_EQ(storage.storedVersion(), 3);
}

TEST_F(SQLSerialStorageTest, AFileMissingATableIsRebuilt) {
  writeDatabase(path(), "CREATE TABLE db_meta(version INTEGER); INSERT INTO db_meta VALUES (3);");
  ThingStorage storage;
  EXPECT_EQ(storage.thingCount(), 0);  // -1 would mean the table is still missing
  EXPECT_EQ(storage.initializations, 1);
}

TEST_F(SQLSerialStorageTest, AFileThatIsNotSQLiteIsReplacedByADatabaseFile) {
  std::ofstream(path()) << "this is not a database, just some text that fills the header" << std::string(5000, '!');
  ThingStorage storage;
  EXPECT_EQ(storage.thingCount(), 0);
  EXPECT_FALSE(storage.isRunningInMemory());
  EXPECT_EQ(storage.storedVersion(), 3);
}

TEST_F(SQLSerialStorageTest, AFileCutShortOrGrownBehindSQLiteIsRebuilt) {
  for (const double factor : {0.5, 1.5}) {
    {
      ThingStorage storage;
      storage.addThings(2000);
    }
    const auto size = std::filesystem::file_size(path());
    ASSERT_GT(size, 8192u);
    std::filesystem::resize_file(path(), static_cast<std::uintmax_t>(static_cast<double>(size) * factor) / 4096 * 4096);
    ThingStorage storage;
    EXPECT_EQ(storage.thingCount(), 0) << factor;
    EXPECT_EQ(storage.initializations, 1) << factor;
    EXPECT_FALSE(storage.isRunningInMemory());
  }
}

// Opening does not read the whole file; a damaged page is found when read,
// and the store then starts over on a new file.
TEST_F(SQLSerialStorageTest, APageDamagedInsideTheFileIsFoundWhenReadAndTheFileRebuilt) {
  {
    ThingStorage storage;
    storage.addThings(2000);
  }
  const auto size = std::filesystem::file_size(path());
  ASSERT_GT(size, 4u * 4096u);
  {
    std::fstream file(path(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(size / 4096 / 2 * 4096));
    file << std::string(4096, '\xff');
  }
  ThingStorage storage;
  EXPECT_EQ(storage.storedVersion(), 3);
  EXPECT_EQ(storage.initializations, 0);
  EXPECT_EQ(storage.thingCount(), -1);
  EXPECT_EQ(storage.thingCount(), 0);
  EXPECT_EQ(storage.initializations, 1);
  storage.addThing(7);
  EXPECT_EQ(storage.thingCount(), 1);
  EXPECT_FALSE(storage.isRunningInMemory());
}

// Another process (the application beside `kdisk`) committing while the store
// opens: the open waits for it instead of taking the locked file for a broken one.
TEST_F(SQLSerialStorageTest, AFileLockedByAnotherConnectionIsWaitedForNotRebuilt) {
  {
    ThingStorage storage;
    storage.addThings(20);
  }
  auto holder = Database::open(path());
  ASSERT_TRUE(holder.hasValue());
  ASSERT_TRUE(holder.value()->executeStatements("BEGIN EXCLUSIVE"));
  int waits = 0;
  Database::setBusyHookForTesting([&] {
    if (++waits == 1) holder.value()->commit();
    return true;
  });
  ThingStorage storage;
  EXPECT_EQ(storage.thingCount(), 20);
  Database::setBusyHookForTesting(nullptr);
  EXPECT_EQ(waits, 1);
  EXPECT_EQ(storage.initializations, 0);
}

// A lock held past the wait still says nothing about the file's health: it is
// left as it is (with its upload queue) and read again by the next start.
TEST_F(SQLSerialStorageTest, AFileLockedPastTheWaitIsLeftWholeAndUsedNextTime) {
  {
    ThingStorage storage;
    storage.addThings(20);
  }
  auto holder = Database::open(path());
  ASSERT_TRUE(holder.hasValue());
  ASSERT_TRUE(holder.value()->executeStatements("BEGIN EXCLUSIVE"));
  Database::setBusyHookForTesting([] { return false; });
  {
    ThingStorage storage;
    EXPECT_TRUE(storage.isRunningInMemory());
  }
  Database::setBusyHookForTesting(nullptr);
  ASSERT_TRUE(holder.value()->commit());
  ThingStorage storage;
  EXPECT_FALSE(storage.isRunningInMemory());
  EXPECT_EQ(storage.thingCount(), 20);
}

TEST_F(SQLSerialStorageTest, AnEmptyFileIsRebuilt) {
  std::ofstream(path()).close();
  ThingStorage storage;
  EXPECT_EQ(storage.thingCount(), 0);
  EXPECT_EQ(storage.storedVersion(), 3);
}

TEST_F(SQLSerialStorageTest, ClearDeletesTheFileAndTwiceInARowIsFine) {
  ThingStorage storage;
  storage.addThing(1);
  storage.clear();
  EXPECT_FALSE(kdisk::paths::fileExists(path()));
  storage.clear();
  EXPECT_FALSE(kdisk::paths::fileExists(path()));
  EXPECT_EQ(storage.thingCount(), 0);
  EXPECT_EQ(storage.storedVersion(), 3);
}

TEST_F(SQLSerialStorageTest, WhenTheFileCannotBeOpenedTheStoreRunsInMemory) {
  // The library directory lies below a regular file: nothing can be created there.
  const std::string blocker = home.path() + "/blocker";
  std::ofstream(blocker) << "x";
  ::setenv("KDISK_DATA_DIR", (blocker + "/data").c_str(), 1);
  {
    ThingStorage storage;
    storage.addThing(1);
    storage.addThing(2);
    EXPECT_TRUE(storage.isRunningInMemory());
    EXPECT_EQ(storage.thingCount(), 2);
    EXPECT_EQ(storage.storedVersion(), 3);
  }
  ::unsetenv("KDISK_DATA_DIR");
}

TEST_F(SQLSerialStorageTest, AStorageCallFromInsideStorageWorkRunsInline) {
  ThingStorage storage;
  std::int64_t inner = -1;
  storage.performBlockInStorageQueue([&] {
    EXPECT_TRUE(storage.storageQueue()->isCurrent());
    storage.addThing(5);
    storage.performBlockInStorageQueue([&] { inner = storage.thingCount(); });
  });
  EXPECT_EQ(inner, 1);
}

TEST_F(SQLSerialStorageTest, CallsFromManyThreadsAreSerialised) {
  ThingStorage storage;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) storage.addThing(i);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(storage.thingCount(), 200);
}

}  // namespace
