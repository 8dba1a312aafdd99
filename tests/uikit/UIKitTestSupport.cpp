#include "UIKitTestSupport.h"

#include "platform/RunLoop.h"
#include "uikit/UIApplication.h"
#include "uikit/UIResponder.h"

namespace kdisk::test {

UIKitTest::UIKitTest() {
  UIApplication::sharedApplication().resetForTesting();
  m_host = std::make_unique<KMHeadlessHost>(1.0);
}

UIKitTest::~UIKitTest() {
  if (auto* first = UIResponder::currentFirstResponder()) first->resignFirstResponder();
  m_host.reset();
  // Let animations that outlived their test run out, on the virtual clock.
  RunLoop::main().advance(5);
  UIApplication::sharedApplication().resetForTesting();
}

}  // namespace kdisk::test
