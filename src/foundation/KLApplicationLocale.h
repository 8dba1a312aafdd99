#pragma once
// Language-dependent formatting: plural forms and byte-count texts. The
// application language is the user's first preferred language (from the
// environment), "ru" when none is set. All static; safe from any thread.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kdisk {

class KLApplicationLocale {
 public:
  // Decided once per process.
  static std::string applicationLanguage();
  // "ru-RU": the language and the country of the user's locale; without a
  // country, "RU" for Russian and "US" for every other language.
  static std::string localeIdentifier();
  // 0, 1 or 2: the plural form of `number` in the application language.
  static int pluralFormForNumber(std::int64_t number);
  static int pluralFormForNumberInLanguage(std::int64_t number, std::string_view language);
  static std::string localizedFileSizeStr(std::uint64_t bytes);
};

// "921 Bytes", "0.9 KB", "1.5 GB" with the units of the default string table
// ("GB", "MB", "KB", "Bytes"). One decimal, always with a point.
std::string LocalizedFileSizeStr(std::uint64_t bytes);

struct KLSizeUnits;

// The same texts for many sizes in a row (a folder's listing): the language
// and the units are looked up once, when it is made.
class KLFileSizeTexts {
 public:
  KLFileSizeTexts();
  ~KLFileSizeTexts();
  std::string text(std::uint64_t bytes) const;

 private:
  std::string m_language;
  std::shared_ptr<const KLSizeUnits> m_units;
};

}  // namespace kdisk
