#include "service/FileFacts.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <map>

namespace kdisk::service {

namespace {
std::optional<FileFacts> factsFromStat(const struct stat& info) {
  FileFacts facts;
  if (S_ISDIR(info.st_mode)) {
    facts.collection = true;
  } else if (!S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  facts.size = static_cast<std::uint64_t>(info.st_size);
  facts.modifiedSeconds = info.st_mtim.tv_sec;
  // Every upload lands as a new inode (temporary file renamed in), so inode, size
  // and nanosecond mtime together change whenever the content does.
  char tag[96];
  std::snprintf(tag, sizeof tag, "\"%llx-%llx-%llx%09lx\"",
                static_cast<unsigned long long>(info.st_ino),
                static_cast<unsigned long long>(info.st_size),
                static_cast<unsigned long long>(info.st_mtim.tv_sec),
                static_cast<long>(info.st_mtim.tv_nsec));
  facts.etag = tag;
  return facts;
}
} // namespace

std::optional<FileFacts> factsOf(const std::filesystem::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  return factsFromStat(info);
}

std::optional<FileFacts> factsOfDescriptor(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::nullopt;
  return factsFromStat(info);
}

std::string httpDate(std::int64_t seconds) {
  std::time_t when = static_cast<std::time_t>(seconds);
  std::tm utc{};
  ::gmtime_r(&when, &utc);
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday],
                utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                utc.tm_sec);
  return text;
}

std::string contentTypeFor(const std::string& name) {
  static const std::map<std::string, std::string> types = {
      {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"},     {"png", "image/png"},
      {"gif", "image/gif"},  {"pdf", "application/pdf"}, {"txt", "text/plain; charset=utf-8"},
      {"mp3", "audio/mpeg"}, {"wav", "audio/wav"},       {"mp4", "video/mp4"},
      {"mov", "video/quicktime"}, {"zip", "application/zip"}, {"html", "text/html; charset=utf-8"},
  };
  auto dot = name.rfind('.');
  if (dot != std::string::npos) {
    std::string extension = name.substr(dot + 1);
    for (auto& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto found = types.find(extension);
    if (found != types.end()) return found->second;
  }
  return "application/octet-stream";
}

std::uint64_t bytesUsedBelow(const std::filesystem::path& root) {
  std::uint64_t total = 0;
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) total += it->file_size(ec);
  }
  return total;
}

} // namespace kdisk::service
