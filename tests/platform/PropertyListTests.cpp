#include "platform/PropertyList.h"

#include <sys/stat.h>

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
