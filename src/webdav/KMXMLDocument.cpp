#include "webdav/KMXMLDocument.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <mutex>

namespace {

const xmlNode* node(const void* pointer) { return static_cast<const xmlNode*>(pointer); }

std::string_view text(const xmlChar* characters) {
  return characters ? std::string_view(reinterpret_cast<const char*>(characters)) : std::string_view();
}

// Refuses every external entity or DTD the parser might want to fetch, whatever
// options a caller elsewhere in the process passes.
xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) { return nullptr; }

void initializeParserOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(refuseExternalEntity);
  });
}

void silence(void*, const char*, ...) {}

int depthOf(const xmlNode* element, int limit) {
  int deepest = 0;
  // Iterative walk: a hostile document must not overflow our own stack either.
  std::vector<std::pair<const xmlNode*, int>> pending{{element, 1}};
  while (!pending.empty()) {
    auto [current, depth] = pending.back();
    pending.pop_back();
    if (depth > deepest) deepest = depth;
    if (deepest > limit) return deepest;
    for (const xmlNode* child = current->children; child; child = child->next) {
      if (child->type == XML_ELEMENT_NODE) pending.emplace_back(child, depth + 1);
    }
  }
  return deepest;
}

void appendText(const xmlNode* element, std::string& out) {
  std::vector<const xmlNode*> pending{element};
  while (!pending.empty()) {
    const xmlNode* current = pending.back();
    pending.pop_back();
    if (current->type == XML_TEXT_NODE || current->type == XML_CDATA_SECTION_NODE) {
      out += text(current->content);
      continue;
    }
    // Entity references are never followed: their text is not trusted.
    if (current->type != XML_ELEMENT_NODE) continue;
    std::vector<const xmlNode*> children;
    for (const xmlNode* child = current->children; child; child = child->next) children.push_back(child);
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(*it);
  }
}

}  // namespace

std::string_view KMXMLElement::localName() const { return m_node ? text(node(m_node)->name) : ""; }

std::string_view KMXMLElement::namespaceURI() const {
  if (!m_node || !node(m_node)->ns) return "";
  return text(node(m_node)->ns->href);
}

bool KMXMLElement::isNamed(std::string_view name, std::string_view uri) const {
  return m_node && localName() == name && namespaceURI() == uri;
}

std::string KMXMLElement::textContent() const {
  std::string out;
  if (m_node) appendText(node(m_node), out);
  return out;
}

std::vector<KMXMLElement> KMXMLElement::childElements() const {
  std::vector<KMXMLElement> children;
  if (!m_node) return children;
  for (const xmlNode* child = node(m_node)->children; child; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) children.push_back(KMXMLElement(child));
  }
  return children;
}

KMXMLElement KMXMLElement::firstChildElementNamed(std::string_view name, std::string_view uri) const {
  if (!m_node) return {};
  for (const xmlNode* child = node(m_node)->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    KMXMLElement element(child);
    if (element.isNamed(name, uri)) return element;
  }
  return {};
}

std::optional<KMXMLDocument> KMXMLDocument::parse(std::string_view bytes, Limits limits) {
  if (bytes.empty() || bytes.size() > limits.maxBytes || bytes.size() > INT32_MAX) return std::nullopt;
  initializeParserOnce();
  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (!context) return std::nullopt;
  // No XML_PARSE_NOENT (entities stay references), no DTDLOAD/DTDATTR, no
  // HUGE (keeps libxml2's own depth and amplification limits).
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
  xmlSetGenericErrorFunc(nullptr, silence);
  xmlDocPtr document = xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()),
                                         "response.xml", nullptr, options);
  const bool wellFormed = context->wellFormed && context->nsWellFormed;
  xmlFreeParserCtxt(context);
  if (!document) return std::nullopt;
  std::shared_ptr<void> owner(document, [](void* pointer) { xmlFreeDoc(static_cast<xmlDocPtr>(pointer)); });
  if (!wellFormed || document->intSubset || document->extSubset) return std::nullopt;
  const xmlNode* root = xmlDocGetRootElement(document);
  if (!root || depthOf(root, limits.maxDepth) > limits.maxDepth) return std::nullopt;
  return KMXMLDocument(std::move(owner));
}

KMXMLElement KMXMLDocument::rootElement() const {
  return KMXMLElement(xmlDocGetRootElement(static_cast<xmlDocPtr>(m_document.get())));
}
