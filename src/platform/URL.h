#pragma once
// An absolute URL kept as the text it was made from, so percent-encoding a
// server sent survives every round trip untouched. Decoded views (path, last
// path component) are computed on demand; building operations encode what they
// add and leave the rest as it was.

#include <optional>
#include <string>
#include <string_view>

namespace kdisk {

class URL {
 public:
  URL() = default;
  // Parses an absolute URL ("scheme://host[:port]/path[?query][#fragment]" or
  // "file:///path"); nothing when the text is not one.
  static std::optional<URL> fromString(std::string_view text);
  // Resolves `reference` (absolute, "/absolute/path" or relative) against `base`.
  static std::optional<URL> fromStringRelativeTo(std::string_view reference, const URL& base);
  // fromString(origin() + reference): for a reference starting with "/" only
  // what it adds is checked, the origin being this URL's own text.
  std::optional<URL> withAbsolutePathReference(std::string_view reference) const;
  // A file URL for a local path (encoded as needed).
  static URL fileURLWithPath(std::string_view path);

  bool isValid() const { return !m_text.empty(); }
  const std::string& absoluteString() const { return m_text; }
  std::string scheme() const;  // lower-case
  std::string host() const;
  std::optional<int> port() const;
  // "scheme://host[:port]"
  std::string origin() const;
  // The path as sent, percent-encoding kept; "/" when empty.
  std::string rawPath() const;
  // The path decoded (UTF-8).
  std::string path() const;
  std::optional<std::string> query() const;
  // Decoded last component, "/" for the root; a trailing slash is ignored.
  std::string lastPathComponent() const;
  // Extension of the last component, without the dot; empty when none.
  std::string pathExtension() const;
  bool hasDirectoryPath() const;  // the path ends with "/"
  bool isFileURL() const { return scheme() == "file"; }

  // Appends one decoded component, encoded; keeps a single "/" between parts.
  // With `isDirectory` the result ends in "/".
  URL appendingPathComponent(std::string_view component, bool isDirectory = false) const;
  URL deletingLastPathComponent() const;  // result ends in "/"
  URL appendingPathExtension(std::string_view extension) const;
  // Same URL with the path's trailing "/" added or removed.
  URL withTrailingSlash() const;
  URL withoutTrailingSlash() const;
  // Same URL with scheme, host and port replaced by those of `other`.
  URL withOriginOf(const URL& other) const;

  bool operator==(const URL& other) const { return m_text == other.m_text; }
  bool operator<(const URL& other) const { return m_text < other.m_text; }

 private:
  explicit URL(std::string text);
  struct Parts {
    std::string_view scheme, authority, path, query, fragment;
    bool hasQuery = false, hasFragment = false;
  };
  Parts parts() const;
  URL withRawPath(std::string_view rawPath) const;
  std::string m_text;
};

// Percent-encoding of UTF-8 text. Unreserved characters (RFC 3986) and those in
// `keep` stay; everything else becomes %XX with upper-case hex.
std::string percentEncode(std::string_view text, std::string_view keep = "");
// Characters kept when encoding one path component.
inline constexpr std::string_view kPathComponentSafeCharacters = "!$&'()*+,;=:@";
std::string percentEncodePathComponent(std::string_view component);
// Decodes %XX; malformed escapes are kept as they stand.
std::string percentDecode(std::string_view text);

}  // namespace kdisk
