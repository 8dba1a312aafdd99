#include "platform/PropertyList.h"

#include <sys/stat.h>

#include <cstdint>

#include <gtest/gtest.h>

#include "support/TemporaryDirectory.h"

namespace kdisk {
namespace {

TEST(PropertyListTests, XMLRoundTripKeepsEveryKindOfValue) {
  const Dictionary original{
      {"flag", Value(true)},
      {"negative", Value(-42)},
      {"big", Value(static_cast<long long>(1) << 40)},
      {"real", Value(2.5)},
      {"text", Value("Привет, <мир> & \"друзья\"")},
      {"bytes", Value(Bytes{0, 1, 2, 255})},
      {"date", Value(Date{1700000000})},  // XML keeps whole seconds
      {"list", Value(Array{Value(1), Value("two")})},
      {"nested", Value(Dictionary{{"inner", Value(false)}})},
  };
  Expected<Value> parsed = PropertyList::parse(PropertyList::toXML(Value(original)));
  ASSERT_TRUE(parsed.hasValue());
  const Dictionary* read = parsed.value().dictionaryValue();
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(read->size(), original.size());
  for (const auto& [key, value] : original) EXPECT_EQ(read->at(key), value) << key;
}

TEST(PropertyListTests, DatesBeyondWhatTheFormatHoldsAreWrittenAsTheNearestItCan) {
  const double last = 978307200.0 + INT32_MAX, first = 978307200.0 + INT32_MIN;
  for (const auto& [written, read] : {std::pair{Date{4e9}, last}, std::pair{Date{-4e9}, first}}) {
    Expected<Value> back = PropertyList::parse(PropertyList::toXML(Value(written)));
    ASSERT_TRUE(back.hasValue());
    ASSERT_TRUE(back.value().get<Date>());
    EXPECT_EQ(back.value().get<Date>()->secondsSince1970, read);
  }
}

TEST(PropertyListTests, NullValuesAreLeftOut) {
  const Dictionary original{{"kept", Value(1)}, {"dropped", Value()}};
  Expected<Value> parsed = PropertyList::parse(PropertyList::toXML(Value(original)));
  ASSERT_TRUE(parsed.hasValue());
  EXPECT_EQ(parsed.value(), Value(Dictionary{{"kept", Value(1)}}));
}

TEST(PropertyListTests, ReadsBinaryPropertyLists) {
  // bplist00 of { "a" = 1 }, made by hand: dict, key, integer, offsets, trailer.
  const unsigned char binary[] = {
      'b',  'p', 'l', 'i', 's', 't', '0', '0', 0xD1, 0x01, 0x02, 0x51, 'a', 0x10, 0x01, 0x08, 0x0B,
      0x0D, 0,   0,   0,   0,   0,   0,   1,   1,    0,    0,    0,    0,   0,    0,    0,    3,
      0,    0,   0,   0,   0,   0,   0,   0,   0,    0,    0,    0,    0,   0,    0,    0x0F};
  Expected<Value> parsed =
      PropertyList::parse(std::string_view(reinterpret_cast<const char*>(binary), sizeof binary));
  ASSERT_TRUE(parsed.hasValue());
  EXPECT_EQ(parsed.value(), Value(Dictionary{{"a", Value(1)}}));
}

TEST(PropertyListTests, DamagedDocumentsAreErrorsNotCrashes) {
  for (std::string_view damaged :
       {std::string_view("<plist><dict><key>a</key>"), std::string_view("garbage"),
        std::string_view(""), std::string_view("bplist00\x01\x02", 10)}) {
    Expected<Value> parsed = PropertyList::parse(damaged);
    EXPECT_FALSE(parsed.hasValue()) << damaged;
  }
}

// bplist00 of `levels` arrays, each holding the next one twice, then 1: a
// tree of 2^(levels+1)-1 nodes from a few bytes.
std::string doublingArrays(int levels) {
  std::string bytes = "bplist00";
  std::vector<unsigned char> offsets;
  for (int i = 0; i < levels; ++i) {
    offsets.push_back(static_cast<unsigned char>(bytes.size()));
    bytes += {'\xA2', static_cast<char>(i + 1), static_cast<char>(i + 1)};
  }
  offsets.push_back(static_cast<unsigned char>(bytes.size()));
  bytes += {'\x10', '\x01'};
  const auto table = static_cast<char>(bytes.size());
  for (unsigned char offset : offsets) bytes += static_cast<char>(offset);
  bytes += std::string(6, '\0') + "\x01\x01";
  bytes += std::string(7, '\0') + static_cast<char>(levels + 1);
  bytes += std::string(8, '\0');
  bytes += std::string(7, '\0') + table;
  return bytes;
}

// bplist00 of a dictionary of one key, `key` with its marker, to the integer 1.
std::string dictionaryWithKey(const std::string& key) {
  std::string bytes = "bplist00";
  bytes += {'\xD1', '\x01', '\x02'};
  const auto keyAt = static_cast<char>(bytes.size());
  bytes += key;
  const auto valueAt = static_cast<char>(bytes.size());
  bytes += {'\x10', '\x01'};
  const auto table = static_cast<char>(bytes.size());
  bytes += {'\x08', keyAt, valueAt};
  bytes += std::string(6, '\0') + "\x01\x01";
  bytes += std::string(7, '\0') + '\x03';
  bytes += std::string(8, '\0');
  bytes += std::string(7, '\0') + table;
  return bytes;
}

TEST(PropertyListTests, ABinaryKeyWithANulInsideIsRefusedNotAborted) {
  Expected<Value> plain = PropertyList::parse(dictionaryWithKey(std::string("\x52" "ab", 3)));
  ASSERT_TRUE(plain.hasValue());
  ASSERT_TRUE(plain.value().get<Dictionary>());
  EXPECT_EQ(plain.value().get<Dictionary>()->at("ab"), Value(1));
  // ASCII and UTF-16 keys holding a NUL: the library would stop the process.
  EXPECT_FALSE(PropertyList::parse(dictionaryWithKey(std::string("\x52" "a\0", 3))).hasValue());
  EXPECT_FALSE(PropertyList::parse(dictionaryWithKey(std::string("\x62\0a\0\0", 5))).hasValue());
}

TEST(PropertyListTests, BinaryListsThatExpandBeyondBoundsAreRefused) {
  Expected<Value> small = PropertyList::parse(doublingArrays(8));
  ASSERT_TRUE(small.hasValue());
  const Value* leaf = &small.value();
  for (int i = 0; i < 8; ++i) {
    const Array* array = leaf->get<Array>();
    ASSERT_TRUE(array && array->size() == 2);
    leaf = &array->back();
  }
  EXPECT_EQ(*leaf, Value(1));
  // 203 bytes that would unfold into 2^41 nodes.
  EXPECT_FALSE(PropertyList::parse(doublingArrays(40)).hasValue());
}

TEST(PropertyListTests, WrittenFilesAreOwnerOnly) {
  test::TemporaryDirectory folder;
  const std::string path = folder.file("out.plist");
  ASSERT_TRUE(
      PropertyList::writeFileAtomically(path, Value(Dictionary{{"k", Value("v")}})).hasValue());
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  Expected<Dictionary> read = PropertyList::readDictionaryFile(path);
  ASSERT_TRUE(read.hasValue());
  EXPECT_EQ(stringForKey(read.value(), "k"), "v");
}

TEST(PropertyListTests, ATopLevelOtherThanADictionaryIsRefusedWhereOneIsNeeded) {
  test::TemporaryDirectory folder;
  folder.write("array.plist", PropertyList::toXML(Value(Array{Value(1)})));
  EXPECT_FALSE(PropertyList::readDictionaryFile(folder.file("array.plist")).hasValue());
}

}  // namespace
}  // namespace kdisk
