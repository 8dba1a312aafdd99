#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kdisk::service {

// A request path decoded into segments that are safe to join to a folder: no
// empty, "." or ".." segment, no encoded "/" and no NUL or other control bytes.
// Anything else is refused here, so no handler ever sees a path that could leave
// the data folder.
class WebPath {
public:
  // Decodes a raw, percent-encoded absolute path ("/disk/My%20Files/").
  static std::optional<WebPath> parse(std::string_view rawPath);

  const std::vector<std::string>& segments() const { return m_segments; }
  bool trailingSlash() const { return m_trailingSlash; }

  // Segments after `prefix` (e.g. "disk"); nullopt when the path is not under it.
  std::optional<WebPath> below(std::string_view prefix) const;
  std::filesystem::path under(const std::filesystem::path& root) const;
  std::optional<WebPath> parent() const;
  std::string lastSegment() const { return m_segments.empty() ? "" : m_segments.back(); }
  WebPath child(std::string segment) const;

  // "/" + encoded segments, folders with a trailing "/".
  std::string href(std::string_view prefix, bool collection) const;

  bool isRoot() const { return m_segments.empty(); }
  std::string key() const; // decoded "/a/b", stable for lookups

private:
  std::vector<std::string> m_segments;
  bool m_trailingSlash = false;
};

std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace);
// Encodes all but the unreserved characters of RFC 3986.
std::string percentEncode(std::string_view text);

} // namespace kdisk::service
