#pragma once
// Dates as a person reads them in a list: the long date and the short time of
// the application language, in local time ("December 8, 2026 2:25 PM",
// "8 декабря 2026 г., 14:25"). Immutable once made; safe from any thread.
#include <string>

#include "platform/Value.h"

namespace kdisk {

class KMUserVisibleDateFormatter {
 public:
  // "en", "ru"; any other language gets the English form.
  explicit KMUserVisibleDateFormatter(std::string language);
  std::string stringFromDate(Date date) const;
  const std::string& language() const { return m_language; }

 private:
  std::string m_language;
};

}  // namespace kdisk
