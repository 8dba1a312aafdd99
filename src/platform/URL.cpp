#include "platform/URL.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace kdisk {

namespace {

bool isUnreserved(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr char kHex[] = "0123456789ABCDEF";

void appendEscaped(std::string& out, unsigned char c) {
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

bool isValidSchemeStart(std::string_view text, std::size_t& colon) {
  colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  if (!std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  return std::all_of(text.begin(), text.begin() + colon, [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  });
}

// Characters a URL may carry as they stand; the rest must arrive escaped. A
// table: every character of every parsed URL is looked up here.
constexpr auto kAllowedInURL = [] {
  std::array<bool, 256> allowed{};
  for (int c = 0x21; c < 0x7f; ++c) allowed[static_cast<std::size_t>(c)] = true;
  for (unsigned char c : std::string_view("\"<>\\^`{|}")) allowed[c] = false;
  return allowed;
}();

bool isAllowedInURL(unsigned char c) { return kAllowedInURL[c]; }

// What fromString accepts anywhere in a URL's text ("%" and "#" are in the
// table already). Every character of every parsed URL and href passes here:
// no early exit, eight at a time, as nearly all texts are clean.
bool isAllowedInURLText(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  bool allowed = true;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    allowed &= kAllowedInURL[bytes[i]] & kAllowedInURL[bytes[i + 1]] & kAllowedInURL[bytes[i + 2]] &
               kAllowedInURL[bytes[i + 3]] & kAllowedInURL[bytes[i + 4]] & kAllowedInURL[bytes[i + 5]] &
               kAllowedInURL[bytes[i + 6]] & kAllowedInURL[bytes[i + 7]];
  }
  for (; i < size; ++i) allowed &= kAllowedInURL[bytes[i]];
  return allowed;
}

bool equalsIgnoringASCIICase(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + ('a' - 'A')) : text[i];
    if (c != lower[i]) return false;
  }
  return true;
}

// Escapes what a URL may not carry (spaces, raw UTF-8 a sloppy server sent)
// and leaves existing escapes and reserved characters alone.
std::string escapeIllegalCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (isAllowedInURL(c) || c == '%') {
      out += static_cast<char>(c);
    } else {
      appendEscaped(out, c);
    }
  }
  return out;
}

// RFC 3986, 5.2.4.
std::string removeDotSegments(std::string_view path) {
  std::vector<std::string_view> segments;
  std::size_t start = 1;
  if (path.empty() || path[0] != '/') return std::string(path);
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view segment = path.substr(start, end - start);
    const bool last = end == path.size();
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      if (last) segments.emplace_back();
    } else if (segment == ".") {
      if (last) segments.emplace_back();
    } else {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  std::string out;
  for (auto segment : segments) {
    out += '/';
    out += segment;
  }
  return out.empty() ? "/" : out;
}

}  // namespace

std::string percentEncode(std::string_view text, std::string_view keep) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (isUnreserved(c) || (c != 0 && keep.find(static_cast<char>(c)) != std::string_view::npos)) {
      out += static_cast<char>(c);
    } else {
      appendEscaped(out, c);
    }
  }
  return out;
}

std::string percentEncodePathComponent(std::string_view component) {
  return percentEncode(component, kPathComponentSafeCharacters);
}

std::string percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int high = hexValue(text[i + 1]);
      int low = hexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

URL::URL(std::string text) : m_text(std::move(text)) {}

std::optional<URL> URL::fromString(std::string_view text) {
  std::size_t colon;
  if (!isValidSchemeStart(text, colon)) return std::nullopt;
  if (!isAllowedInURLText(text)) return std::nullopt;
  URL url{std::string(text)};
  auto parts = url.parts();
  const bool hierarchical = text.substr(colon + 1).starts_with("//");
  if (hierarchical && parts.authority.empty() && url.scheme() != "file") return std::nullopt;
  return url;
}

std::optional<URL> URL::fromStringRelativeTo(std::string_view reference, const URL& base) {
  std::string escaped = escapeIllegalCharacters(reference);
  std::size_t colon;
  if (isValidSchemeStart(escaped, colon)) return fromString(escaped);
  if (!base.isValid()) return std::nullopt;
  auto baseParts = base.parts();
  std::string prefix = std::string(baseParts.scheme) + "://" + std::string(baseParts.authority);
  if (escaped.starts_with("//")) return fromString(std::string(baseParts.scheme) + ":" + escaped);

  std::string_view rest = escaped;
  std::string suffix;
  std::size_t cut = rest.find_first_of("?#");
  if (cut != std::string_view::npos) {
    suffix = std::string(rest.substr(cut));
    rest = rest.substr(0, cut);
  }
  std::string path;
  if (rest.starts_with("/")) {
    path = std::string(rest);
  } else if (rest.empty()) {
    path = base.rawPath();
    if (suffix.empty() || suffix[0] == '#') {
      if (baseParts.hasQuery) suffix = "?" + std::string(baseParts.query) + suffix;
    }
  } else {
    std::string directory = base.rawPath();
    directory.erase(directory.rfind('/') + 1);
    path = directory + std::string(rest);
  }
  return fromString(prefix + removeDotSegments(path) + suffix);
}

std::optional<URL> URL::withAbsolutePathReference(std::string_view reference) const {
  const Parts p = parts();
  const bool hierarchical =
      !p.scheme.empty() && std::string_view(m_text).substr(p.scheme.size() + 1).starts_with("//");
  if (!hierarchical || !reference.starts_with('/')) return fromString(origin() + std::string(reference));
  // The origin is a prefix of the text here, and holds no "/", "?" or "#"
  // (parts() cut it at them), so joined to a "/..." reference it parses back
  // as the same scheme and authority: the checks of fromString split into
  // the origin's, made once here, and the reference's characters.
  const std::string_view originText = std::string_view(m_text).substr(0, p.scheme.size() + 3 + p.authority.size());
  std::size_t colon;
  if (!isValidSchemeStart(originText, colon) || !isAllowedInURLText(originText)) return std::nullopt;
  if (p.authority.empty() && !equalsIgnoringASCIICase(p.scheme, "file")) return std::nullopt;
  if (!isAllowedInURLText(reference)) return std::nullopt;
  std::string text;
  text.reserve(originText.size() + reference.size());
  text.append(originText).append(reference);
  return URL(std::move(text));
}

URL URL::fileURLWithPath(std::string_view path) {
  return URL("file://" + percentEncode(path, "/!$&'()*+,;=:@"));
}

URL::Parts URL::parts() const {
  Parts p;
  std::string_view text = m_text;
  std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return p;
  p.scheme = text.substr(0, colon);
  std::string_view rest = text.substr(colon + 1);
  std::size_t hash = rest.find('#');
  if (hash != std::string_view::npos) {
    p.fragment = rest.substr(hash + 1);
    p.hasFragment = true;
    rest = rest.substr(0, hash);
  }
  std::size_t question = rest.find('?');
  if (question != std::string_view::npos) {
    p.query = rest.substr(question + 1);
    p.hasQuery = true;
    rest = rest.substr(0, question);
  }
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    std::size_t slash = rest.find('/');
    p.authority = rest.substr(0, slash);
    p.path = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  } else {
    p.path = rest;
  }
  return p;
}

std::string URL::scheme() const {
  std::string scheme(parts().scheme);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return scheme;
}

namespace {
std::string_view hostAndPort(std::string_view authority) {
  std::size_t at = authority.rfind('@');
  return at == std::string_view::npos ? authority : authority.substr(at + 1);
}
}  // namespace

std::string URL::host() const {
  std::string_view hp = hostAndPort(parts().authority);
  if (hp.starts_with("[")) {
    std::size_t close = hp.find(']');
    return std::string(hp.substr(1, close == std::string_view::npos ? hp.npos : close - 1));
  }
  std::size_t colon = hp.rfind(':');
  return percentDecode(hp.substr(0, colon));
}

std::optional<int> URL::port() const {
  std::string_view hp = hostAndPort(parts().authority);
  std::size_t close = hp.rfind(']');
  std::size_t colon = hp.rfind(':');
  if (colon == std::string_view::npos || (close != std::string_view::npos && colon < close)) {
    return std::nullopt;
  }
  std::string_view digits = hp.substr(colon + 1);
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value <= 65535 ? std::optional<int>(value) : std::nullopt;
}

std::string URL::origin() const {
  auto p = parts();
  return std::string(p.scheme) + "://" + std::string(p.authority);
}

std::string URL::rawPath() const {
  std::string_view path = parts().path;
  return path.empty() ? "/" : std::string(path);
}

std::string URL::path() const { return percentDecode(rawPath()); }

std::optional<std::string> URL::query() const {
  auto p = parts();
  if (!p.hasQuery) return std::nullopt;
  return std::string(p.query);
}

std::string URL::lastPathComponent() const {
  std::string raw = rawPath();
  while (raw.size() > 1 && raw.back() == '/') raw.pop_back();
  if (raw == "/") return "/";
  return percentDecode(raw.substr(raw.rfind('/') + 1));
}

std::string URL::pathExtension() const {
  std::string name = lastPathComponent();
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || name == "/") return {};
  return name.substr(dot + 1);
}

bool URL::hasDirectoryPath() const { return rawPath().back() == '/'; }

URL URL::withRawPath(std::string_view rawPath) const {
  auto p = parts();
  // A URL without an authority ("R:", "mailto:x") keeps that form: "R:///x"
  // would be a hierarchical URL with an empty host, which fromString refuses.
  const bool hierarchical = std::string_view(m_text).substr(p.scheme.size() + 1).starts_with("//");
  std::string text = std::string(p.scheme) + (hierarchical ? "://" + std::string(p.authority) : ":") +
                     std::string(rawPath);
  if (p.hasQuery) text += "?" + std::string(p.query);
  if (p.hasFragment) text += "#" + std::string(p.fragment);
  return URL(std::move(text));
}

URL URL::appendingPathComponent(std::string_view component, bool isDirectory) const {
  std::string raw = rawPath();
  if (raw.back() != '/') raw += '/';
  std::string_view trimmed = component;
  while (trimmed.starts_with("/")) trimmed.remove_prefix(1);
  raw += percentEncodePathComponent(trimmed);
  if (isDirectory && raw.back() != '/') raw += '/';
  return withRawPath(raw);
}

URL URL::deletingLastPathComponent() const {
  std::string raw = rawPath();
  while (raw.size() > 1 && raw.back() == '/') raw.pop_back();
  raw.erase(raw.rfind('/') + 1);
  return withRawPath(raw);
}

URL URL::appendingPathExtension(std::string_view extension) const {
  std::string raw = rawPath();
  const bool directory = raw.size() > 1 && raw.back() == '/';
  if (directory) raw.pop_back();
  raw += "." + percentEncodePathComponent(extension);
  if (directory) raw += '/';
  return withRawPath(raw);
}

URL URL::withTrailingSlash() const {
  std::string raw = rawPath();
  if (raw.back() != '/') raw += '/';
  return withRawPath(raw);
}

URL URL::withoutTrailingSlash() const {
  std::string raw = rawPath();
  while (raw.size() > 1 && raw.back() == '/') raw.pop_back();
  return withRawPath(raw);
}

URL URL::withOriginOf(const URL& other) const {
  auto mine = parts();
  std::string text = other.origin() + rawPath();
  if (mine.hasQuery) text += "?" + std::string(mine.query);
  if (mine.hasFragment) text += "#" + std::string(mine.fragment);
  return URL(std::move(text));
}

}  // namespace kdisk
