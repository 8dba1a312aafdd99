#pragma once
// One decoded WebDAV response of a multistatus body, and its propstats. Built on
// the parsing thread, then handed on read-only.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/URL.h"
#include "platform/Value.h"

class KMAbstractResponse {
 public:
  virtual ~KMAbstractResponse() = default;
  unsigned statusCode() const { return m_statusCode; }
  void setStatusCode(unsigned code) { m_statusCode = code; }
  // "<KMPropstatResponse: 0x...>: status code:200"
  virtual std::string description() const;
  virtual const char* className() const { return "KMAbstractResponse"; }

 private:
  unsigned m_statusCode = 0;
};

class KMPropstatResponse : public KMAbstractResponse {
 public:
  // Full property name -> decoded value, or Null when the value did not decode.
  // Made on first use from decoded values: a listing reads them by name
  // and never needs the map.
  const kdisk::Dictionary& propValues() const;
  void setPropValues(kdisk::Dictionary values);
  // On a fresh propstat: values[i] is what was decoded for the property whose
  // full name is (*fullnames)[i], nothing when its element was absent. Where
  // two share a full name the later present one counts, as in a map filled
  // in order.
  void setDecodedValues(std::shared_ptr<const std::vector<std::string>> fullnames,
                        std::vector<std::optional<kdisk::Value>> values);
  // What propValues() holds under the name; nullptr when it holds nothing.
  const kdisk::Value* valueForFullname(std::string_view fullname) const;
  std::string description() const override;
  const char* className() const override { return "KMPropstatResponse"; }

 private:
  std::shared_ptr<const std::vector<std::string>> m_fullnames;
  std::vector<std::optional<kdisk::Value>> m_values;
  mutable std::once_flag m_madeMap;
  mutable kdisk::Dictionary m_propValues;
};

class KMMultiStatusResponse : public KMAbstractResponse {
 public:
  const kdisk::URL& URL() const { return m_URL; }
  void setURL(kdisk::URL url) { m_URL = std::move(url); }
  const std::vector<std::shared_ptr<KMPropstatResponse>>& propstats() const { return m_propstats; }
  void setPropstats(std::vector<std::shared_ptr<KMPropstatResponse>> propstats) {
    m_propstats = std::move(propstats);
  }
  // The values of the first propstat with status 200; nothing when none has it.
  const kdisk::Dictionary* successPropValues() const;
  // That propstat itself.
  const KMPropstatResponse* successPropstat() const;
  std::string description() const override;
  const char* className() const override { return "KMMultiStatusResponse"; }

 private:
  kdisk::URL m_URL;
  std::vector<std::shared_ptr<KMPropstatResponse>> m_propstats;
};

using KMMultiStatusResponseList = std::vector<std::shared_ptr<KMMultiStatusResponse>>;
