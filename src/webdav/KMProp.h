#pragma once
// Descriptors of WebDAV properties: which element a PROPFIND asks for and how
// the returned element becomes a value. Immutable after creation, so one
// descriptor may decode on several threads at once. Descriptors are equal when
// their full names are.
//
// The family is kept in one header: each member differs only in its decoder.

#include <memory>
#include <optional>
#include <string>

#include "platform/Value.h"
#include "webdav/KMWebDAV.h"
#include "webdav/KMXMLDocument.h"

class KMProp {
 public:
  KMProp(std::string name, KMXMLNamespace xmlNamespace);
  virtual ~KMProp() = default;
  static std::shared_ptr<KMProp> propWithNameXmlns(std::string name, KMXMLNamespace xmlNamespace) {
    return std::make_shared<KMProp>(std::move(name), std::move(xmlNamespace));
  }

  const std::string& name() const { return m_name; }
  const KMXMLNamespace& xmlNamespace() const { return m_namespace; }
  // Namespace URI (one trailing ":" dropped) + ":" + name; the key of the
  // decoded value in a property-value map.
  const std::string& fullname() const { return m_fullname; }
  // Nothing when the element's content cannot be decoded.
  virtual std::optional<kdisk::Value> valueForXMLElement(const KMXMLElement& element) const;
  // "Prop < DAV:getetag >"
  std::string description() const;

  bool operator==(const KMProp& other) const { return m_fullname == other.m_fullname; }

 private:
  std::string m_name;
  KMXMLNamespace m_namespace;
  std::string m_fullname;
};

using KMPropList = std::vector<std::shared_ptr<const KMProp>>;

// A helper so every member has the factory that makes its own kind.
template <typename Derived> class KMPropKind : public KMProp {
 public:
  using KMProp::KMProp;
  static std::shared_ptr<Derived> propWithNameXmlns(std::string name, KMXMLNamespace xmlNamespace) {
    return std::make_shared<Derived>(std::move(name), std::move(xmlNamespace));
  }
};

// True when the text, after leading white space, starts with Y, y, T, t or 1-9.
class KMBoolProp : public KMPropKind<KMBoolProp> {
 public:
  using KMPropKind::KMPropKind;
  std::optional<kdisk::Value> valueForXMLElement(const KMXMLElement& element) const override;
};

// Signed 64-bit decimal prefix of the text; 0 without digits; saturating.
class KMLongLongProp : public KMPropKind<KMLongLongProp> {
 public:
  using KMPropKind::KMPropKind;
  std::optional<kdisk::Value> valueForXMLElement(const KMXMLElement& element) const override;
};

// Same rule at the platform's integer width (64-bit here).
class KMIntegerProp : public KMPropKind<KMIntegerProp> {
 public:
  using KMPropKind::KMPropKind;
  std::optional<kdisk::Value> valueForXMLElement(const KMXMLElement& element) const override;
};

// 1 when the element holds a DAV: "collection" child, else 0.
class KMResourceTypeProp : public KMPropKind<KMResourceTypeProp> {
 public:
  using KMPropKind::KMPropKind;
  std::optional<kdisk::Value> valueForXMLElement(const KMXMLElement& element) const override;
};

// An RFC 1123 date ("Tue, 15 Nov 1994 12:45:26 GMT"); nothing for other forms.
class KMDateRFC822Prop : public KMPropKind<KMDateRFC822Prop> {
 public:
  using KMPropKind::KMPropKind;
  std::optional<kdisk::Value> valueForXMLElement(const KMXMLElement& element) const override;
};

// The decimal-prefix rule shared by the integer decoders.
long long KMParseLongLongPrefix(std::string_view text);
