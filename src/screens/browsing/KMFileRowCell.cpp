#include "screens/browsing/KMFileRowCell.h"

#include "graphics/NSStringDrawing.h"
#include "uikit/UILabel.h"

namespace kdisk {

KMFileRowCell::KMFileRowCell(std::optional<std::string> reuseIdentifier)
    : KMGroupEditCell(UITableViewCellStyle::Subtitle, std::move(reuseIdentifier)) {}

void KMFileRowCell::setSizeTextAndDate(std::string sizeText, std::optional<Date> date,
                                       const KMUserVisibleDateFormatter& formatter) {
  m_sizeText = std::move(sizeText);
  m_date = date;
  m_formatter = &formatter;
  m_fittedWidth = -1;
  // The long form until layout knows the width; never empty, so the row keeps two lines.
  if (auto* detail = detailTextLabel())
    detail->setText(m_date ? m_sizeText + "  " + formatter.stringFromDate(*m_date) : m_sizeText);
  setNeedsLayout();
}

void KMFileRowCell::layoutSubviews() {
  KMGroupEditCell::layoutSubviews();
  fitDetailText();
}

void KMFileRowCell::fitDetailText() {
  UILabel* detail = detailTextLabel();
  if (!detail || !m_date || !m_formatter) return;
  const CGFloat width = detail->frame().size.width;
  if (width <= 0 || width == m_fittedWidth) return;
  m_fittedWidth = width;
  std::string text;
  for (KMDateStyle style : {KMDateStyle::Long, KMDateStyle::Medium, KMDateStyle::Short}) {
    text = m_sizeText + "  " + m_formatter->stringFromDate(*m_date, style);
    if (sizeWithFont(text, detail->font()).width <= width) break;
  }
  detail->setText(text);
}

}  // namespace kdisk
