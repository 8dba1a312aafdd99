#pragma once
// A font: family, weight and size in points. A value; Pango resolves it when
// text is measured or drawn, substituting a near family when one is missing.

#include <string>
#include <string_view>

#include "graphics/CGGeometry.h"

namespace kdisk {

enum class KMFontWeight { Regular, Bold };

class UIFont {
public:
  // The family every screen uses.
  static constexpr std::string_view kSystemFamily = "DejaVu Sans";

  static UIFont systemFontOfSize(CGFloat size);
  static UIFont boldSystemFontOfSize(CGFloat size);
  // A PostScript-style name, "Family-Style" ("DejaVuSans-Bold",
  // "Helvetica-Bold") or a plain family ("DejaVu Sans").
  static UIFont fontWithNameSize(std::string_view fontName, CGFloat size);

  UIFont fontWithSize(CGFloat size) const;

  const std::string& familyName() const { return m_family; }
  std::string fontName() const;
  CGFloat pointSize() const { return m_size; }
  KMFontWeight weight() const { return m_weight; }
  bool isBold() const { return m_weight == KMFontWeight::Bold; }

  // From the resolved font's metrics, in points.
  CGFloat ascender() const;
  CGFloat descender() const; // negative, below the baseline
  CGFloat lineHeight() const;

  // "Family Bold 16px", the form Pango parses.
  std::string pangoDescription() const;

  bool operator==(const UIFont&) const = default;

private:
  UIFont(std::string family, KMFontWeight weight, CGFloat size);

  std::string m_family;
  KMFontWeight m_weight = KMFontWeight::Regular;
  CGFloat m_size = 12;
};

} // namespace kdisk
