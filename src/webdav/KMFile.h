#pragma once
// A remote file with its size, modification date and entity tag.

#include <cstdint>

#include "platform/Value.h"
#include "webdav/KMFileItem.h"

class KMFile : public KMFileItem {
 public:
  using KMFileItem::KMFileItem;
  static std::shared_ptr<KMFile> fileItemWithURL(kdisk::URL url) {
    return std::make_shared<KMFile>(std::move(url));
  }

  std::uint64_t size() const { return m_size; }
  void setSize(std::uint64_t size) { m_size = size; }
  const std::optional<kdisk::Date>& lastModified() const { return m_lastModified; }
  void setLastModified(std::optional<kdisk::Date> date) { m_lastModified = date; }
  // As the server sent it, quotes included.
  const std::optional<std::string>& etag() const { return m_etag; }
  void setEtag(std::optional<std::string> etag) { m_etag = std::move(etag); }

 private:
  std::uint64_t m_size = 0;
  std::optional<kdisk::Date> m_lastModified;
  std::optional<std::string> m_etag;
};
