#include <gtest/gtest.h>

#include "platform/StringFormat.h"

namespace kdisk {
namespace {

TEST(StringFormatTest, TranslationsMayReorderArgumentsAndMissingOnesAreLeftOut) {
  EXPECT_EQ(KMStringWithFormat("%@ of %@", {"1 KB", "2 KB"}), "1 KB of 2 KB");
  EXPECT_EQ(KMStringWithFormat("%2$@ — %1$@ (100%%)", {"a", "b"}), "b — a (100%)");
  EXPECT_EQ(KMStringWithFormat("%@ %@ %3$@ %d %", {"x"}), "x   %d %");
}

}  // namespace
}  // namespace kdisk
