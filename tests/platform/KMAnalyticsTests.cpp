#include "platform/KMAnalytics.h"

#include <gtest/gtest.h>

namespace kdisk {
namespace {

TEST(KMAnalyticsTests, RecordsNamedEventsWithTheirParametersInOrder) {
  KMAnalytics& analytics = KMAnalytics::sharedInstance();
  analytics.clearRecordedEventsForTesting();
  analytics.logEvent(kKMMVDiskSearch);
  analytics.logEvent(kKMMVDiskShare, {{"count", Value(2)}});
  std::vector<KMAnalytics::Event> events = analytics.recordedEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].name, "kKMMVDiskSearch");
  EXPECT_EQ(events[1].name, "kKMMVDiskShare");
  EXPECT_EQ(events[1].parameters.at("count"), Value(2));
  EXPECT_EQ(&analytics, &KMAnalytics::sharedInstance());
}

}  // namespace
}  // namespace kdisk
