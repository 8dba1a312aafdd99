// How the upload queue names what it sends: a free name in the target folder
// (" (n)" counted on) and the date name of a photo that has none.
#include "manager/KMUploadQueue.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <set>

namespace kdisk::manager {
namespace {

// Splits "name.ext" as file browsers do: a leading dot starts no extension.
std::pair<std::string, std::string> splitExtension(const std::string& name) {
  auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {name, {}};
  return {name.substr(0, dot), name.substr(dot + 1)};
}

// " (n)" at the end of `base`: the number, or nothing.
std::optional<std::uint64_t> numberSuffix(const std::string& base, std::size_t* suffixStart) {
  if (base.size() < 4 || base.back() != ')') return std::nullopt;
  auto open = base.rfind(" (");
  if (open == std::string::npos) return std::nullopt;
  std::string_view digits(base.data() + open + 2, base.size() - open - 3);
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  // A number too large to count on from is kept as part of the name.
  if (error != std::errc() || end != digits.data() + digits.size() || value == UINT64_MAX) return std::nullopt;
  *suffixStart = open;
  return value;
}

}  // namespace

// ---- Formatter

std::string KMFileNameDateFormatter::stringFromDate(Date date) const {
  std::time_t seconds = static_cast<std::time_t>(date.secondsSince1970);
  std::tm local {};
  ::localtime_r(&seconds, &local);
  char text[64];
  std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H-%M-%S", &local);
  return std::string(text, length);
}

const KMFileNameDateFormatter& KMUploadQueue::fileNameDateFormatter() {
  static const KMFileNameDateFormatter formatter;
  return formatter;
}

// ---- Names

kdisk::URL KMUploadQueue::uniqueURLForDefaultURLInUsedURLs(const kdisk::URL& wanted,
                                                           const std::vector<kdisk::URL>& used) {
  // Compared decoded, so a name the server spells with other escapes still counts as taken.
  std::set<std::string> taken;
  for (const auto& url : used) taken.insert(percentDecode(url.absoluteString()));
  kdisk::URL candidate = wanted;
  const kdisk::URL parent = wanted.deletingLastPathComponent();
  while (taken.count(percentDecode(candidate.absoluteString()))) {
    auto [base, extension] = splitExtension(candidate.lastPathComponent());
    std::uint64_t n = 1;
    std::size_t suffixStart = 0;
    if (auto number = numberSuffix(base, &suffixStart)) {
      n = *number + 1;
      base.erase(suffixStart);
    }
    // A name without an extension gets no trailing dot: "notes (1)".
    std::string name = base + " (" + std::to_string(n) + ")";
    if (!extension.empty()) name += "." + extension;
    candidate = parent.appendingPathComponent(name);
  }
  return candidate;
}

}  // namespace kdisk::manager
