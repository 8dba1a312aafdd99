#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kdisk::service {

inline constexpr std::string_view kDavNamespace = "DAV:";
inline constexpr std::string_view kMetaNamespace = "urn:kalumo:disk:meta";

struct PropertyName {
  std::string ns;
  std::string name;
  bool operator==(const PropertyName&) const = default;
};

// What a PROPFIND body asks for. An empty body means allprop (RFC 4918 9.1).
struct PropfindQuery {
  enum class Kind { AllProperties, PropertyNames, Named };
  Kind kind = Kind::AllProperties;
  std::vector<PropertyName> names;

  // nullopt: not well-formed, not a DAV:propfind, or carries a DTD (never expanded).
  static std::optional<PropfindQuery> parse(std::string_view body);
};

// The facts one resource answers from.
struct ResourceFacts {
  std::string href;
  std::string displayName;
  bool collection = false;
  std::uint64_t size = 0;
  std::string lastModified; // RFC 1123
  std::string etag;         // quoted
  std::string contentType;
  struct Quota {
    std::uint64_t maxFileSize = 0;
    std::uint64_t available = 0;
    std::uint64_t used = 0;
  };
  std::optional<Quota> quota; // only on the root
};

// Builds a 207 body: one response per resource, the found properties in a 200
// propstat, the rest in a 404 one.
class MultistatusWriter {
public:
  explicit MultistatusWriter(const PropfindQuery& query) : m_query(query) {}
  void add(const ResourceFacts& facts);
  std::string finish();

private:
  const PropfindQuery& m_query;
  std::string m_body;
};

std::string xmlEscape(std::string_view text);

} // namespace kdisk::service
