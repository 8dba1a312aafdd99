#include "service/Propfind.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

namespace kdisk::service {

namespace {

struct DocumentFree {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};

bool isDav(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && node->ns && node->ns->href &&
         std::string_view(reinterpret_cast<const char*>(node->ns->href)) == kDavNamespace &&
         std::string_view(reinterpret_cast<const char*>(node->name)) == name;
}

const std::vector<PropertyName>& liveProperties() {
  static const std::vector<PropertyName> properties = {
      {"DAV:", "displayname"},    {"DAV:", "resourcetype"}, {"DAV:", "getcontentlength"},
      {"DAV:", "getlastmodified"}, {"DAV:", "getetag"},      {"DAV:", "getcontenttype"},
  };
  return properties;
}

std::string element(const PropertyName& property, const std::string& content) {
  std::string open;
  if (property.ns == kDavNamespace) {
    open = "d:" + property.name;
  } else if (property.ns == kMetaNamespace) {
    open = "k:" + property.name;
  } else if (property.ns.empty()) {
    open = property.name + " xmlns=\"\"";
  } else {
    open = "x:" + property.name + " xmlns:x=\"" + xmlEscape(property.ns) + "\"";
  }
  std::string close = open.substr(0, open.find(' '));
  if (content.empty()) return "<" + open + "/>";
  return "<" + open + ">" + content + "</" + close + ">";
}

// The value of one property, or nullopt when this resource has none.
std::optional<std::string> valueOf(const PropertyName& property, const ResourceFacts& facts) {
  if (property.ns == kDavNamespace) {
    const std::string& name = property.name;
    if (name == "displayname") return xmlEscape(facts.displayName);
    if (name == "resourcetype") return facts.collection ? "<d:collection/>" : "";
    if (name == "getlastmodified") return facts.lastModified;
    if (name == "getcontentlength" && !facts.collection) return std::to_string(facts.size);
    if (name == "getetag" && !facts.collection) return xmlEscape(facts.etag);
    if (name == "getcontenttype" && !facts.collection) return xmlEscape(facts.contentType);
    if (name == "quota-available-bytes" && facts.quota) return std::to_string(facts.quota->available);
    if (name == "quota-used-bytes" && facts.quota) return std::to_string(facts.quota->used);
  } else if (property.ns == kMetaNamespace) {
    if (property.name == "max-file-size" && facts.quota)
      return std::to_string(facts.quota->maxFileSize);
  }
  return std::nullopt;
}

} // namespace

std::string xmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    default: out.push_back(c);
    }
  }
  return out;
}

std::optional<PropfindQuery> PropfindQuery::parse(std::string_view body) {
  PropfindQuery query;
  if (body.find_first_not_of(" \t\r\n") == std::string_view::npos) return query;
  // No entity substitution, no DTD loading, no network; a DTD at all is refused.
  std::unique_ptr<xmlDoc, DocumentFree> document(
      xmlReadMemory(body.data(), static_cast<int>(body.size()), "propfind.xml", nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!document || document->intSubset || document->extSubset) return std::nullopt;
  xmlNode* root = xmlDocGetRootElement(document.get());
  if (!root || !isDav(root, "propfind")) return std::nullopt;
  bool chosen = false;
  for (xmlNode* child = root->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    if (isDav(child, "allprop")) {
      query.kind = Kind::AllProperties;
    } else if (isDav(child, "propname")) {
      query.kind = Kind::PropertyNames;
    } else if (isDav(child, "prop")) {
      query.kind = Kind::Named;
      for (xmlNode* property = child->children; property; property = property->next) {
        if (property->type != XML_ELEMENT_NODE) continue;
        std::string ns = property->ns && property->ns->href
                             ? reinterpret_cast<const char*>(property->ns->href)
                             : "";
        query.names.push_back({ns, reinterpret_cast<const char*>(property->name)});
        if (query.names.size() > 256) return std::nullopt;
      }
    } else {
      continue; // "include" and extensions: ignored
    }
    if (chosen) return std::nullopt; // two of allprop/propname/prop
    chosen = true;
  }
  return query;
}

void MultistatusWriter::add(const ResourceFacts& facts) {
  std::vector<PropertyName> wanted;
  if (m_query.kind == PropfindQuery::Kind::Named) {
    wanted = m_query.names;
  } else {
    wanted = liveProperties();
    if (facts.quota) {
      wanted.push_back({"DAV:", "quota-available-bytes"});
      wanted.push_back({"DAV:", "quota-used-bytes"});
      wanted.push_back({std::string(kMetaNamespace), "max-file-size"});
    }
  }
  std::string found, missing;
  for (const auto& property : wanted) {
    auto value = valueOf(property, facts);
    if (m_query.kind == PropfindQuery::Kind::PropertyNames) {
      if (value) found += element(property, "");
    } else if (value) {
      found += element(property, *value);
    } else if (m_query.kind == PropfindQuery::Kind::Named) {
      missing += element(property, "");
    }
  }
  m_body += "<d:response><d:href>" + xmlEscape(facts.href) + "</d:href>";
  if (!found.empty() || missing.empty())
    m_body += "<d:propstat><d:prop>" + found + "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat>";
  if (!missing.empty())
    m_body += "<d:propstat><d:prop>" + missing +
              "</d:prop><d:status>HTTP/1.1 404 Not Found</d:status></d:propstat>";
  m_body += "</d:response>";
}

std::string MultistatusWriter::finish() {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<d:multistatus xmlns:d=\"DAV:\" xmlns:k=\"" +
         std::string(kMetaNamespace) + "\">" + m_body + "</d:multistatus>\n";
}

} // namespace kdisk::service
