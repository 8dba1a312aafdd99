// Opening cached files in the viewer on the headless host at scale 2: a
// 20 MB JPEG and a 100-page PDF, from the push of the viewer to the first
// frame that shows the picture or the first page. The reference is the work
// alone, in the same run: decoding the same picture at the same size, and
// opening the document and drawing its first page at the same width. The
// target ratio is at most 1.5. Then the PDF is read to its end, page by
// page, and the peak memory of that scroll is printed (target under 200 MiB:
// pages off screen are dropped).
#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "graphics/UIImage.h"
#include "graphics/UIImageRepresentation.h"
#include "platform/RunLoop.h"
#include "screens/viewing/KACustomViewer.h"
#include "uikit/KMHeadlessHost.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIWindow.h"
#include "uikit/preview/KMPDFDocument.h"
#include "uikit/preview/KMPreviewPDFView.h"
#include "uikit/preview/KMPreviewPictureView.h"

namespace {

using namespace kdisk;
using Stopwatch = std::chrono::steady_clock;
constexpr int kRounds = 9;

double millisecondsSince(Stopwatch::time_point start) {
  return std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Kilobytes of a line of /proc/self/status ("VmRSS", "VmHWM").
long statusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line))
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  return -1;
}

// A photo-sized picture of smooth gradients under fine noise, so the JPEG
// carries detail the way a camera's does.
std::string writeLargeJPEG(const std::filesystem::path& path) {
  const int width = 6000, height = 4000;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  std::minstd_rand noise(7);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
    for (int x = 0; x < width; ++x) {
      const int grain = int(noise() % 90);
      const std::uint32_t red = std::uint32_t((x * 255 / width + grain) % 256);
      const std::uint32_t green = std::uint32_t((y * 255 / height + grain) % 256);
      const std::uint32_t blue = std::uint32_t(((x + y) % 256 + grain) % 256);
      row[x] = 0xFF000000u | red << 16 | green << 8 | blue;
    }
  }
  cairo_surface_mark_dirty(surface);
  auto image = UIImage::imageWithSurface(surface, 1, "bench picture");
  auto bytes = UIImageJPEGRepresentation(image.get(), 0.92);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes->data()),
                                              std::streamsize(bytes->size()));
  return std::to_string(bytes->size() / 1000000.0).substr(0, 4) + " MB, " + std::to_string(width) + "x" +
         std::to_string(height);
}

// A 100-page A4 report: a heading, forty lines of text and a chart per page.
void writeLongPDF(const std::filesystem::path& path, int pages) {
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), 595, 842);
  cairo_t* context = cairo_create(surface);
  for (int page = 1; page <= pages; ++page) {
    cairo_set_source_rgb(context, 0, 0, 0);
    cairo_select_font_face(context, "DejaVu Serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(context, 22);
    cairo_move_to(context, 60, 80);
    cairo_show_text(context, ("Chapter " + std::to_string(page)).c_str());
    cairo_select_font_face(context, "DejaVu Serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(context, 10);
    for (int line = 0; line < 40; ++line) {
      cairo_move_to(context, 60, 120 + line * 14);
      cairo_show_text(context, "The quarterly figures of the storage service, its users and their files, "
                               "line after line.");
    }
    for (int bar = 0; bar < 12; ++bar) {
      cairo_set_source_rgb(context, 0.2 + bar * 0.05, 0.4, 0.8 - bar * 0.04);
      const double barHeight = 20 + ((page * 7 + bar * 13) % 120);
      cairo_rectangle(context, 60 + bar * 38, 800 - barHeight, 28, barHeight);
      cairo_fill(context);
    }
    cairo_show_page(context);
  }
  cairo_destroy(context);
  cairo_surface_destroy(surface);
}

class OneFile : public QLPreviewControllerDataSource {
 public:
  explicit OneFile(URL file) : m_file(std::move(file)) {}
  std::size_t numberOfPreviewItemsInPreviewController(QLPreviewController&) override { return 1; }
  std::optional<URL> previewControllerPreviewItemAtIndex(QLPreviewController&, std::size_t) override {
    return m_file;
  }

 private:
  URL m_file;
};

struct Screen {
  KMHeadlessHost host{2};
  std::shared_ptr<UINavigationController> navigation =
      std::make_shared<UINavigationController>(std::make_shared<UIViewController>());
  Screen() {
    host.setRootViewController(navigation);
    host.settle();
  }
};

// Push → the first frame drawn with content in it, in milliseconds.
double openInViewer(Screen& screen, const std::shared_ptr<OneFile>& file) {
  const auto start = Stopwatch::now();
  auto viewer = std::make_shared<KACustomViewer>();
  viewer->setDataSource(file);
  viewer->setCurrentPreviewItemIndex(0);
  screen.navigation->pushViewControllerAnimated(viewer, KMAnimated::No);
  screen.host.settle();
  const double pushed = millisecondsSince(start);
  if (!RunLoop::main().runUntil([&] { return viewer->isShowingContent(); }, 120)) {
    std::fprintf(stderr, "the viewer showed no content\n");
    std::exit(1);
  }
  const double shown = millisecondsSince(start);
  screen.host.snapshot();
  const double elapsed = millisecondsSince(start);
  if (std::getenv("KDISK_BENCH_DETAIL"))
    std::printf("  push %.1f, content %.1f, frame %.1f ms\n", pushed, shown - pushed, elapsed - shown);
  screen.navigation->popViewControllerAnimated(KMAnimated::No);
  screen.host.settle();
  return elapsed;
}

void scrollThroughPDF(Screen& screen, const std::shared_ptr<OneFile>& file) {
  auto viewer = std::make_shared<KACustomViewer>();
  viewer->setDataSource(file);
  viewer->setCurrentPreviewItemIndex(0);
  screen.navigation->pushViewControllerAnimated(viewer, KMAnimated::No);
  screen.host.settle();
  RunLoop::main().runUntil([&] { return viewer->isShowingContent(); }, 120);
  auto* pages = static_cast<KMPreviewPDFView*>(viewer->contentView());
  // Reset the peak so it measures the scroll alone (Linux 4.0 and later).
  std::ofstream("/proc/self/clear_refs") << "5";
  const long before = statusKilobytes("VmRSS");
  long highest = before;
  std::size_t mostDrawn = 0;
  const auto start = Stopwatch::now();
  const CGFloat bottom = pages->maximumContentOffset().y;
  for (CGFloat y = 0; y <= bottom; y += 120) {
    pages->setContentOffset({0, y});
    const CGRect area = pages->bounds();
    // Like a reader: wait until the pages on screen are drawn.
    RunLoop::main().runUntil(
        [&] {
          for (int index = 0; index < pages->pageCount(); ++index) {
            const CGRect frame = pages->pageFrame(index);
            if (CGRectGetMaxY(frame) >= area.origin.y && frame.origin.y <= CGRectGetMaxY(area) &&
                !pages->pageImage(index))
              return false;
          }
          return true;
        },
        30);
    screen.host.snapshot();
    highest = std::max(highest, statusKilobytes("VmRSS"));
    mostDrawn = std::max(mostDrawn, pages->drawnPageCount());
  }
  const double seconds = millisecondsSince(start) / 1000;
  const long peak = statusKilobytes("VmHWM");
  std::printf("PDF scroll, %d pages at scale 2: %.1f s; RSS %.1f MiB before, highest sampled %.1f MiB, "
              "peak (VmHWM) %.1f MiB (budget 200 MiB); at most %zu pages drawn at once\n",
              pages->pageCount(), seconds, before / 1024.0, highest / 1024.0, peak / 1024.0, mostDrawn);
  screen.navigation->popViewControllerAnimated(KMAnimated::No);
  screen.host.settle();
}

}  // namespace

int main() {
  RunLoop::main();
  const auto folder = std::filesystem::temp_directory_path() / ("kdisk-viewer-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto pdfPath = folder / "report.pdf";
  const auto jpegPath = folder / "photo.jpg";
  writeLongPDF(pdfPath, 100);
  Screen screen;
  auto pdf = std::make_shared<OneFile>(URL::fileURLWithPath(pdfPath.string()));
  auto jpeg = std::make_shared<OneFile>(URL::fileURLWithPath(jpegPath.string()));

  // Memory first, before the picture's buffers raise the process's peak.
  scrollThroughPDF(screen, pdf);

  const std::string pictureFacts = writeLargeJPEG(jpegPath);
  const int dimension = KMPreviewPictureView::decodingPixelDimension();
  std::vector<double> decode, viewPicture;
  openInViewer(screen, jpeg);  // warm the file cache and the fonts
  for (int round = 0; round < kRounds; ++round) {
    auto start = Stopwatch::now();
    auto image = UIImage::imageWithContentsOfFileFittingPixelDimension(jpegPath.string(), dimension);
    decode.push_back(millisecondsSince(start));
    viewPicture.push_back(openInViewer(screen, jpeg));
  }
  std::printf("JPEG %s, push -> first frame: %.1f ms; decoding alone at %d px: %.1f ms; ratio %.2f\n",
              pictureFacts.c_str(), median(viewPicture), dimension, median(decode),
              median(viewPicture) / median(decode));

  std::vector<double> firstPage, viewDocument;
  const int pageWidth = int((320 - 2 * KMPreviewPDFView::kPageSpacing) * 2);
  openInViewer(screen, pdf);
  for (int round = 0; round < kRounds; ++round) {
    auto start = Stopwatch::now();
    auto document = KMPDFDocument::open(pdfPath.string());
    auto page = document.value()->renderPage(0, pageWidth, 2);
    firstPage.push_back(millisecondsSince(start));
    viewDocument.push_back(openInViewer(screen, pdf));
  }
  std::printf("PDF 100 pages, push -> first frame: %.1f ms; open and draw page 1 alone at %d px: %.1f ms; "
              "ratio %.2f\n",
              median(viewDocument), pageWidth, median(firstPage), median(viewDocument) / median(firstPage));
  std::filesystem::remove_all(folder);
  return 0;
}
