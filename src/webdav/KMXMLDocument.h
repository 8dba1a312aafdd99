#pragma once
// The XML adapter: a parsed document and read-only views of its elements. The
// only unit that sees libxml2. Documents come from the network, so parsing is
// hardened: no entity substitution, no DTD (a document carrying one is refused),
// no network or file access, and bounds on size and nesting.
//
// A document and its elements may be read from any one thread at a time;
// separate documents may be parsed and read on different threads at once.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A view of one element; valid while its document lives (a streamed child:
// during its handler). A null view stands
// for "no such element".
class KMXMLElement {
 public:
  KMXMLElement() = default;
  bool isNull() const { return m_node == nullptr; }

  std::string_view localName() const;
  // Empty when the element has no namespace.
  std::string_view namespaceURI() const;
  bool isNamed(std::string_view localName, std::string_view namespaceURI) const;
  // The text of every text and CDATA node below, in document order.
  std::string textContent() const;

  std::vector<KMXMLElement> childElements() const;
  // First direct child element with this local name and namespace; null if none.
  KMXMLElement firstChildElementNamed(std::string_view localName,
                                      std::string_view namespaceURI) const;

 private:
  friend class KMXMLDocument;
  friend class KMXMLStreamParser;
  explicit KMXMLElement(const void* node) : m_node(node) {}
  // An element of a streamed child: a node of the parser's own light tree.
  KMXMLElement(const void* node, const void* tree) : m_node(node), m_tree(tree) {}
  const void* m_node = nullptr;
  const void* m_tree = nullptr;
};

class KMXMLDocument {
 public:
  struct Limits {
    std::size_t maxBytes = 64u * 1024 * 1024;
    int maxDepth = 128;
  };

  // Nothing when the bytes are not a well-formed, namespace-valid document
  // within the limits, or when they carry a document type declaration.
  static std::optional<KMXMLDocument> parse(std::string_view bytes, Limits limits);
  static std::optional<KMXMLDocument> parse(std::string_view bytes) { return parse(bytes, Limits{}); }

  KMXMLElement rootElement() const;

 private:
  explicit KMXMLDocument(std::shared_ptr<void> document) : m_document(std::move(document)) {}
  std::shared_ptr<void> m_document;
};

// Parses a document as its bytes arrive, hardened and bounded as
// KMXMLDocument::parse is. Each complete child element of the root goes to the
// handler, in document order, and is freed after it, so a long document never
// stands in memory whole. Whether the document was acceptable is known only at
// finish(): a false result voids what the handler saw. One thread at a time.
class KMXMLStreamParser {
 public:
  using RootChildHandler = std::function<void(const KMXMLElement& child)>;
  explicit KMXMLStreamParser(RootChildHandler handler, KMXMLDocument::Limits limits = {});
  ~KMXMLStreamParser();
  KMXMLStreamParser(const KMXMLStreamParser&) = delete;
  KMXMLStreamParser& operator=(const KMXMLStreamParser&) = delete;

  // False once the bytes so far cannot start an acceptable document; from
  // then on nothing more is parsed.
  bool feed(std::string_view bytes);
  // Ends the document; true when it was acceptable as a whole.
  bool finish();

 private:
  struct State;
  std::unique_ptr<State> m_state;
};
