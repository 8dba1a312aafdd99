#include "platform/PropertyList.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include <plist/plist.h>

#include "platform/MallocOwner.h"
#include "platform/Paths.h"

namespace kdisk {
namespace {

// Dates in property lists count from 2001-01-01, ours from 1970.
constexpr double kSecondsFrom1970To2001 = 978307200.0;

struct PlistDeleter {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// The library copies an object once for every reference to it, so a few
// hundred bytes whose arrays point twice at the next expand to gigabytes.
// Our property lists are small: a tree of this many nodes is plenty.
constexpr std::uint64_t kMaxBinaryNodes = 250000;
constexpr std::size_t kMaxBinaryDepth = 512;

std::uint64_t bigEndian(std::string_view bytes, std::size_t at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Whether a binary property list, read as the library would read it, stays
// within the bounds above; anything it cannot follow counts as damaged.
bool binaryPlistIsBounded(std::string_view data) {
  constexpr std::size_t kHeader = 8, kTrailer = 32;
  if (data.size() < kHeader + kTrailer) return false;
  const std::size_t trailer = data.size() - kTrailer;
  const std::size_t offsetSize = static_cast<unsigned char>(data[trailer + 6]);
  const std::size_t refSize = static_cast<unsigned char>(data[trailer + 7]);
  const std::uint64_t objectCount = bigEndian(data, trailer + 8, 8);
  const std::uint64_t top = bigEndian(data, trailer + 16, 8);
  const std::uint64_t table = bigEndian(data, trailer + 24, 8);
  if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || objectCount == 0 ||
      objectCount > trailer || top >= objectCount || table > trailer ||
      objectCount * offsetSize > trailer - table) {
    return false;
  }
  // An object's marker, and the count its marker or the integer after it
  // holds with the position past them; false when its bytes do not hold.
  struct Head {
    unsigned type = 0;
    std::uint64_t count = 0;
    std::uint64_t position = 0;
  };
  auto headOf = [&](std::uint64_t object, Head& head) {
    const std::uint64_t at = bigEndian(data, table + object * offsetSize, offsetSize);
    if (at < kHeader || at >= table) return false;
    const unsigned marker = static_cast<unsigned char>(data[at]);
    head = Head{marker >> 4, marker & 0xFu, at + 1};
    const bool counted = head.type == 0x4 || head.type == 0x5 || head.type == 0x6 || head.type == 0xA ||
                         head.type == 0xC || head.type == 0xD;
    if (head.count != 0xF || !counted) return true;
    if (head.position >= table) return false;
    const unsigned sizeMarker = static_cast<unsigned char>(data[head.position]);
    if ((sizeMarker >> 4) != 0x1 || (sizeMarker & 0xF) > 3) return false;
    const std::size_t width = std::size_t{1} << (sizeMarker & 0xF);
    if (head.position + 1 + width > table) return false;
    head.count = bigEndian(data, head.position + 1, width);
    head.position += 1 + width;
    return true;
  };
  // The library aborts on a dictionary key with a NUL inside it.
  auto isUsableKey = [&](std::uint64_t object) {
    Head head;
    if (!headOf(object, head) || (head.type != 0x5 && head.type != 0x6)) return false;
    const std::uint64_t unit = head.type == 0x6 ? 2 : 1;
    if (head.count > table || head.count * unit > table - head.position) return false;
    for (std::uint64_t i = 0; i < head.count; ++i) {
      const std::uint64_t at = head.position + i * unit;
      if (data[at] == '\0' && (unit == 1 || data[at + 1] == '\0')) return false;
    }
    return true;
  };
  // The objects an object refers to, or false when its bytes do not hold.
  auto children = [&](std::uint64_t object, std::vector<std::uint64_t>& out) {
    out.clear();
    Head head;
    if (!headOf(object, head)) return false;
    if (head.type != 0xA && head.type != 0xC && head.type != 0xD) return true;
    const std::uint64_t refs = head.type == 0xD ? head.count * 2 : head.count;
    if (head.count > table || refs * refSize > table - head.position) return false;
    for (std::uint64_t i = 0; i < refs; ++i) {
      const std::uint64_t child = bigEndian(data, head.position + i * refSize, refSize);
      if (child >= objectCount) return false;
      if (head.type == 0xD && i < head.count && !isUsableKey(child)) return false;
      out.push_back(child);
    }
    return true;
  };
  // Nodes of each object's expanded tree, worked out once per object without
  // recursion; a cycle or a path too deep refuses the document.
  constexpr std::uint64_t kUnknown = 0, kOpen = UINT64_MAX;
  std::vector<std::uint64_t> nodes(objectCount, kUnknown);
  struct Frame {
    std::uint64_t object;
    std::vector<std::uint64_t> children;
    std::size_t next = 0;
    std::uint64_t total = 1;
  };
  std::vector<Frame> stack;
  std::vector<std::uint64_t> found;
  auto open = [&](std::uint64_t object) {
    if (stack.size() >= kMaxBinaryDepth || !children(object, found)) return false;
    nodes[object] = kOpen;
    stack.push_back(Frame{object, found});
    return true;
  };
  if (!open(top)) return false;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.children.size()) {
      nodes[frame.object] = frame.total;
      const std::uint64_t total = frame.total;
      stack.pop_back();
      if (stack.empty()) return total <= kMaxBinaryNodes;
      stack.back().total += total;
      if (stack.back().total > kMaxBinaryNodes) return false;
      continue;
    }
    const std::uint64_t child = frame.children[frame.next++];
    if (nodes[child] == kOpen) return false;
    if (nodes[child] != kUnknown) {
      frame.total += nodes[child];
      if (frame.total > kMaxBinaryNodes) return false;
      continue;
    }
    if (!open(child)) return false;
  }
  return true;
}

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
    const UniqueMalloced<void> ownedIterator(iterator);
    for (;;) {
      char* key = nullptr;
      plist_t item = nullptr;
      plist_dict_next_item(node, iterator, &key, &item);
      const UniqueMalloced<char> ownedKey(key);
      if (!item)
        break;
      dictionary.insert_or_assign(std::string(key ? key : ""), toValue(item));
    }
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
      // The library keeps 32-bit seconds around 2001 (1933 to 2069): a date
      // beyond, as a damaged file may hold, is written as the nearest it can.
      double sinceReference = date.secondsSince1970 - kSecondsFrom1970To2001;
      if (!std::isfinite(sinceReference)) sinceReference = 0;
      sinceReference = std::clamp(sinceReference, double(INT32_MIN), double(INT32_MAX));
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
  if (plist_is_binary(data.data(), length)) {
    if (!binaryPlistIsBounded(data))
      return KMError(kKMPropertyListErrorDomain, DamagedDocument,
                     "The property list is damaged or expands beyond its bounds");
    plist_from_bin(data.data(), length, &root);
  } else {
    plist_from_xml(data.data(), length, &root);
  }
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
