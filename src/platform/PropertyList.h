#pragma once
// Property lists as values: XML or binary in, XML out (dates keep whole seconds). A damaged
// document gives an error value, never a crash. Property lists have no null and no error: such
// values are left out of what is written. Stateless; safe from any thread.

#include <string>
#include <string_view>

#include "platform/Expected.h"
#include "platform/Value.h"

namespace kdisk {

inline constexpr const char* kKMPropertyListErrorDomain = "KMPropertyListErrorDomain";

class PropertyList {
 public:
  enum ErrorCode { DamagedDocument = 1, NotADictionary = 2 };

  static Expected<Value> parse(std::string_view data);
  static Expected<Value> readFile(const std::string& path);
  // Like readFile, but the top level must be a dictionary.
  static Expected<Dictionary> readDictionaryFile(const std::string& path);

  static std::string toXML(const Value& value);
  static Status writeFileAtomically(const std::string& path, const Value& value, int mode = 0600);
};

}  // namespace kdisk
