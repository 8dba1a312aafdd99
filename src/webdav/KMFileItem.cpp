#include "webdav/KMFileItem.h"

std::string KMFileItem::lastPathComponentName() const { return m_URL.lastPathComponent(); }

std::string KMFileItem::displayName() const {
  if (m_displayName) return *m_displayName;
  return lastPathComponentName();
}
