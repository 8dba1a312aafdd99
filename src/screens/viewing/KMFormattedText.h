#pragma once
// Fills the "%@" placeholders of a localised format text in order; missing
// arguments leave their placeholder empty, extra ones are ignored, and
// arguments are never read as formats themselves.
#include <string>
#include <string_view>
#include <vector>

namespace kdisk {

std::string KMFormattedText(std::string_view format, const std::vector<std::string>& arguments);

}  // namespace kdisk
