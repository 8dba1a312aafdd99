#pragma once
// The application's version texts, from the bundle's Info.plist, usable before
// any application object exists. Safe from any thread.
//   appVersionString   "CFBundleShortVersionString" 120 → "1.20"
//   buildNumberString  "CFBundleVersion" 345 → "0345" (modulo 10000)
//   fullVersionString  "1.20.0345"

#include <string>
#include <string_view>

#include "platform/Bundle.h"

namespace kdisk {

std::string appVersionString(const Bundle& bundle = Bundle::mainBundle());
std::string buildNumberString(const Bundle& bundle = Bundle::mainBundle());
std::string fullVersionString(const Bundle& bundle = Bundle::mainBundle());

// The integer a text starts with, read as C's atoi does: leading blanks, a sign,
// digits up to the first other character; 0 when there are none.
long long KLLeadingIntegerValue(std::string_view text);

}  // namespace kdisk
