#include "webdav/KMProp.h"

#include <climits>

#include "webdav/KMRFC822DateFormatter.h"

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view skipLeadingSpace(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  return text;
}

std::string makeFullname(const KMXMLNamespace& xmlNamespace, const std::string& name) {
  std::string uri = xmlNamespace.URI;
  if (!uri.empty() && uri.back() == ':') uri.pop_back();
  return uri + ":" + name;
}

}  // namespace

long long KMParseLongLongPrefix(std::string_view text) {
  text = skipLeadingSpace(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // Accumulate towards the sign's limit so LLONG_MIN is reachable and any
  // longer run of digits pins at the limit instead of wrapping.
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    const int digit = c - '0';
    if (negative) {
      if (value < (LLONG_MIN + digit) / 10) return LLONG_MIN;
      value = value * 10 - digit;
    } else {
      if (value > (LLONG_MAX - digit) / 10) return LLONG_MAX;
      value = value * 10 + digit;
    }
  }
  return value;
}

KMProp::KMProp(std::string name, KMXMLNamespace xmlNamespace)
    : m_name(std::move(name)), m_namespace(std::move(xmlNamespace)),
      m_fullname(makeFullname(m_namespace, m_name)) {}

std::optional<kdisk::Value> KMProp::valueForXMLElement(const KMXMLElement& element) const {
  return kdisk::Value(element.textContent());
}

std::string KMProp::description() const { return "Prop < " + m_fullname + " >"; }

std::optional<kdisk::Value> KMBoolProp::valueForXMLElement(const KMXMLElement& element) const {
  const std::string content = element.textContent();
  std::string_view text = skipLeadingSpace(content);
  if (text.empty()) return kdisk::Value(false);
  const char c = text.front();
  return kdisk::Value(c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9'));
}

std::optional<kdisk::Value> KMLongLongProp::valueForXMLElement(const KMXMLElement& element) const {
  return kdisk::Value(KMParseLongLongPrefix(element.textContent()));
}

std::optional<kdisk::Value> KMIntegerProp::valueForXMLElement(const KMXMLElement& element) const {
  static_assert(sizeof(long) == sizeof(long long), "the platform integer is 64-bit here");
  return kdisk::Value(static_cast<long>(KMParseLongLongPrefix(element.textContent())));
}

std::optional<kdisk::Value> KMResourceTypeProp::valueForXMLElement(const KMXMLElement& element) const {
  const bool collection = !element.firstChildElementNamed("collection", kKMWebDAVDAVNamespaceURI).isNull();
  return kdisk::Value(collection ? 1 : 0);
}

std::optional<kdisk::Value> KMDateRFC822Prop::valueForXMLElement(const KMXMLElement& element) const {
  auto date = rfc822DateFormatter().dateFromString(element.textContent());
  if (!date) return std::nullopt;
  return kdisk::Value(*date);
}
