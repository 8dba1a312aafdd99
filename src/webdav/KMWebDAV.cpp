#include "webdav/KMWebDAV.h"

KMXMLNamespace KMWebDAVDefaultDAVXMLNamespace() { return {"D", kKMWebDAVDAVNamespaceURI}; }

KMXMLNamespace KMWebDAVDefaultKalumoXMLNamespace() { return {"K", kKMWebDAVKalumoNamespaceURI}; }

std::string KMWebDAVDepthStringRepresentation(KMWebDAVDepth depth) {
  switch (depth) {
    case KMWebDAVDepthZero: return "0";
    case KMWebDAVDepthOne: return "1";
    default: return "infinity";
  }
}
