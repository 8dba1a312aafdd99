// The date decoders of HTTP headers and listings. Whatever date they accept
// in the years the formatter can write must come back unchanged from its
// formatted text, and the two decoders must agree where both accept.
#include <cmath>

#include "FuzzSupport.h"
#include "platform/DateFormat.h"
#include "webdav/KMRFC822DateFormatter.h"

namespace {

// 0001-01-02 to 9999-12-30: a zone offset cannot push these out of four-digit years.
constexpr double kFirst = -62135510400.0, kLast = 253402041600.0;

void checkRoundTrip(kdisk::Date date) {
  if (date.secondsSince1970 < kFirst || date.secondsSince1970 > kLast) return;
  const std::string text = kdisk::formatRFC1123(date);
  const auto again = kdisk::parseRFC1123(text);
  KDISK_FUZZ_CHECK(again && again->secondsSince1970 == std::floor(date.secondsSince1970));
  const auto byFormatter = rfc822DateFormatter().dateFromString(text);
  KDISK_FUZZ_CHECK(byFormatter && byFormatter->secondsSince1970 == std::floor(date.secondsSince1970));
  const auto iso = kdisk::parseISO8601(kdisk::formatISO8601(date));
  KDISK_FUZZ_CHECK(iso && iso->secondsSince1970 == std::floor(date.secondsSince1970));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = kdisk::fuzz::text(data, size);
  const auto header = kdisk::parseRFC1123(text);
  const auto listing = rfc822DateFormatter().dateFromString(text);
  const auto iso = kdisk::parseISO8601(text);
  if (header) checkRoundTrip(*header);
  if (listing) checkRoundTrip(*listing);
  if (iso) checkRoundTrip(*iso);
  if (header && listing) KDISK_FUZZ_CHECK(header->secondsSince1970 == listing->secondsSince1970);
  return 0;
}
