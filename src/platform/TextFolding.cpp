#include "platform/TextFolding.h"

#include "platform/GLibOwners.h"

namespace kdisk {

std::string foldedForSearch(std::string_view text) {
  glib::Text decomposed(g_utf8_normalize(text.data(), static_cast<gssize>(text.size()), G_NORMALIZE_NFD));
  if (!decomposed) return std::string(text);
  std::string bare;
  for (const gchar* p = decomposed.get(); *p; p = g_utf8_next_char(p)) {
    gunichar c = g_utf8_get_char(p);
    if (g_unichar_ismark(c)) continue;
    char buffer[6];
    bare.append(buffer, static_cast<std::size_t>(g_unichar_to_utf8(c, buffer)));
  }
  glib::Text lowered(g_utf8_casefold(bare.data(), static_cast<gssize>(bare.size())));
  return lowered ? std::string(lowered.get()) : bare;
}

bool containsFolded(std::string_view text, std::string_view part) {
  return foldedForSearch(text).find(foldedForSearch(part)) != std::string::npos;
}

}  // namespace kdisk
