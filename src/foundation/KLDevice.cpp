#include "foundation/KLDevice.h"

#include <sys/utsname.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/DesktopApplications.h"

namespace kdisk {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::vector<std::string_view> splitAtDots(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto dot = text.find('.');
    parts.push_back(text.substr(0, dot));
    if (dot == std::string_view::npos) return parts;
    text.remove_prefix(dot + 1);
  }
}

std::atomic<double>& screenScale() {
  static std::atomic<double> scale = [] {
    const char* named = std::getenv("KDISK_SCREEN_SCALE");
    const double value = named ? std::atof(named) : 0;
    return value > 0 ? value : 1.0;
  }();
  return scale;
}

}  // namespace

KLComparisonResult KLCompareNumerically(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      // Leading zeros do not make a number bigger.
      while (i < a.size() && a[i] == '0') ++i;
      while (j < b.size() && b[j] == '0') ++j;
      std::size_t endA = i, endB = j;
      while (endA < a.size() && isDigit(a[endA])) ++endA;
      while (endB < b.size() && isDigit(b[endB])) ++endB;
      const std::string_view digitsA = a.substr(i, endA - i), digitsB = b.substr(j, endB - j);
      if (digitsA.size() != digitsB.size())
        return digitsA.size() < digitsB.size() ? KLComparisonResult::OrderedAscending
                                               : KLComparisonResult::OrderedDescending;
      if (const int order = digitsA.compare(digitsB); order != 0)
        return order < 0 ? KLComparisonResult::OrderedAscending
                         : KLComparisonResult::OrderedDescending;
      i = endA;
      j = endB;
      continue;
    }
    if (a[i] != b[j])
      return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j])
                 ? KLComparisonResult::OrderedAscending
                 : KLComparisonResult::OrderedDescending;
    ++i;
    ++j;
  }
  if (i < a.size()) return KLComparisonResult::OrderedDescending;
  if (j < b.size()) return KLComparisonResult::OrderedAscending;
  return KLComparisonResult::OrderedSame;
}

std::string KLDevice::hardwarePlatform() {
  struct utsname names {};
  if (::uname(&names) != 0 || names.machine[0] == '\0') return "undetermined";
  std::string machine(names.machine);
  if (machine.size() > 32) machine.resize(32);
  return machine;
}

bool KLDevice::deviceGenerationIsOld() {
  static const bool old = [] {
    const std::string platform = hardwarePlatform();
    return platform.starts_with("iPhone1") || platform.starts_with("iPod1");
  }();
  return old;
}

KLComparisonResult KLDevice::compareVersionWithVersion(std::string_view version,
                                                       std::string_view otherVersion) {
  std::vector<std::string_view> parts = splitAtDots(version);
  std::vector<std::string_view> otherParts = splitAtDots(otherVersion);
  while (parts.size() < otherParts.size()) parts.push_back("0");
  while (otherParts.size() < parts.size()) otherParts.push_back("0");
  for (std::size_t i = 0; i < parts.size(); ++i)
    if (auto order = KLCompareNumerically(parts[i], otherParts[i]);
        order != KLComparisonResult::OrderedSame)
      return order;
  return KLComparisonResult::OrderedSame;
}

std::string KLDevice::systemName() {
  struct utsname names {};
  if (::uname(&names) != 0 || names.sysname[0] == '\0') return "Linux";
  return names.sysname;
}

std::string KLDevice::systemVersion() {
  struct utsname names {};
  if (::uname(&names) != 0) return "0";
  std::string release(names.release);
  std::size_t end = 0;
  while (end < release.size() && (isDigit(release[end]) || release[end] == '.')) ++end;
  release.resize(end);
  while (!release.empty() && release.back() == '.') release.pop_back();
  return release.empty() ? "0" : release;
}

KLComparisonResult KLDevice::compareSystemWithVersion(std::string_view version) {
  return compareVersionWithVersion(systemVersion(), version);
}

bool KLDevice::systemVersionIsNewerOrEqualTo(std::string_view version) {
  return compareSystemWithVersion(version) != KLComparisonResult::OrderedAscending;
}

bool KLDevice::canSendSMS() { return defaultApplicationForURLScheme("sms").has_value(); }

double KLDevice::mainScreenScale() { return screenScale().load(); }
void KLDevice::setMainScreenScale(double scale) { screenScale().store(scale); }
bool KLDevice::hasRetinaDisplay() { return mainScreenScale() == 2.0; }

}  // namespace kdisk
