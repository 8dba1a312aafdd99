#include "ServiceFixture.h"

#include <algorithm>
#include <thread>

using namespace kdisk::test;

class ServiceFaultInjection : public ServiceTest {};

TEST_F(ServiceFaultInjection, TheNextKRequestsGetTheGivenStatus) {
  ASSERT_TRUE(m_service.faults().failNext("PUT", "/disk/f.txt", 503, 2));
  EXPECT_EQ(put("/disk/f.txt", "a").status, 503);
  EXPECT_EQ(propfind("/disk/", "0").status, 207); // other methods untouched
  EXPECT_EQ(put("/disk/f.txt", "a").status, 503);
  EXPECT_EQ(put("/disk/f.txt", "a").status, 201);
}

TEST_F(ServiceFaultInjection, LatencyDelaysAnswers) {
  ASSERT_TRUE(m_service.faults().addLatency(std::chrono::milliseconds(300), "PROPFIND", "/disk/*", 1));
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(propfind("/disk/", "0").status, 207);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
}

TEST_F(ServiceFaultInjection, ACutUploadLeavesTheOldFileWhole) {
  ASSERT_EQ(put("/disk/doc.txt", "old content").status, 201);
  ASSERT_TRUE(m_service.faults().cutRequestBodyAfter("PUT", "/disk/doc.txt", 1000));
  auto reply = put("/disk/doc.txt", std::string(100000, 'n'));
  EXPECT_TRUE(reply.transportFailed());
  EXPECT_EQ(dav("GET", "/disk/doc.txt").body, "old content");
  EXPECT_TRUE(std::filesystem::is_empty(m_service.dataFolder() / "uploads"));
}

TEST_F(ServiceFaultInjection, ACutDownloadStopsAfterTheGivenBytes) {
  ASSERT_EQ(put("/disk/long.txt", std::string(100000, 'l')).status, 201);
  ASSERT_TRUE(m_service.faults().cutResponseBodyAfter("GET", "/disk/long.txt", 4096));
  auto reply = dav("GET", "/disk/long.txt");
  EXPECT_TRUE(reply.transportFailed());
  EXPECT_EQ(reply.body.size(), 4096u);
  EXPECT_EQ(dav("GET", "/disk/long.txt").body.size(), 100000u);
}

TEST_F(ServiceFaultInjection, AStallNeverAnswers) {
  ASSERT_TRUE(m_service.faults().stall("GET", "/disk/slow.txt", std::chrono::seconds(20)));
  auto call = davCall("GET", "/disk/slow.txt");
  call.timeoutMilliseconds = 500;
  auto reply = perform(call);
  EXPECT_TRUE(reply.transportFailed());
  EXPECT_EQ(reply.status, 0);
}

TEST_F(ServiceFaultInjection, ClearedFaultsNoLongerFire) {
  ASSERT_TRUE(m_service.faults().failNext("*", "*", 500, 100));
  ASSERT_TRUE(m_service.faults().clear());
  EXPECT_EQ(propfind("/disk/", "0").status, 207);
}

TEST_F(ServiceFaultInjection, WithoutTheSecretThereIsNoAdminEndpoint) {
  ServiceFaults stranger(m_service.endpoints().httpBaseURL, "wrong secret");
  EXPECT_FALSE(stranger.failNext("*", "*", 500));
  EXPECT_FALSE(stranger.revokeToken(m_token));
  EXPECT_EQ(propfind("/disk/", "0").status, 207);
}

TEST_F(ServiceFaultInjection, TheServedRequestLogShowsWhatArrived) {
  ASSERT_TRUE(m_service.faults().forgetServedRequests());
  put("/disk/logged.txt", "x");
  auto served = m_service.faults().servedRequests();
  ASSERT_EQ(served.size(), 1u);
  EXPECT_EQ(served[0].method, "PUT");
  EXPECT_EQ(served[0].target, "/disk/logged.txt");
  EXPECT_EQ(served[0].status, 201);
}

TEST_F(ServiceFaultInjection, AHeldRequestWaitsForItsReleaseOrLogsItsClientLeaving) {
  ASSERT_EQ(put("/disk/held.txt", "kept").status, 201);
  auto faults = m_service.faults();
  ASSERT_TRUE(faults.forgetServedRequests());
  auto released = faults.hold("GET", "/disk/held.txt");
  ASSERT_TRUE(released);
  std::thread client([&] { EXPECT_EQ(dav("GET", "/disk/held.txt").body, "kept"); });
  auto whileHeld = faults.servedRequestsWhenActive(1);
  ASSERT_TRUE(whileHeld);
  EXPECT_TRUE(whileHeld->empty()); // nothing answered yet
  ASSERT_TRUE(faults.release(*released));
  client.join();

  auto refused = faults.hold("GET", "/disk/held.txt", 503);
  ASSERT_TRUE(refused);
  std::thread refusedClient([&] { EXPECT_EQ(dav("GET", "/disk/held.txt").status, 503); });
  ASSERT_TRUE(faults.servedRequestsWhenActive(1));
  ASSERT_TRUE(faults.release(*refused));
  refusedClient.join();

  ASSERT_TRUE(faults.hold("GET", "/disk/held.txt"));
  auto call = davCall("GET", "/disk/held.txt");
  call.timeoutMilliseconds = 300;
  EXPECT_TRUE(perform(call).transportFailed());
  auto served = faults.servedRequestsWhenActive(0);
  ASSERT_TRUE(served);
  ASSERT_EQ(served->size(), 3u);
  EXPECT_EQ((*served)[0].status, 200);
  EXPECT_EQ((*served)[1].status, 503);
  EXPECT_EQ((*served)[2].status, 499);
}

TEST_F(ServiceFaultInjection, ARandomRuleMakesTheSameChoicesForTheSameSeed) {
  ASSERT_EQ(put("/disk/f.txt", "f").status, 201);
  auto faults = m_service.faults();
  auto statusesFor = [&](std::uint64_t seed) {
    EXPECT_TRUE(faults.clear());
    EXPECT_TRUE(faults.forgetServedRequests());
    ServiceFaults::RandomFault rule;
    rule.action = "status";
    rule.method = "GET";
    rule.path = "/disk/*";
    rule.probability = 0.3;
    rule.seed = seed;
    rule.status = 503;
    EXPECT_TRUE(faults.addRandomFault(rule));
    for (int i = 0; i < 40; ++i) dav("GET", "/disk/f.txt");
    propfind("/disk/", "0"); // another method: no draw
    std::string statuses;
    auto taken = faults.takeServedRequests();
    EXPECT_TRUE(taken);
    for (const auto& served : taken.value_or(std::vector<ServedRequest>{}))
      if (served.method == "GET") statuses += served.status == 503 ? 'x' : served.status == 200 ? '.' : '?';
    // Taking the log empties it.
    EXPECT_TRUE(faults.servedRequests().empty());
    return statuses;
  };
  // Seeds use all 64 bits.
  const auto first = statusesFor(18'000'000'000'000'000'007ull);
  ASSERT_EQ(first.size(), 40u);
  EXPECT_EQ(first.find('?'), std::string::npos);
  const auto failed = std::count(first.begin(), first.end(), 'x');
  EXPECT_GT(failed, 3);
  EXPECT_LT(failed, 25);
  EXPECT_EQ(statusesFor(18'000'000'000'000'000'007ull), first);
  EXPECT_NE(statusesFor(8), first);
}
