#pragma once
// Dates as a person reads them in a list, in local time and the application
// language, with the short time: the long date ("December 8, 2026 2:25 PM",
// "8 декабря 2026 г., 14:25"), the medium one for narrower rows ("Dec 8,
// 2026, 2:25 PM", "8 дек. 2026 г., 14:25") and the numeric one for the
// narrowest ("12/8/26, 2:25 PM", "08.12.2026, 14:25"). Immutable once made;
// safe from any thread.
#include <string>

#include "platform/Value.h"

namespace kdisk {

enum class KMDateStyle { Long, Medium, Short };

class KMUserVisibleDateFormatter {
 public:
  // "en", "ru"; any other language gets the English form.
  explicit KMUserVisibleDateFormatter(std::string language);
  std::string stringFromDate(Date date, KMDateStyle style = KMDateStyle::Long) const;
  const std::string& language() const { return m_language; }

 private:
  std::string m_language;
};

}  // namespace kdisk
