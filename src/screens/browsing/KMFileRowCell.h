#pragma once
// The folder screen's file row: the name over "size  date". The date takes
// the longest of the long, medium and numeric styles that lets the whole
// line fit the row as laid out (narrower in group edit), so size and date
// always show. Main thread.
#include <optional>
#include <string>

#include "screens/browsing/KMGroupEditCell.h"
#include "screens/browsing/KMUserVisibleDateFormatter.h"

namespace kdisk {

class KMFileRowCell : public KMGroupEditCell {
 public:
  explicit KMFileRowCell(std::optional<std::string> reuseIdentifier);

  // Kept by reference: the screen's formatter lives for the process.
  void setSizeTextAndDate(std::string sizeText, std::optional<Date> date, const KMUserVisibleDateFormatter& formatter);
  void layoutSubviews() override;

 private:
  void fitDetailText();

  std::string m_sizeText;
  std::optional<Date> m_date;
  const KMUserVisibleDateFormatter* m_formatter = nullptr;
  // The width the detail text was last chosen for; -1 when it must be chosen again.
  CGFloat m_fittedWidth = -1;
};

}  // namespace kdisk
