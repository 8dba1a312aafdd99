#include "uikit/preview/KMPDFDocument.h"

#include <poppler.h>

#include <algorithm>
#include <cmath>

#include "graphics/CairoOwners.h"
#include "graphics/UIImage.h"
#include "platform/GLibOwners.h"

namespace kdisk {
namespace {
// A forged page size must not make one page ask for gigabytes.
constexpr int kMaximumPagePixels = 8192;
} // namespace

struct KMPDFDocument::Handle {
  glib::Object<PopplerDocument> owner;
  PopplerDocument* document = nullptr;
};

KMPDFDocument::KMPDFDocument(std::unique_ptr<Handle> handle) : m_handle(std::move(handle)) {
  const int count = poppler_document_get_n_pages(m_handle->document);
  m_pageSizes.reserve(std::size_t(std::max(count, 0)));
  for (int index = 0; index < count; ++index) {
    double width = 0, height = 0;
    if (glib::Object<PopplerPage> page{poppler_document_get_page(m_handle->document, index)})
      poppler_page_get_size(page.get(), &width, &height);
    // An unreadable page keeps its place at the size of a letter page.
    if (!(width > 0 && height > 0))
      width = 612, height = 792;
    m_pageSizes.push_back(CGSizeMake(width, height));
  }
}

KMPDFDocument::~KMPDFDocument() = default;

Expected<std::shared_ptr<KMPDFDocument>> KMPDFDocument::open(const std::string& path) {
  GError* error = nullptr;
  glib::Object<GFile> file(g_file_new_for_path(path.c_str()));
  glib::Object<PopplerDocument> document(poppler_document_new_from_gfile(file.get(), nullptr, nullptr, &error));
  if (!document) {
    KMError failure(kKMPDFDocumentErrorDomain, error ? error->code : 0,
                    error ? error->message : "The document cannot be read");
    g_clear_error(&error);
    return failure;
  }
  auto handle = std::make_unique<Handle>();
  handle->document = document.get();
  handle->owner = std::move(document);
  std::shared_ptr<KMPDFDocument> result(new KMPDFDocument(std::move(handle)));
  if (result->pageCount() == 0)
    return KMError(kKMPDFDocumentErrorDomain, 0, "The document has no pages");
  return result;
}

std::shared_ptr<UIImage> KMPDFDocument::renderPage(int index, int pixelWidth, double scale) const {
  if (index < 0 || index >= pageCount() || pixelWidth <= 0)
    return nullptr;
  const CGSize size = m_pageSizes[std::size_t(index)];
  const int width = std::min(pixelWidth, kMaximumPagePixels);
  const int height =
      std::clamp(int(std::lround(width * size.height / size.width)), 1, kMaximumPagePixels);
  glib::Object<PopplerPage> page(poppler_document_get_page(m_handle->document, index));
  if (!page)
    return nullptr;
  cairo::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    return nullptr;
  {
    const cairo::Context context(cairo_create(surface.get()));
    cairo_set_source_rgb(context.get(), 1, 1, 1);
    cairo_paint(context.get());
    cairo_scale(context.get(), width / size.width, height / size.height);
    poppler_page_render(page.get(), context.get());
  }
  cairo_surface_flush(surface.get());
  return UIImage::imageWithSurface(surface.release(), scale,
                                   "PDF page " + std::to_string(index + 1));
}

} // namespace kdisk
