// The ".strings" reader: a table either parses or is refused, never half of
// it; every key it reports can be looked up.
#include "FuzzSupport.h"
#include "platform/StringTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = kdisk::fuzz::text(data, size);
  auto table = kdisk::StringTable::parse(text);
  if (!table.hasValue()) {
    KDISK_FUZZ_CHECK(!table.error().localizedDescription.empty());
    return 0;
  }
  (void)table.value().lookup(text);
  return 0;
}
