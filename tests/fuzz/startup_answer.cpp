// The start-up endpoint's answer: the identifiers it names, or nothing.
#include "FuzzSupport.h"
#include "auth/KMStartupOperation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string answer(kdisk::fuzz::text(data, size));
  auto preferences = KMStartupOperation::startupPreferencesForAnswer(answer);
  if (!preferences) return 0;
  for (const auto& [key, value] : *preferences) {
    KDISK_FUZZ_CHECK(key == "UUID" || key == "DID");
    KDISK_FUZZ_CHECK(value.stringValue() != nullptr && value.stringValue()->size() <= answer.size());
  }
  return 0;
}
