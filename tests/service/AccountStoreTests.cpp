#include "service/AccountStore.h"
#include "service/FaultInjector.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

using namespace kdisk::service;

class AccountStoreTest : public testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "kdisk-store-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(pattern.data()));
    m_folder = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_folder); }
  std::unique_ptr<AccountStore> open() {
    std::string error;
    auto store = AccountStore::open(m_folder / "service.sqlite", error);
    EXPECT_TRUE(store) << error;
    return store;
  }
  std::filesystem::path m_folder;
};

TEST_F(AccountStoreTest, TheSixthWrongAttemptWithinAnHourIsBlocked) {
  auto store = open();
  store->setAccount("alice", "right");
  std::optional<Account> account;
  auto start = AccountStore::Clock::now();
  store->setNowForTesting(start);
  for (int attempt = 1; attempt <= 5; ++attempt)
    EXPECT_EQ(store->signIn("alice", "wrong", account), AccountStore::SignInResult::WrongCredentials)
        << attempt;
  EXPECT_EQ(store->signIn("alice", "wrong", account), AccountStore::SignInResult::Blocked);
  EXPECT_EQ(store->signIn("alice", "right", account), AccountStore::SignInResult::Blocked);
  store->setNowForTesting(start + std::chrono::minutes(61));
  EXPECT_EQ(store->signIn("alice", "right", account), AccountStore::SignInResult::Success);
  ASSERT_TRUE(account);
  EXPECT_EQ(account->login, "alice");
}

TEST_F(AccountStoreTest, TokensAndDevicesSurviveReopening) {
  std::string token;
  DeviceRecord device;
  {
    auto store = open();
    auto account = store->setAccount("bob", "pw");
    ASSERT_TRUE(account);
    token = store->issueToken(*account, std::chrono::hours(1));
    device = store->deviceFor("udid-1", "");
  }
  auto store = open();
  auto owner = store->accountForToken(token);
  ASSERT_TRUE(owner);
  EXPECT_EQ(owner->login, "bob");
  EXPECT_EQ(store->deviceFor("udid-1", "").uuid, device.uuid);
  EXPECT_NE(store->deviceFor("udid-2", "").uuid, device.uuid);
}

TEST_F(AccountStoreTest, RevokedAndExpiredTokensOpenNothing) {
  auto store = open();
  auto account = store->setAccount("carol", "pw");
  auto token = store->issueToken(*account, std::chrono::hours(1));
  auto expired = store->issueToken(*account, std::chrono::seconds(-1));
  EXPECT_FALSE(store->accountForToken(expired));
  EXPECT_TRUE(store->revokeToken(token));
  EXPECT_FALSE(store->accountForToken(token));
  EXPECT_FALSE(store->accountForToken(""));
}

TEST_F(AccountStoreTest, AFileKeepsItsPublicLinkUntilItsFolderGoes) {
  auto store = open();
  auto account = store->setAccount("dave", "pw");
  auto first = store->publicationToken(*account, "/Docs/a.txt");
  EXPECT_EQ(store->publicationToken(*account, "/Docs/a.txt"), first);
  EXPECT_NE(store->publicationToken(*account, "/Docs/b.txt"), first);
  store->forgetPublicationsUnder(*account, "/Doc");
  EXPECT_TRUE(store->publication(first));
  store->forgetPublicationsUnder(*account, "/Docs");
  EXPECT_FALSE(store->publication(first));
}

TEST_F(AccountStoreTest, LoginsAreLimitedToASafeAlphabet) {
  auto store = open();
  EXPECT_FALSE(store->createAccount("../root", "pw"));
  EXPECT_FALSE(store->createAccount("", "pw"));
  EXPECT_TRUE(store->createAccount("e.v-e_1", "pw"));
  EXPECT_FALSE(store->createAccount("e.v-e_1", "other"));
}

TEST(FaultInjector, AStatusRuleFiresForItsCountThenGoes) {
  FaultInjector faults;
  std::string error;
  auto rule = FaultInjector::ruleFromJson(
      nlohmann::json{{"action", "status"}, {"method", "PUT"}, {"path", "/disk/*"}, {"status", 503},
                     {"count", 2}},
      error);
  ASSERT_TRUE(rule) << error;
  faults.add(*rule);
  EXPECT_FALSE(faults.planFor("GET", "/disk/a").fault);
  EXPECT_TRUE(faults.planFor("PUT", "/disk/a").fault);
  EXPECT_EQ(faults.planFor("PUT", "/disk/b").fault->status, 503u);
  EXPECT_FALSE(faults.planFor("PUT", "/disk/c").fault);
}

TEST(FaultInjector, LatencyAddsUpAndNeverConsumesTheFaultSlot) {
  FaultInjector faults;
  std::string error;
  faults.add(*FaultInjector::ruleFromJson({{"action", "latency"}, {"ms", 30}}, error));
  faults.add(*FaultInjector::ruleFromJson({{"action", "latency"}, {"ms", 20}}, error));
  faults.add(*FaultInjector::ruleFromJson({{"action", "cut-response"}, {"bytes", 10}}, error));
  auto plan = faults.planFor("GET", "/x");
  EXPECT_EQ(plan.latency, std::chrono::milliseconds(50));
  ASSERT_TRUE(plan.fault);
  EXPECT_EQ(plan.fault->action, FaultInjector::Action::CutResponse);
}

TEST(FaultInjector, RefusesRulesItCannotApply) {
  std::string error;
  EXPECT_FALSE(FaultInjector::ruleFromJson({{"action", "explode"}}, error));
  EXPECT_FALSE(FaultInjector::ruleFromJson({{"action", "status"}, {"status", 99}}, error));
  EXPECT_FALSE(FaultInjector::ruleFromJson({{"action", "cut-request"}, {"bytes", -1}}, error));
  EXPECT_FALSE(FaultInjector::ruleFromJson(nlohmann::json::array(), error));
}
