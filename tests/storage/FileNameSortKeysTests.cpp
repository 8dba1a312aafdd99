#include <clocale>
#include <string>
#include <vector>

#include <glib.h>
#include <gtest/gtest.h>

#include "storage/FileNameSortKeys.h"

namespace {

std::string referenceKey(const std::string& name) {
  gchar* folded = g_utf8_casefold(name.c_str(), static_cast<gssize>(name.size()));
  gchar* key = g_utf8_collate_key_for_filename(folded, -1);
  std::string result = key;
  g_free(key);
  g_free(folded);
  return result;
}

std::string utf8(gunichar character) {
  char bytes[8] = {};
  return std::string(bytes, static_cast<std::size_t>(g_unichar_to_utf8(character, bytes)));
}

// The remembered runs must give glib's own key byte for byte, whatever the
// collation locale: numbers, leading zeros, dots, and every character whose
// folding changes its length or lands in ASCII.
TEST(FileNameSortKeysTests, KeysAreGlibsFileNameKeysOfTheFoldedName) {
  std::vector<std::string> names = {"", ".", "...", "0", "00", "007", "a00", "a0b", "file00.txt", "file0",
                                    "IMG_0001.JPG", "img_0001.jpg", "Report 2.10.pdf", "b10.txt", "B2.txt",
                                    "12345678901234567890x", ".hidden", "trailing.", "Файл номер 17 с пробелами.txt",
                                    "ФАЙЛ номер 017 С пробелами.TXT", "Straße", "STRASSE", "ǅungla", "ΣΊΣΥΦΟΣ 3",
                                    "İstanbul 5", "\u212Aelvin", "ｆｕｌｌ１２", "٣ arabic-indic", "mixed 1a2b3c",
                                    std::string("nul\0 inside 1", 14), "broken \xE2" "1.txt", "\xFF\xFE 2"};
  for (gunichar character = 1; character < 0x30000; character += character < 0x3000 ? 1 : 13) {
    if (!g_unichar_validate(character)) continue;
    names.push_back(utf8(character) + "1." + utf8(character) + "02" + utf8(character));
  }
  const std::string saved = std::setlocale(LC_COLLATE, nullptr);
  for (const char* locale : {"C", "C.UTF-8"}) {
    if (!std::setlocale(LC_COLLATE, locale)) continue;
    kdisk::storage::FileNameSortKeys keys;
    // Twice: the second pass reads every run from what was remembered.
    for (int pass = 0; pass < 2; ++pass) {
      for (const auto& name : names) EXPECT_EQ(keys.keyForName(name), referenceKey(name)) << locale << " " << name;
    }
  }
  std::setlocale(LC_COLLATE, saved.c_str());
}

}  // namespace
