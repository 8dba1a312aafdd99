#include "platform/PropertyList.h"

#include <cmath>
#include <memory>

#include <plist/plist.h>

#include "platform/Paths.h"

namespace kdisk {
namespace {

// Dates in property lists count from 2001-01-01, ours from 1970.
constexpr double kSecondsFrom1970To2001 = 978307200.0;

struct PlistDeleter {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

Value toValue(plist_t node) {
  switch (plist_get_node_type(node)) {
  case PLIST_BOOLEAN: {
    uint8_t flag = 0;
    plist_get_bool_val(node, &flag);
    return Value(flag != 0);
  }
  case PLIST_UINT: {
    // The reader keeps negative integers as their two's-complement bits.
    uint64_t number = 0;
    plist_get_uint_val(node, &number);
    return Value(static_cast<std::int64_t>(number));
  }
  case PLIST_REAL: {
    double number = 0;
    plist_get_real_val(node, &number);
    return Value(number);
  }
  case PLIST_STRING:
  case PLIST_KEY: {
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return Value(std::string(text ? text : "", text ? length : 0));
  }
  case PLIST_DATA: {
    uint64_t length = 0;
    const char* bytes = plist_get_data_ptr(node, &length);
    const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes);
    return Value(Bytes(begin, begin + (bytes ? length : 0)));
  }
  case PLIST_DATE: {
    int32_t seconds = 0, microseconds = 0;
    plist_get_date_val(node, &seconds, &microseconds);
    return Value(Date{kSecondsFrom1970To2001 + seconds + microseconds / 1e6});
  }
  case PLIST_ARRAY: {
    Array array;
    const uint32_t count = plist_array_get_size(node);
    array.reserve(count);
    for (uint32_t i = 0; i < count; ++i) array.push_back(toValue(plist_array_get_item(node, i)));
    return Value(std::move(array));
  }
  case PLIST_DICT: {
    Dictionary dictionary;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    for (;;) {
      char* key = nullptr;
      plist_t item = nullptr;
      plist_dict_next_item(node, iterator, &key, &item);
      if (!item) {
        free(key);
        break;
      }
      dictionary.insert_or_assign(std::string(key ? key : ""), toValue(item));
      free(key);
    }
    free(iterator);
    return Value(std::move(dictionary));
  }
  case PLIST_UID: {
    uint64_t number = 0;
    plist_get_uid_val(node, &number);
    return Value(static_cast<std::int64_t>(number));
  }
  case PLIST_NONE:
    break;
  }
  return Value();
}

// Nothing for Null and errors, which property lists cannot hold.
plist_t toNode(const Value& value) {
  struct Visitor {
    plist_t operator()(const Null&) const { return nullptr; }
    // Errors travel in user info only; a property list has no form for them.
    plist_t operator()(const Value::ErrorPointer&) const { return nullptr; }
    plist_t operator()(bool flag) const { return plist_new_bool(flag ? 1 : 0); }
    plist_t operator()(std::int64_t number) const {
      return plist_new_uint(static_cast<uint64_t>(number));
    }
    plist_t operator()(double number) const { return plist_new_real(number); }
    plist_t operator()(const std::string& text) const { return plist_new_string(text.c_str()); }
    plist_t operator()(const Bytes& bytes) const {
      return plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    plist_t operator()(const Date& date) const {
      const double sinceReference = date.secondsSince1970 - kSecondsFrom1970To2001;
      const double whole = std::floor(sinceReference);
      return plist_new_date(static_cast<int32_t>(whole),
                            static_cast<int32_t>(std::lround((sinceReference - whole) * 1e6)));
    }
    plist_t operator()(const Array& array) const {
      plist_t node = plist_new_array();
      for (const Value& item : array)
        if (plist_t child = toNode(item)) plist_array_append_item(node, child);
      return node;
    }
    plist_t operator()(const Dictionary& dictionary) const {
      plist_t node = plist_new_dict();
      for (const auto& [key, item] : dictionary)
        if (plist_t child = toNode(item)) plist_dict_set_item(node, key.c_str(), child);
      return node;
    }
  };
  return std::visit(Visitor{}, value.storage());
}

}  // namespace

Expected<Value> PropertyList::parse(std::string_view data) {
  if (data.empty() || data.size() > UINT32_MAX)
    return KMError(kKMPropertyListErrorDomain, DamagedDocument,
                   "The property list is empty or too large");
  plist_t root = nullptr;
  const auto length = static_cast<uint32_t>(data.size());
  if (plist_is_binary(data.data(), length))
    plist_from_bin(data.data(), length, &root);
  else
    plist_from_xml(data.data(), length, &root);
  if (!root)
    return KMError(kKMPropertyListErrorDomain, DamagedDocument, "The property list is damaged");
  PlistPtr owner(root);
  return toValue(root);
}

Expected<Value> PropertyList::readFile(const std::string& path) {
  Expected<std::string> contents = paths::readFile(path);
  if (!contents.hasValue()) return contents.error();
  Expected<Value> value = parse(contents.value());
  if (!value.hasValue())
    return KMError(value.error().domain, value.error().code,
                   value.error().localizedDescription + ": " + path);
  return value;
}

Expected<Dictionary> PropertyList::readDictionaryFile(const std::string& path) {
  Expected<Value> value = readFile(path);
  if (!value.hasValue()) return value.error();
  if (Dictionary* dictionary = value.value().get<Dictionary>()) return std::move(*dictionary);
  return KMError(kKMPropertyListErrorDomain, NotADictionary,
                 "The property list does not hold a dictionary: " + path);
}

std::string PropertyList::toXML(const Value& value) {
  PlistPtr root(toNode(value));
  if (!root) root.reset(plist_new_dict());
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(static_cast<plist_t>(root.get()), &xml, &length);
  std::string text(xml ? xml : "", xml ? length : 0);
  plist_to_xml_free(xml);
  return text;
}

Status PropertyList::writeFileAtomically(const std::string& path, const Value& value, int mode) {
  return paths::writeFileAtomically(path, toXML(value), mode);
}

}  // namespace kdisk
