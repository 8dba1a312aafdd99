#pragma once
// Real files for the document preview's tests: pictures encoded by the
// graphics layer, PDF documents drawn with cairo's PDF surface, text.
#include <cairo-pdf.h>
#include <cairo.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "graphics/UIImage.h"
#include "graphics/UIImageRepresentation.h"
#include "uikit/preview/QLPreviewControllerDataSource.h"

namespace kdisk::test {

// The files a preview shows, in order.
class FileList : public QLPreviewControllerDataSource {
 public:
  std::vector<URL> files;
  std::size_t numberOfPreviewItemsInPreviewController(QLPreviewController&) override { return files.size(); }
  std::optional<URL> previewControllerPreviewItemAtIndex(QLPreviewController&, std::size_t index) override {
    return files.at(index);
  }
};

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

// A picture of `width`×`height` pixels: a red top half over a blue bottom
// half, with a green square in the top-left quarter.
inline std::shared_ptr<UIImage> makeTestPicture(int width, int height) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* context = cairo_create(surface);
  cairo_set_source_rgb(context, 0.85, 0.1, 0.1);
  cairo_rectangle(context, 0, 0, width, height / 2.0);
  cairo_fill(context);
  cairo_set_source_rgb(context, 0.1, 0.2, 0.85);
  cairo_rectangle(context, 0, height / 2.0, width, height / 2.0);
  cairo_fill(context);
  cairo_set_source_rgb(context, 0.1, 0.7, 0.2);
  cairo_rectangle(context, width / 8.0, height / 8.0, width / 4.0, width / 4.0);
  cairo_fill(context);
  cairo_destroy(context);
  return UIImage::imageWithSurface(surface, 1, "test picture");
}

inline std::string jpegBytes(int width, int height, double quality = 0.9) {
  auto bytes = UIImageJPEGRepresentation(makeTestPicture(width, height).get(), quality);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

inline std::string pngBytes(int width, int height) {
  auto bytes = UIImagePNGRepresentation(makeTestPicture(width, height).get());
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

// A PDF of `pages` A5 pages; page n says "Page n" in large letters over a
// band whose colour alternates: red on odd pages, blue on even ones.
inline void writeTestPDF(const std::filesystem::path& path, int pages) {
  const double width = 420, height = 595;
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), width, height);
  cairo_t* context = cairo_create(surface);
  for (int page = 1; page <= pages; ++page) {
    if (page % 2)
      cairo_set_source_rgb(context, 0.85, 0.1, 0.1);
    else
      cairo_set_source_rgb(context, 0.1, 0.2, 0.85);
    cairo_rectangle(context, 0, 0, width, height / 3);
    cairo_fill(context);
    cairo_set_source_rgb(context, 0, 0, 0);
    cairo_select_font_face(context, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(context, 48);
    cairo_move_to(context, 60, height / 2);
    cairo_show_text(context, ("Page " + std::to_string(page)).c_str());
    cairo_show_page(context);
  }
  cairo_destroy(context);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
}

}  // namespace kdisk::test
