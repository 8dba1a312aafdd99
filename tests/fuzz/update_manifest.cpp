// The update manifest: a build number with a URL that parses, or an error.
#include "FuzzSupport.h"
#include "updater/KLUpdateOperation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  KLUpdateOperation operation("release", "kalumo-disk", 100, 10);
  operation.handleAnswer(std::string(kdisk::fuzz::text(data, size)));
  if (operation.lastError()) {
    KDISK_FUZZ_CHECK(operation.lastError()->code == kKLUpdateOperationBadAnswer && !operation.url());
    return 0;
  }
  KDISK_FUZZ_CHECK(operation.url() && kdisk::URL::fromString(operation.url()->absoluteString()));
  return 0;
}
