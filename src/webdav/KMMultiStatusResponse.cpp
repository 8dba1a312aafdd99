#include "webdav/KMMultiStatusResponse.h"

#include <fmt/format.h>

std::string KMAbstractResponse::description() const {
  return fmt::format("<{}: {}>: status code:{}", className(), static_cast<const void*>(this), m_statusCode);
}

std::string KMPropstatResponse::description() const {
  std::string values = "{\n";
  for (const auto& [key, value] : m_propValues) values += "    " + key + " = " + value.description() + ";\n";
  values += "}";
  return fmt::format("{}\nPropvalues:\n{}", KMAbstractResponse::description(), values);
}

const kdisk::Dictionary* KMMultiStatusResponse::successPropValues() const {
  for (const auto& propstat : m_propstats) {
    if (propstat->statusCode() == 200) return &propstat->propValues();
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
