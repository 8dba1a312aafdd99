#pragma once
// A PDF file opened for showing its pages: page count, page sizes and pages
// drawn into images at a chosen width. The underlying library is not safe
// for concurrent use of one document, so each document is used from one
// serial queue at a time (the preview's render queue); the object itself may
// be released on any thread.
#include <memory>
#include <string>
#include <vector>

#include "graphics/CGGeometry.h"
#include "platform/Expected.h"

namespace kdisk {

class UIImage;

inline constexpr const char* kKMPDFDocumentErrorDomain = "KMPDFDocumentErrorDomain";

class KMPDFDocument {
 public:
  static Expected<std::shared_ptr<KMPDFDocument>> open(const std::string& path);
  ~KMPDFDocument();
  KMPDFDocument(const KMPDFDocument&) = delete;
  KMPDFDocument& operator=(const KMPDFDocument&) = delete;

  int pageCount() const { return int(m_pageSizes.size()); }
  // Sizes in PDF points, read once at opening.
  const std::vector<CGSize>& pageSizes() const { return m_pageSizes; }
  // The page on white, `pixelWidth` pixels wide, the height in proportion;
  // the image has `scale` pixels per point. Null when the page cannot be drawn.
  std::shared_ptr<UIImage> renderPage(int index, int pixelWidth, double scale) const;

 private:
  struct Handle;
  explicit KMPDFDocument(std::unique_ptr<Handle> handle);
  std::unique_ptr<Handle> m_handle;
  std::vector<CGSize> m_pageSizes;
};

}  // namespace kdisk
