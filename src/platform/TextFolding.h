#pragma once
// Text compared the way a "CONTAINS[cd]" search compares it: case and
// diacritics both dropped. Safe from any thread.
#include <string>
#include <string_view>

namespace kdisk {

std::string foldedForSearch(std::string_view text);
// `text` holds `part` once both are folded; an empty part is in every text.
bool containsFolded(std::string_view text, std::string_view part);

}  // namespace kdisk
