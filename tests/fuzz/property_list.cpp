// The property-list reader (preferences and the bundle's resources), XML or
// binary. What it reads must write out as XML that reads back to the same.
#include "FuzzSupport.h"
#include "platform/PropertyList.h"

using kdisk::PropertyList;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto value = PropertyList::parse(kdisk::fuzz::text(data, size));
  if (!value.hasValue()) return 0;
  const std::string xml = PropertyList::toXML(value.value());
  auto again = PropertyList::parse(xml);
  KDISK_FUZZ_CHECK(again.hasValue());
  // Compared as text: a NaN is not equal to itself as a value.
  KDISK_FUZZ_CHECK(PropertyList::toXML(again.value()) == xml);
  return 0;
}
