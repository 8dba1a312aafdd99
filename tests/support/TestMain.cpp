// The main of every test program: fixes the main thread, keeps every folder the
// program writes to inside a temporary folder, and runs the tests.
#include <gmock/gmock.h>

#include <cstdlib>

#include "platform/RunLoop.h"
#include "support/TemporaryDirectory.h"

int main(int argc, char** argv) {
  kdisk::RunLoop::main();
  ::unsetenv("KDISK_CONFIG_DIR");
  ::unsetenv("KDISK_DATA_DIR");
  ::unsetenv("KDISK_CACHE_DIR");
  kdisk::test::TemporaryDirectory home;
  ::setenv("KDISK_HOME", home.path().c_str(), 1);
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
