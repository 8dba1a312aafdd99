#pragma once
// The small constants of the protocol client: XML namespaces and depth texts.

#include <string>

// A namespace of an XML element: the prefix used when writing, the URI that
// identifies it when reading.
struct KMXMLNamespace {
  std::string prefix;
  std::string URI;
  bool operator==(const KMXMLNamespace&) const = default;
};

// "D" for "DAV:", built afresh on each call.
KMXMLNamespace KMWebDAVDefaultDAVXMLNamespace();
// "K" for "urn:kalumo:disk:meta", built afresh on each call.
KMXMLNamespace KMWebDAVDefaultKalumoXMLNamespace();

inline constexpr const char* kKMWebDAVDAVNamespaceURI = "DAV:";
inline constexpr const char* kKMWebDAVKalumoNamespaceURI = "urn:kalumo:disk:meta";

// Depth of a PROPFIND, a plain integer as requests carry it.
using KMWebDAVDepth = int;
inline constexpr KMWebDAVDepth KMWebDAVDepthZero = 1;
inline constexpr KMWebDAVDepth KMWebDAVDepthOne = 2;
inline constexpr KMWebDAVDepth KMWebDAVDepthInfinity = 3;

// "0", "1", or "infinity" for any other value.
std::string KMWebDAVDepthStringRepresentation(KMWebDAVDepth depth);
