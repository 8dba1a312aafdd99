#include "storage/SQLDatabase.h"

#include <gmock/gmock.h>

#include <fstream>

#include "support/TemporaryDirectory.h"

using kdisk::Bytes;
using kdisk::Date;
using kdisk::Null;
using kdisk::Value;
using kdisk::sql::Database;
using kdisk::sql::Transaction;

namespace {

class SQLDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto opened = Database::open(directory.file("test.sqlite"));
    ASSERT_TRUE(opened.hasValue());
    database = std::move(opened.value());
    ASSERT_TRUE(database->executeUpdate("CREATE TABLE t(a, b)"));
  }
  std::int64_t count() {
    auto cursor = database->executeQuery("SELECT count(*) AS n FROM t");
    return cursor.next() ? cursor.longLongIntForColumn("n") : -1;
  }
  kdisk::test::TemporaryDirectory directory;
  std::unique_ptr<Database> database;
};

TEST_F(SQLDatabaseTest, BindsEveryKindOfArgumentByTheBindingRules) {
  ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", Null{}, true));
  ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", 7, std::int64_t{1} << 40));
  ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", Date{1.5}, "текст"));
  ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", Bytes{1, 0, 2}, false));
  auto cursor = database->executeQuery("SELECT a, b, typeof(a) AS ta, typeof(b) AS tb FROM t ORDER BY rowid");
  ASSERT_TRUE(cursor.next());
  EXPECT_TRUE(cursor.columnIsNull("a"));
  EXPECT_EQ(cursor.stringForColumn("ta"), "null");
  EXPECT_EQ(cursor.stringForColumn("tb"), "integer");
  EXPECT_TRUE(cursor.boolForColumn("b"));
  ASSERT_TRUE(cursor.next());
  EXPECT_EQ(cursor.longLongIntForColumn("a"), 7);
  EXPECT_EQ(cursor.longLongIntForColumn("B"), std::int64_t{1} << 40);  // names ignore case
  ASSERT_TRUE(cursor.next());
  EXPECT_EQ(cursor.stringForColumn("ta"), "real");
  EXPECT_EQ(cursor.dateForColumn("a"), Date{1.5});
  EXPECT_EQ(cursor.stringForColumn("b"), "текст");
  ASSERT_TRUE(cursor.next());
  EXPECT_EQ(cursor.stringForColumn("ta"), "blob");
  EXPECT_FALSE(cursor.boolForColumn("b"));
  EXPECT_FALSE(cursor.next());
  EXPECT_FALSE(cursor.failed());
}

TEST_F(SQLDatabaseTest, ReadsNoDateFromNullAndSecondsFromAnInteger) {
  ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", Null{}, 86400));
  auto cursor = database->executeQuery("SELECT a, b FROM t");
  ASSERT_TRUE(cursor.next());
  EXPECT_EQ(cursor.dateForColumn("a"), std::nullopt);
  EXPECT_EQ(cursor.dateForColumn("b"), Date{86400});
  EXPECT_EQ(cursor.stringForColumn("missing"), std::nullopt);
}

TEST_F(SQLDatabaseTest, QuotesInBoundTextAreData) {
  ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", "it's'); DROP TABLE t;--", 1));
  auto cursor = database->executeQueryWith("SELECT b FROM t WHERE a=?", "it's'); DROP TABLE t;--");
  ASSERT_TRUE(cursor.next());
  EXPECT_EQ(cursor.longLongIntForColumn("b"), 1);
}

TEST_F(SQLDatabaseTest, AFailedStatementReportsFailureAndAFailedQueryIsEmpty) {
  EXPECT_FALSE(database->executeUpdate("INSERT INTO nowhere VALUES (1)"));
  EXPECT_FALSE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", 1));  // too few arguments
  auto cursor = database->executeQuery("SELECT x FROM nowhere");
  EXPECT_FALSE(cursor.next());
  EXPECT_TRUE(cursor.failed());
}

TEST_F(SQLDatabaseTest, TheSameQueryMayRunWhileItsCursorIsOpen) {
  ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", 1, 2));
  ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", 3, 4));
  auto outer = database->executeQuery("SELECT a FROM t ORDER BY a");
  ASSERT_TRUE(outer.next());
  auto inner = database->executeQuery("SELECT a FROM t ORDER BY a");
  ASSERT_TRUE(inner.next());
  EXPECT_EQ(inner.longLongIntForColumn("a"), 1);
  ASSERT_TRUE(outer.next());
  EXPECT_EQ(outer.longLongIntForColumn("a"), 3);
}

TEST_F(SQLDatabaseTest, ATransactionRollsBackUnlessCommitted) {
  {
    Transaction transaction(*database);
    ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", 1, 2));
  }
  EXPECT_EQ(count(), 0);
  {
    Transaction transaction(*database);
    ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", 1, 2));
    EXPECT_TRUE(transaction.commit());
  }
  EXPECT_EQ(count(), 1);
  EXPECT_FALSE(database->inTransaction());
}

TEST_F(SQLDatabaseTest, ANestedTransactionIsPartOfTheOuterOne) {
  {
    Transaction outer(*database);
    {
      Transaction inner(*database);
      ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", 1, 2));
      EXPECT_TRUE(inner.commit());
    }
    {
      Transaction abandoned(*database);
      ASSERT_TRUE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", 3, 4));
    }
    EXPECT_EQ(count(), 1);
  }
  EXPECT_EQ(count(), 0);  // the outer one was never committed
}

TEST_F(SQLDatabaseTest, AProgressHookThatRefusesInterruptsTheStatement) {
  database->setProgressHookForTesting(1, [] { return false; });
  EXPECT_FALSE(database->executeUpdateWith("INSERT INTO t VALUES (?, ?)", 1, 2));
  database->setProgressHookForTesting(0, nullptr);
  EXPECT_EQ(count(), 0);
}

TEST(SQLDatabaseOpen, AFileThatIsNotADatabaseFailsToOpen) {
  kdisk::test::TemporaryDirectory directory;
  std::ofstream(directory.file("junk.sqlite")) << std::string(4096, 'x');
  auto opened = Database::open(directory.file("junk.sqlite"));
  ASSERT_FALSE(opened.hasValue());
  EXPECT_FALSE(opened.error().localizedDescription.empty());
}

TEST(SQLDatabaseOpen, AFolderThatDoesNotExistFailsToOpen) {
  EXPECT_FALSE(Database::open("/nonexistent-folder/x/y.sqlite").hasValue());
}

}  // namespace
