#pragma once
// A remote directory (WebDAV collection). The four standard folders show their
// localized names whatever the server calls them.

#include "webdav/KMFileItem.h"

class KMDirectory : public KMFileItem {
 public:
  using KMFileItem::KMFileItem;
  static std::shared_ptr<KMDirectory> fileItemWithURL(kdisk::URL url) {
    return std::make_shared<KMDirectory>(std::move(url));
  }

  // "/disk", "/disk/Documents", "/disk/Images", "/disk/Music" (whole, decoded,
  // without a trailing "/") give their text from the "DiskCommon" table;
  // every other path gives nothing.
  static std::optional<std::string> localizedNameForFolderWithPath(const std::string& path);

  std::string displayName() const override;
  bool isDirectory() const override { return true; }
};
