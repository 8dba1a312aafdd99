#include "screens/viewing/KMFormattedText.h"

namespace kdisk {

std::string KMFormattedText(std::string_view format, const std::vector<std::string>& arguments) {
  std::string result;
  std::size_t next = 0;
  for (std::size_t index = 0; index < format.size(); ++index) {
    if (format[index] == '%' && index + 1 < format.size() && format[index + 1] == '@') {
      if (next < arguments.size()) result += arguments[next];
      ++next;
      ++index;
    } else if (format[index] == '%' && index + 1 < format.size() && format[index + 1] == '%') {
      result += '%';
      ++index;
    } else {
      result += format[index];
    }
  }
  return result;
}

}  // namespace kdisk
