#pragma once
// A streaming tokenizer for XML documents in UTF-8, written for long listings:
// it scans the bytes in place, compares names as byte ranges and allocates
// nothing per element once its buffers have grown. It checks well-formedness
// and namespaces as a conforming parser does, refuses any document type
// declaration (no entity but the five predefined ones and character
// references, so nothing is ever fetched or expanded), and reports elements
// with their resolved namespace and the text below the root, line ends
// normalised, to a sink.
//
// Bytes may arrive split at any offset: an unfinished token is carried over
// and only the new bytes are searched for its end. A document whose first
// bytes or declaration name another encoding is not read: the tokenizer stops
// before reporting anything and says so (`needsOtherEncoding`).
//
// One thread at a time; the sink is called on the thread that feeds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "webdav/XMLPendingToken.h"

class XMLTokenizer {
 public:
  // Returning false from any event refuses the document.
  class Sink {
   public:
    virtual ~Sink() = default;
    virtual bool startElement(std::string_view localName, std::string_view namespaceURI) = 0;
    virtual bool endElement() = 0;
    // Text inside the root element, in pieces.
    virtual bool characters(std::string_view text) = 0;
  };

  explicit XMLTokenizer(Sink& sink);

  // False once the document is refused, or found to be in another encoding.
  bool feed(std::string_view bytes);
  // True when the bytes were one whole acceptable document.
  bool finish();

  bool needsOtherEncoding() const { return m_otherEncoding; }
  // Until then bytes fed may yet turn out to be in another encoding.
  bool encodingSettled() const { return m_phase != Phase::Start; }

 private:
  enum class Phase { Start, Prolog, Content, Epilog };
  enum class Step { Done, More, Fail };
  struct Attribute {
    std::string_view name;
    std::size_t colon = 0;  // 0: no prefix
    std::string_view value;
    std::string_view namespaceURI;
  };
  struct Binding {
    std::uint32_t prefixOffset, prefixLength, uriOffset, uriLength;
  };
  struct OpenElement {
    std::uint32_t nameOffset, nameLength;
    std::uint32_t bindings;  // bindings in force before it
    std::uint32_t bindingText;
  };

  std::size_t process(const char* begin, const char* end);
  Step more() const { return m_final ? Step::Fail : Step::More; }
  Step start(const char* at, const char* end, const char*& next);
  Step markup(const char* at, const char* end, const char*& next);
  Step text(const char* at, const char* end, const char*& next);
  Step reference(const char* at, const char* end, const char*& next, std::string& out);
  Step startTag(const char* at, const char* end, const char*& next);
  Step endTag(const char* at, const char* end, const char*& next);
  Step markupCharacters(const char*& p, const char* end, char stop, bool& carriageReturn);
  Step comment(const char* at, const char* end, const char*& next);
  Step instruction(const char* at, const char* end, const char*& next);
  Step cdata(const char* at, const char* end, const char*& next);
  Step name(const char* at, const char* end, const char*& next, std::size_t& colon, bool& qualified);
  Step wideCharacter(const char*& p, const char* end) const;
  Step attributeValue(const char* at, const char* end, const char*& next);
  using Key = std::pair<std::string_view, std::string_view>;
  bool openElement(std::string_view name, std::size_t colon, bool empty);
  template <typename KeyOf> bool hasDuplicates(KeyOf keyOf);
  bool closeElement();
  bool bindNamespace(const Attribute& attribute);
  bool resolve(std::string_view prefix, std::string_view& uri) const;
  void normalizeValue(std::string_view value, std::string& out);

  Sink& m_sink;
  Phase m_phase = Phase::Start;
  bool m_failed = false;
  bool m_otherEncoding = false;
  bool m_final = false;

  std::string m_carry;  // an unfinished token
  XMLPendingToken m_pending;

  std::string m_openNames;
  std::vector<OpenElement> m_open;
  std::string m_bindingText;
  std::vector<Binding> m_bindings;
  std::vector<Attribute> m_attributes;
  std::vector<Key> m_keys;
  std::string m_scratch;
  std::string m_value;
};
