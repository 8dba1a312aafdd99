#include "graphics/UIFont.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <sstream>
#include <vector>

#include "graphics/TextLayout.h"
#include "platform/GLibOwners.h"

namespace kdisk {
namespace {

// Sizes below a point or beyond reason are clamped rather than refused.
CGFloat saneSize(CGFloat size) {
  if (!std::isfinite(size))
    return 12;
  return std::clamp<CGFloat>(size, 1, 1000);
}

std::string compacted(std::string_view name) {
  std::string compact;
  for (char character : name) {
    if (character != ' ')
      compact += char(std::tolower(static_cast<unsigned char>(character)));
  }
  return compact;
}

// The installed family whose name without spaces is `compact` ("DejaVuSans"
// gives "DejaVu Sans"); the name itself when none is.
std::string installedFamily(std::string_view compact) {
  static const std::vector<std::string> families = [] {
    std::vector<std::string> names;
    glib::Object<PangoFontMap> fontMap(pango_cairo_font_map_new());
    PangoFontFamily** list = nullptr;
    int count = 0;
    pango_font_map_list_families(fontMap.get(), &list, &count);
    std::unique_ptr<PangoFontFamily*, glib::FreeDeleter> owned(list);
    for (int index = 0; index < count; ++index) {
      names.emplace_back(pango_font_family_get_name(list[index]));
    }
    return names;
  }();
  const std::string wanted = compacted(compact);
  for (const std::string& family : families) {
    if (compacted(family) == wanted)
      return family;
  }
  return std::string(compact);
}

} // namespace

UIFont::UIFont(std::string family, KMFontWeight weight, CGFloat size)
    : m_family(std::move(family)), m_weight(weight), m_size(saneSize(size)) {}

UIFont UIFont::systemFontOfSize(CGFloat size) {
  return UIFont(std::string(kSystemFamily), KMFontWeight::Regular, size);
}

UIFont UIFont::boldSystemFontOfSize(CGFloat size) {
  return UIFont(std::string(kSystemFamily), KMFontWeight::Bold, size);
}

UIFont UIFont::fontWithNameSize(std::string_view fontName, CGFloat size) {
  if (fontName.empty())
    return systemFontOfSize(size);
  const std::size_t dash = fontName.find('-');
  if (dash == std::string_view::npos) {
    return UIFont(installedFamily(fontName), KMFontWeight::Regular, size);
  }
  const std::string_view style = fontName.substr(dash + 1);
  const bool bold = style.find("Bold") != std::string_view::npos ||
                    style.find("Heavy") != std::string_view::npos ||
                    style.find("Black") != std::string_view::npos;
  return UIFont(installedFamily(fontName.substr(0, dash)),
                bold ? KMFontWeight::Bold : KMFontWeight::Regular, size);
}

UIFont UIFont::fontWithSize(CGFloat size) const {
  return UIFont(m_family, m_weight, size);
}

std::string UIFont::fontName() const {
  std::string compact;
  for (char character : m_family) {
    if (character != ' ')
      compact += character;
  }
  return isBold() ? compact + "-Bold" : compact;
}

std::string UIFont::pangoDescription() const {
  std::ostringstream description;
  description << m_family << (isBold() ? " Bold " : " ") << m_size << "px";
  return description.str();
}

CGFloat UIFont::ascender() const {
  return TextLayout::fontMetrics(*this).ascender;
}
CGFloat UIFont::descender() const {
  return -TextLayout::fontMetrics(*this).descender;
}
CGFloat UIFont::lineHeight() const {
  return TextLayout::fontMetrics(*this).lineHeight;
}

} // namespace kdisk
