#include "webdav/KMMultiStatusResponse.h"

#include <fmt/format.h>

#include <algorithm>

std::string KMAbstractResponse::description() const {
  return fmt::format("<{}: {}>: status code:{}", className(), static_cast<const void*>(this), m_statusCode);
}

const kdisk::Dictionary& KMPropstatResponse::propValues() const {
  if (m_fullnames) {
    std::call_once(m_madeMap, [this] {
      for (std::size_t i = 0; i < m_values.size() && i < m_fullnames->size(); ++i) {
        if (m_values[i]) m_propValues.insert_or_assign((*m_fullnames)[i], *m_values[i]);
      }
    });
  }
  return m_propValues;
}

void KMPropstatResponse::setPropValues(kdisk::Dictionary values) {
  m_fullnames.reset();
  m_values.clear();
  m_propValues = std::move(values);
}

void KMPropstatResponse::setDecodedValues(std::shared_ptr<const std::vector<std::string>> fullnames,
                                          std::vector<std::optional<kdisk::Value>> values) {
  m_fullnames = std::move(fullnames);
  m_values = std::move(values);
  m_propValues.clear();
}

const kdisk::Value* KMPropstatResponse::valueForFullname(std::string_view fullname) const {
  if (!m_fullnames) return kdisk::find(m_propValues, fullname);
  for (std::size_t i = std::min(m_values.size(), m_fullnames->size()); i-- > 0;) {
    if (m_values[i] && (*m_fullnames)[i] == fullname) return &*m_values[i];
  }
  return nullptr;
}

std::string KMPropstatResponse::description() const {
  std::string values = "{\n";
  for (const auto& [key, value] : propValues()) values += "    " + key + " = " + value.description() + ";\n";
  values += "}";
  return fmt::format("{}\nPropvalues:\n{}", KMAbstractResponse::description(), values);
}

const kdisk::Dictionary* KMMultiStatusResponse::successPropValues() const {
  const KMPropstatResponse* propstat = successPropstat();
  return propstat ? &propstat->propValues() : nullptr;
}

const KMPropstatResponse* KMMultiStatusResponse::successPropstat() const {
  for (const auto& propstat : m_propstats) {
    if (propstat->statusCode() == 200) return propstat.get();
  }
  return nullptr;
}

std::string KMMultiStatusResponse::description() const {
  std::string text = fmt::format("{}\nURL:{}\nPropstats: (\n", KMAbstractResponse::description(),
                                 m_URL.absoluteString());
  for (const auto& propstat : m_propstats) text += propstat->description() + "\n";
  text += "\n";
  return text;
}
