#include "platform/StringTable.h"

#include <gtest/gtest.h>

namespace kdisk {
namespace {

TEST(StringTableTests, ReadsPairsCommentsAndEscapes) {
  Expected<StringTable> table =
      StringTable::parse("/* A block\n comment */\n"
                         "\"Plain\" = \"Простой\";\n"
                         "// a line comment\n"
                         "\"Quote\" = \"say \\\"hi\\\"\";  /* trailing */\n"
                         "\"Lines\"=\"one\\ntwo\\tthree\\\\\";\n"
                         "\"Unicode\" = \"\\U0416\\u00e9\";\n"
                         "\"Emoji\" = \"\\UD83D\\UDE00\";\n"
                         "BareKey = \"bare\";\n"
                         "\"Same\";\n");
  ASSERT_TRUE(table.hasValue()) << table.error().localizedDescription;
  EXPECT_EQ(table.value().lookup("Plain"), "Простой");
  EXPECT_EQ(table.value().lookup("Quote"), "say \"hi\"");
  EXPECT_EQ(table.value().lookup("Lines"), "one\ntwo\tthree\\");
  EXPECT_EQ(table.value().lookup("Unicode"), "Жé");
  EXPECT_EQ(table.value().lookup("Emoji"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(table.value().lookup("BareKey"), "bare");
  EXPECT_EQ(table.value().lookup("Same"), "Same");
  EXPECT_EQ(table.value().lookup("Missing"), std::nullopt);
}

TEST(StringTableTests, ReadsUTF16WithAByteOrderMark) {
  const std::string utf8 = "\"Key\" = \"Ключ\";";
  std::string utf16 = "\xFF\xFE";
  // Every character here is in the Basic Multilingual Plane.
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    std::uint32_t point = lead;
    if (lead >= 0xC0) {
      point = ((lead & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
      i += 2;
    } else {
      ++i;
    }
    utf16.push_back(static_cast<char>(point & 0xFF));
    utf16.push_back(static_cast<char>(point >> 8));
  }
  Expected<StringTable> table = StringTable::parse(utf16);
  ASSERT_TRUE(table.hasValue());
  EXPECT_EQ(table.value().lookup("Key"), "Ключ");
}

TEST(StringTableTests, DamagedTablesAreErrorsNamingTheLine) {
  Expected<StringTable> missingSemicolon = StringTable::parse("\"a\" = \"b\";\n\"c\" = \"d\"\n");
  ASSERT_FALSE(missingSemicolon.hasValue());
  EXPECT_NE(missingSemicolon.error().localizedDescription.find("line 3"), std::string::npos)
      << missingSemicolon.error().localizedDescription;
  EXPECT_FALSE(StringTable::parse("\"open = \"b\";").hasValue());
  EXPECT_FALSE(StringTable::parse("/* never closed").hasValue());
  EXPECT_FALSE(StringTable::parse("\"a\" \"b\";").hasValue());
  EXPECT_FALSE(StringTable::parse("\"bad\xFF\" = \"x\";").hasValue());
}

TEST(StringTableTests, AnEmptyTableIsSound) {
  Expected<StringTable> table = StringTable::parse("  // nothing here\n");
  ASSERT_TRUE(table.hasValue());
  EXPECT_EQ(table.value().size(), 0u);
}

}  // namespace
}  // namespace kdisk
