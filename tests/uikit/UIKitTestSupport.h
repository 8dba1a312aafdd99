#pragma once
// Shared set-up of the toolkit tests: a virtual clock, a fresh application
// and a headless host at scale 1.
#include <gmock/gmock.h>

#include <memory>

#include "support/TemporaryDirectory.h"
#include "uikit/KMHeadlessHost.h"

namespace kdisk::test {

class UIKitTest : public ::testing::Test {
 protected:
  UIKitTest();
  ~UIKitTest() override;
  VirtualClock m_clock;
  std::unique_ptr<KMHeadlessHost> m_host;
};

}  // namespace kdisk::test
