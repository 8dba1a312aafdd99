#include "platform/StringFormat.h"

#include <vector>

namespace kdisk {

std::string KMStringWithFormat(std::string_view format, std::initializer_list<std::string_view> arguments) {
  const std::vector<std::string_view> args(arguments);
  std::string result;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      result += format[i];
      continue;
    }
    if (format[i + 1] == '%') {
      result += '%';
      ++i;
    } else if (format[i + 1] == '@') {
      if (next < args.size()) result += args[next];
      ++next;
      ++i;
    } else {
      std::size_t j = i + 1;
      std::size_t position = 0;
      while (j < format.size() && format[j] >= '0' && format[j] <= '9' && position < 100)
        position = position * 10 + std::size_t(format[j++] - '0');
      if (j + 1 < format.size() && j > i + 1 && format[j] == '$' && format[j + 1] == '@') {
        if (position >= 1 && position <= args.size()) result += args[position - 1];
        i = j + 1;
      } else {
        result += format[i];
      }
    }
  }
  return result;
}

}  // namespace kdisk
