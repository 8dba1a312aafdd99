#include "webdav/KMXMLDocument.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdint>
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

// No XML_PARSE_NOENT (entities stay references), no DTDLOAD/DTDATTR, no
// HUGE (keeps libxml2's own depth and amplification limits).
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;

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
  const int options = kParseOptions;
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

struct KMXMLStreamParser::State {
  RootChildHandler handler;
  KMXMLDocument::Limits limits;
  xmlParserCtxtPtr context = nullptr;
  std::size_t fed = 0;
  bool failed = false;
  bool finished = false;

  bool fail() {
    failed = true;
    return false;
  }
  bool hasSubset() const {
    const xmlDoc* document = context ? context->myDoc : nullptr;
    return document && (document->intSubset || document->extSubset);
  }
  // Hands on and frees the root's children before its last one; those are
  // complete, while the last may still be open and, as a text node, may still
  // grow (libxml2 appends text to the last child), so it stays until `all`.
  bool handOnCompleteChildren(bool all) {
    if (hasSubset()) return fail();
    xmlNode* root = context->myDoc ? xmlDocGetRootElement(context->myDoc) : nullptr;
    if (!root) return true;
    for (xmlNode* child = root->children; child && (all || child != root->last);) {
      xmlNode* next = child->next;
      if (child->type == XML_ELEMENT_NODE) {
        if (depthOf(child, limits.maxDepth) + 1 > limits.maxDepth) return fail();
        handler(KMXMLElement(child));
      }
      xmlUnlinkNode(child);
      xmlFreeNode(child);
      child = next;
    }
    return true;
  }
};

KMXMLStreamParser::KMXMLStreamParser(RootChildHandler handler, KMXMLDocument::Limits limits)
    : m_state(std::make_unique<State>()) {
  m_state->handler = std::move(handler);
  m_state->limits = limits;
}

KMXMLStreamParser::~KMXMLStreamParser() {
  if (!m_state->context) return;
  if (m_state->context->myDoc) xmlFreeDoc(m_state->context->myDoc);
  xmlFreeParserCtxt(m_state->context);
}

bool KMXMLStreamParser::feed(std::string_view bytes) {
  State& state = *m_state;
  if (state.failed || state.finished) return false;
  if (bytes.empty()) return true;
  state.fed += bytes.size();
  if (state.fed > state.limits.maxBytes || bytes.size() > INT32_MAX) return state.fail();
  if (!state.context) {
    initializeParserOnce();
    xmlSetGenericErrorFunc(nullptr, silence);
    // The first bytes go in with the context: libxml2 detects the encoding from them.
    const std::size_t head = std::min<std::size_t>(bytes.size(), 4);
    state.context = xmlCreatePushParserCtxt(nullptr, nullptr, bytes.data(), static_cast<int>(head), "response.xml");
    if (!state.context) return state.fail();
    xmlCtxtUseOptions(state.context, kParseOptions);
    bytes.remove_prefix(head);
  }
  xmlSetGenericErrorFunc(nullptr, silence);  // per thread, and chunks may come on several
  // In slices: libxml2 refuses a single push of 10 MB or more (its "huge
  // input" limit), though our own size bound is far above that.
  constexpr std::size_t kSlice = 256 * 1024;
  do {
    const std::string_view slice = bytes.substr(0, kSlice);
    bytes.remove_prefix(slice.size());
    if (xmlParseChunk(state.context, slice.data(), static_cast<int>(slice.size()), 0) != 0 ||
        !state.context->wellFormed || state.context->nodeNr > state.limits.maxDepth) {
      return state.fail();
    }
    if (!state.handOnCompleteChildren(false)) return false;
  } while (!bytes.empty());
  return true;
}

bool KMXMLStreamParser::finish() {
  State& state = *m_state;
  if (state.failed || state.finished || !state.context) return false;
  state.finished = true;
  // Any error, or an element still open, means the body broke off: a decoder
  // failure in a legacy encoding halts libxml2 without clearing wellFormed.
  const int status = xmlParseChunk(state.context, nullptr, 0, 1);
  xmlParserCtxtPtr context = state.context;
  if (status != 0 || context->errNo != 0 || context->nodeNr != 0 || !context->wellFormed ||
      !context->nsWellFormed || !context->myDoc || !xmlDocGetRootElement(context->myDoc)) {
    return state.fail();
  }
  return state.handOnCompleteChildren(true) && !state.hasSubset();
}
