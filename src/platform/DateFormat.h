#pragma once
// Dates in the forms the protocol uses.

#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace kdisk {

Date currentDate();
// "Sun, 06 Nov 1994 08:49:37 GMT"; also accepts the RFC 850 and asctime forms
// HTTP allows. Nothing for text that is none of them.
std::optional<Date> parseRFC1123(std::string_view text);
std::string formatRFC1123(Date date);
// "1994-11-06T08:49:37Z" (fraction and offset accepted when parsing).
std::optional<Date> parseISO8601(std::string_view text);
std::string formatISO8601(Date date);

}  // namespace kdisk
