#include "foundation/KLApplicationVersion.h"

#include <spdlog/fmt/fmt.h>

namespace kdisk {

long long KLLeadingIntegerValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  // Saturates instead of overflowing on absurdly long digit runs.
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value > 100000000000000000LL ? value : value * 10 + (text[i] - '0');
  return negative ? -value : value;
}

namespace {

unsigned infoInteger(const Bundle& bundle, std::string_view key) {
  return static_cast<unsigned>(
      KLLeadingIntegerValue(bundle.objectForInfoDictionaryKey(key).value_or("")));
}

}  // namespace

std::string appVersionString(const Bundle& bundle) {
  const unsigned version = infoInteger(bundle, "CFBundleShortVersionString");
  return fmt::format("{}.{}{}", version / 100, (version / 10) % 10, version % 10);
}

std::string buildNumberString(const Bundle& bundle) {
  return fmt::format("{:04}", infoInteger(bundle, "CFBundleVersion") % 10000);
}

std::string fullVersionString(const Bundle& bundle) {
  return appVersionString(bundle) + "." + buildNumberString(bundle);
}

}  // namespace kdisk
