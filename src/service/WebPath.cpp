#include "service/WebPath.h"

namespace kdisk::service {

namespace {
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
} // namespace

std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      int high = hexValue(text[i + 1]);
      int low = hexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string percentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::optional<WebPath> WebPath::parse(std::string_view rawPath) {
  if (rawPath.empty() || rawPath.front() != '/') return std::nullopt;
  WebPath path;
  std::size_t start = 1;
  while (start <= rawPath.size()) {
    std::size_t end = rawPath.find('/', start);
    if (end == std::string_view::npos) end = rawPath.size();
    std::string_view raw = rawPath.substr(start, end - start);
    bool last = end == rawPath.size();
    if (raw.empty()) {
      // Only the final, trailing "/" may leave an empty segment.
      if (!last) return std::nullopt;
      path.m_trailingSlash = !path.m_segments.empty() || rawPath.size() == 1;
      break;
    }
    auto decoded = percentDecode(raw, false);
    if (!decoded || decoded->empty() || *decoded == "." || *decoded == "..") return std::nullopt;
    for (unsigned char c : *decoded) {
      if (c < 0x20 || c == 0x7f || c == '/' || c == '\\') return std::nullopt;
    }
    if (decoded->size() > 255) return std::nullopt;
    path.m_segments.push_back(std::move(*decoded));
    start = end + 1;
  }
  if (path.m_segments.size() > 64) return std::nullopt;
  return path;
}

std::optional<WebPath> WebPath::below(std::string_view prefix) const {
  if (m_segments.empty() || m_segments.front() != prefix) return std::nullopt;
  WebPath rest;
  rest.m_segments.assign(m_segments.begin() + 1, m_segments.end());
  rest.m_trailingSlash = m_trailingSlash || rest.m_segments.empty();
  return rest;
}

std::filesystem::path WebPath::under(const std::filesystem::path& root) const {
  std::filesystem::path result = root;
  for (const auto& segment : m_segments) result /= segment;
  return result;
}

std::optional<WebPath> WebPath::parent() const {
  if (m_segments.empty()) return std::nullopt;
  WebPath up;
  up.m_segments.assign(m_segments.begin(), m_segments.end() - 1);
  up.m_trailingSlash = true;
  return up;
}

WebPath WebPath::child(std::string segment) const {
  WebPath down = *this;
  down.m_segments.push_back(std::move(segment));
  down.m_trailingSlash = false;
  return down;
}

std::string WebPath::href(std::string_view prefix, bool collection) const {
  std::string text = "/";
  text += prefix;
  for (const auto& segment : m_segments) text += "/" + percentEncode(segment);
  if (collection) text += "/";
  return text;
}

std::string WebPath::key() const {
  std::string text;
  for (const auto& segment : m_segments) text += "/" + segment;
  return text.empty() ? "/" : text;
}

} // namespace kdisk::service
