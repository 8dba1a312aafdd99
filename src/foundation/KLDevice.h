#pragma once
// Facts about the device and the running system. All static; safe from any
// thread (values computed once are computed under a once-flag).

#include <string>
#include <string_view>

namespace kdisk {

enum class KLComparisonResult { OrderedAscending = -1, OrderedSame = 0, OrderedDescending = 1 };

class KLDevice {
 public:
  // The machine name of uname(2) ("x86_64", "aarch64"), at most 32 bytes;
  // "undetermined" when unavailable.
  static std::string hardwarePlatform();
  // Platforms whose names begin "iPhone1" or "iPod1"; decided once per process.
  static bool deviceGenerationIsOld();

  // Orders two dotted versions: missing components count as "0", and components
  // compare with digit runs taken as numbers ("1.10" is newer than "1.9").
  static KLComparisonResult compareVersionWithVersion(std::string_view version,
                                                      std::string_view otherVersion);
  // "Linux", and the kernel release up to its first character that is neither a
  // digit nor "." ("6.1.0-18-amd64" gives "6.1.0").
  static std::string systemName();
  static std::string systemVersion();
  static KLComparisonResult compareSystemWithVersion(std::string_view version);
  static bool systemVersionIsNewerOrEqualTo(std::string_view version);

  // Whether some application handles "sms:" links.
  static bool canSendSMS();

  // The main screen's scale, set by the window host (1 until then, or
  // $KDISK_SCREEN_SCALE).
  static double mainScreenScale();
  static void setMainScreenScale(double scale);
  static bool hasRetinaDisplay();
};

// Compares texts with runs of digits taken as numbers ("file9" < "file10").
KLComparisonResult KLCompareNumerically(std::string_view text, std::string_view otherText);

}  // namespace kdisk
