#pragma once
// Filling a localised format text with texts: "%@" takes the next argument,
// "%1$@", "%2$@"… a given one (translations may reorder), "%%" is a percent
// sign. A placeholder without an argument is left out; anything else is
// copied as it is. Safe from any thread.
#include <initializer_list>
#include <string>
#include <string_view>

namespace kdisk {

std::string KMStringWithFormat(std::string_view format, std::initializer_list<std::string_view> arguments);

}  // namespace kdisk
