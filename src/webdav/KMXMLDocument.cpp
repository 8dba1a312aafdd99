#include "webdav/KMXMLDocument.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "webdav/XMLTokenizer.h"

namespace {

// libxml2 tears its globals down when the process exits, but only when its
// allocator is the C library's own. Parses still running on the pool's
// threads at exit would then lock freed mutexes, so the allocator is the same
// functions behind other addresses, set before main starts any thread.
void releaseXMLMemory(void* memory) { std::free(memory); }
void* allocateXMLMemory(std::size_t size) { return std::malloc(size); }
void* reallocateXMLMemory(void* memory, std::size_t size) { return std::realloc(memory, size); }
char* duplicateXMLString(const char* text) { return ::strdup(text); }
[[maybe_unused]] const int kParserKeptUntilExit =
    xmlMemSetup(releaseXMLMemory, allocateXMLMemory, reallocateXMLMemory, duplicateXMLString);

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

// One root child of a streamed document, built straight from the parser's
// events into two reused buffers instead of a libxml2 subtree per child: a
// long listing then costs no allocation per element.
struct StreamTree {
  static constexpr std::int32_t kNone = -1;
  struct Node {
    bool isText = false;
    // Into `characters`: the local name and namespace of an element, the
    // bytes of a text run.
    std::uint32_t nameOffset = 0, nameLength = 0, uriOffset = 0, uriLength = 0;
    std::int32_t firstChild = kNone, lastChild = kNone, next = kNone;
  };
  std::vector<Node> nodes;
  std::string characters;
  std::vector<std::int32_t> open;  // the elements being read, innermost last

  std::string_view slice(std::uint32_t offset, std::uint32_t length) const {
    return std::string_view(characters).substr(offset, length);
  }
  std::string_view nameOf(const Node& node) const { return slice(node.nameOffset, node.nameLength); }
  std::string_view uriOf(const Node& node) const { return slice(node.uriOffset, node.uriLength); }
  std::uint32_t store(std::string_view bytes) {
    const auto offset = static_cast<std::uint32_t>(characters.size());
    characters.append(bytes);
    return offset;
  }
  void adopt(std::int32_t child) {
    if (open.empty()) return;
    Node& parent = nodes[static_cast<std::size_t>(open.back())];
    if (parent.lastChild == kNone) {
      parent.firstChild = child;
    } else {
      nodes[static_cast<std::size_t>(parent.lastChild)].next = child;
    }
    parent.lastChild = child;
  }
  void startElement(std::string_view name, std::string_view uri) {
    Node element;
    element.nameOffset = store(name);
    element.nameLength = static_cast<std::uint32_t>(name.size());
    // Elements of a child mostly share one namespace: stored once.
    if (!nodes.empty() && !nodes.back().isText && uriOf(nodes.back()) == uri) {
      element.uriOffset = nodes.back().uriOffset;
    } else {
      element.uriOffset = store(uri);
    }
    element.uriLength = static_cast<std::uint32_t>(uri.size());
    const auto index = static_cast<std::int32_t>(nodes.size());
    nodes.push_back(element);
    adopt(index);
    open.push_back(index);
  }
  void endElement() {
    if (!open.empty()) open.pop_back();
  }
  void appendText(std::string_view bytes) {
    if (open.empty() || bytes.empty()) return;
    const Node& parent = nodes[static_cast<std::size_t>(open.back())];
    // Text arrives in pieces: a run that is still the last thing written grows.
    if (parent.lastChild != kNone) {
      Node& last = nodes[static_cast<std::size_t>(parent.lastChild)];
      if (last.isText && last.nameOffset + last.nameLength == characters.size()) {
        characters.append(bytes);
        last.nameLength += static_cast<std::uint32_t>(bytes.size());
        return;
      }
    }
    Node run;
    run.isText = true;
    run.nameOffset = store(bytes);
    run.nameLength = static_cast<std::uint32_t>(bytes.size());
    const auto index = static_cast<std::int32_t>(nodes.size());
    nodes.push_back(run);
    adopt(index);
  }
  void clear() {
    nodes.clear();
    characters.clear();
    open.clear();
  }
  const Node* child(const Node* node) const {
    return node->firstChild == kNone ? nullptr : &nodes[static_cast<std::size_t>(node->firstChild)];
  }
  const Node* sibling(const Node* node) const {
    return node->next == kNone ? nullptr : &nodes[static_cast<std::size_t>(node->next)];
  }
};

const StreamTree& tree(const void* pointer) { return *static_cast<const StreamTree*>(pointer); }
const StreamTree::Node* streamNode(const void* pointer) { return static_cast<const StreamTree::Node*>(pointer); }

}  // namespace

std::string_view KMXMLElement::localName() const {
  if (m_tree) return tree(m_tree).nameOf(*streamNode(m_node));
  return m_node ? text(node(m_node)->name) : "";
}

std::string_view KMXMLElement::namespaceURI() const {
  if (m_tree) return tree(m_tree).uriOf(*streamNode(m_node));
  if (!m_node || !node(m_node)->ns) return "";
  return text(node(m_node)->ns->href);
}

bool KMXMLElement::isNamed(std::string_view name, std::string_view uri) const {
  return m_node && localName() == name && namespaceURI() == uri;
}

std::string KMXMLElement::textContent() const {
  std::string out;
  if (!m_node) return out;
  if (!m_tree) {
    appendText(node(m_node), out);
    return out;
  }
  // Depth first, in document order; iterative, as for the libxml2 tree.
  const StreamTree& streamed = tree(m_tree);
  std::vector<const StreamTree::Node*> pending{streamNode(m_node)};
  while (!pending.empty()) {
    const StreamTree::Node* current = pending.back();
    pending.pop_back();
    if (current->isText) {
      out += streamed.slice(current->nameOffset, current->nameLength);
      continue;
    }
    const std::size_t end = pending.size();
    for (const auto* child = streamed.child(current); child; child = streamed.sibling(child)) pending.push_back(child);
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(end), pending.end());
  }
  return out;
}

std::vector<KMXMLElement> KMXMLElement::childElements() const {
  std::vector<KMXMLElement> children;
  if (!m_node) return children;
  if (m_tree) {
    const StreamTree& streamed = tree(m_tree);
    for (const auto* child = streamed.child(streamNode(m_node)); child; child = streamed.sibling(child)) {
      if (!child->isText) children.push_back(KMXMLElement(child, m_tree));
    }
    return children;
  }
  for (const xmlNode* child = node(m_node)->children; child; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) children.push_back(KMXMLElement(child));
  }
  return children;
}

KMXMLElement KMXMLElement::firstChildElementNamed(std::string_view name, std::string_view uri) const {
  if (!m_node) return {};
  if (m_tree) {
    const StreamTree& streamed = tree(m_tree);
    for (const auto* child = streamed.child(streamNode(m_node)); child; child = streamed.sibling(child)) {
      if (!child->isText && streamed.nameOf(*child) == name && streamed.uriOf(*child) == uri)
        return KMXMLElement(child, m_tree);
    }
    return {};
  }
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

// Documents in UTF-8 go through our own tokenizer; a document whose first
// bytes or declaration name another encoding goes through libxml2's push
// parser instead. The choice is made before any child is handed on.
struct KMXMLStreamParser::State : XMLTokenizer::Sink {
  RootChildHandler handler;
  KMXMLDocument::Limits limits;
  XMLTokenizer tokenizer{*this};
  // Bytes fed while the tokenizer had not yet settled the encoding: what
  // libxml2 must start from if it turns out to be another one.
  std::string head;
  bool otherEncoding = false;
  xmlParserCtxtPtr context = nullptr;
  std::size_t fed = 0;
  bool failed = false;
  bool finished = false;
  // Elements open, the root included.
  int depth = 0;
  StreamTree child;

  bool fail() {
    failed = true;
    return false;
  }

  // The tokenizer's events. Text directly in the root is never handed on.
  bool startElement(std::string_view localName, std::string_view namespaceURI) override {
    if (++depth > limits.maxDepth) return false;
    if (depth == 1) return true;
    try {
      child.startElement(localName, namespaceURI);
    } catch (...) {
      return false;
    }
    return true;
  }
  bool endElement() override {
    const int closed = depth--;
    if (closed == 1) return true;
    child.endElement();
    if (closed != 2) return true;
    try {
      handler(KMXMLElement(&child.nodes.front(), &child));
    } catch (...) {
      return false;
    }
    child.clear();
    return true;
  }
  bool characters(std::string_view text) override {
    if (depth < 2) return true;
    try {
      child.appendText(text);
    } catch (...) {
      return false;
    }
    return true;
  }

  bool feedTokenizer(std::string_view bytes) {
    const bool settled = tokenizer.encodingSettled();
    if (tokenizer.feed(bytes)) {
      if (!settled) {
        if (tokenizer.encodingSettled()) {
          std::string().swap(head);
        } else {
          head.append(bytes);
        }
      }
      return true;
    }
    if (!tokenizer.needsOtherEncoding()) return fail();
    head.append(bytes);
    return switchToOtherEncoding();
  }
  bool switchToOtherEncoding() {
    otherEncoding = true;
    const std::string bytes = std::move(head);
    head.clear();
    return feedLibXML(bytes);
  }

  // libxml2's push parser, for documents in other encodings.
  bool hasSubset() const {
    const xmlDoc* document = context ? context->myDoc : nullptr;
    return document && (document->intSubset || document->extSubset);
  }
  void stop() {
    failed = true;
    xmlStopParser(context);
  }
  bool feedLibXML(std::string_view bytes);
  bool finishLibXML();

  // The root goes into libxml2's document (the end checks read it); what is
  // below it goes into `child`, one root child at a time, handed on and
  // cleared as soon as it is complete. Text directly in the root is never
  // handed on and is dropped.
  static State* of(void* user) {
    auto* context = static_cast<xmlParserCtxtPtr>(user);
    auto* state = static_cast<State*>(context->_private);
    // Events of an entity's own parse carry another context: never ours.
    return state && state->context == context && !state->failed ? state : nullptr;
  }
  static void onStartElement(void* user, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri,
                             int namespaceCount, const xmlChar** namespaces, int attributeCount, int defaulted,
                             const xmlChar** attributes) {
    State* state = of(user);
    if (!state) return;
    if (++state->depth > state->limits.maxDepth || state->hasSubset()) return state->stop();
    if (state->depth == 1) {
      xmlSAX2StartElementNs(user, name, prefix, uri, namespaceCount, namespaces, attributeCount, defaulted,
                            attributes);
      return;
    }
    try {
      state->child.startElement(text(name), text(uri));
    } catch (...) {
      state->stop();  // never through libxml2's frames
    }
  }
  static void onEndElement(void* user, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri) {
    State* state = of(user);
    if (!state) return;
    const int depth = state->depth--;
    if (depth == 1) {
      xmlSAX2EndElementNs(user, name, prefix, uri);
      return;
    }
    state->child.endElement();
    if (depth != 2) return;
    if (state->hasSubset()) return state->stop();
    try {
      state->handler(KMXMLElement(&state->child.nodes.front(), &state->child));
    } catch (...) {
      state->stop();
    }
    state->child.clear();
  }
  static void onCharacters(void* user, const xmlChar* characters, int length) {
    State* state = of(user);
    if (!state || state->depth < 2 || length <= 0) return;
    try {
      state->child.appendText(
          std::string_view(reinterpret_cast<const char*>(characters), static_cast<std::size_t>(length)));
    } catch (...) {
      state->stop();
    }
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
  if (state.fed > state.limits.maxBytes) return state.fail();
  return state.otherEncoding ? state.feedLibXML(bytes) : state.feedTokenizer(bytes);
}

bool KMXMLStreamParser::finish() {
  State& state = *m_state;
  if (state.failed || state.finished) return false;
  if (!state.otherEncoding) {
    if (state.tokenizer.finish()) {
      state.finished = true;
      return true;
    }
    if (!state.tokenizer.needsOtherEncoding() || !state.switchToOtherEncoding()) return state.fail();
  }
  return state.finishLibXML();
}

bool KMXMLStreamParser::State::feedLibXML(std::string_view bytes) {
  if (failed || bytes.empty()) return !failed;
  if (bytes.size() > INT32_MAX) return fail();
  if (!context && (!head.empty() || bytes.size() < 4)) {
    // libxml2 tells the encoding from the first four bytes: it gets them together.
    head.append(bytes);
    if (head.size() < 4) return true;
    const std::string first = std::move(head);
    head.clear();
    return feedLibXML(first);
  }
  if (!context) {
    initializeParserOnce();
    xmlSetGenericErrorFunc(nullptr, silence);
    // The first bytes go in with the context: libxml2 detects the encoding from them.
    const std::size_t first = std::min<std::size_t>(bytes.size(), 4);
    context = xmlCreatePushParserCtxt(nullptr, nullptr, bytes.data(), static_cast<int>(first), "response.xml");
    if (!context) return fail();
    xmlCtxtUseOptions(context, kParseOptions);
    context->_private = this;
    context->sax->startElementNs = &State::onStartElement;
    context->sax->endElementNs = &State::onEndElement;
    context->sax->characters = &State::onCharacters;
    context->sax->ignorableWhitespace = &State::onCharacters;
    bytes.remove_prefix(first);
    if (bytes.empty()) return true;
  }
  xmlSetGenericErrorFunc(nullptr, silence);  // per thread, and chunks may come on several
  // In slices: libxml2 refuses a single push of 10 MB or more (its "huge
  // input" limit), though our own size bound is far above that.
  constexpr std::size_t kSlice = 256 * 1024;
  do {
    const std::string_view slice = bytes.substr(0, kSlice);
    bytes.remove_prefix(slice.size());
    if (xmlParseChunk(context, slice.data(), static_cast<int>(slice.size()), 0) != 0 || !context->wellFormed ||
        failed) {
      return fail();
    }
  } while (!bytes.empty());
  return true;
}

bool KMXMLStreamParser::State::finishLibXML() {
  // Fewer than four bytes never reached libxml2: no document is that short.
  if (failed || finished || !context) return false;
  finished = true;
  // Any error, or an element still open, means the body broke off: a decoder
  // failure in a legacy encoding halts libxml2 without clearing wellFormed.
  const int status = xmlParseChunk(context, nullptr, 0, 1);
  if (status != 0 || failed || context->errNo != 0 || context->nodeNr != 0 || depth != 0 || !context->wellFormed ||
      !context->nsWellFormed || !context->myDoc || !xmlDocGetRootElement(context->myDoc)) {
    return fail();
  }
  return !hasSubset();
}
