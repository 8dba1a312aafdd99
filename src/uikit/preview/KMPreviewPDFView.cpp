#include "uikit/preview/KMPreviewPDFView.h"

#include <atomic>
#include <cmath>

#include "graphics/Screen.h"
#include "graphics/UIImage.h"
#include "platform/Bundle.h"
#include "platform/DispatchQueue.h"
#include "platform/Log.h"
#include "uikit/UIImageView.h"
#include "uikit/preview/KMPDFDocument.h"

namespace kdisk {

// The pages the screen wants now, read by the render queue so it skips
// pages that scrolled away before their turn came.
struct KMPreviewPDFView::SharedRange {
  std::atomic<int> first{0};
  std::atomic<int> last{-1};
};

namespace {
// Pages kept drawn beyond those on screen, on each side.
constexpr int kPagesAround = 1;
}  // namespace

KMPreviewPDFView::KMPreviewPDFView(CGRect frame, std::string path)
    : KMPreviewContentView(frame),
      m_path(std::move(path)),
      m_renderQueue(DispatchQueue::createSerial("ru.kalumo.disk.preview.pdf")),
      m_wanted(std::make_shared<SharedRange>()) {}

KMPreviewPDFView::~KMPreviewPDFView() {
  // Pending renders see an empty range and skip their pages.
  m_wanted->first = 0;
  m_wanted->last = -1;
}

void KMPreviewPDFView::load() {
  if (m_opening || m_document) return;
  m_opening = true;
  showSpinner(true);
  std::weak_ptr<KMPreviewPDFView> weak = weakSelf<KMPreviewPDFView>();
  // The first page is drawn in the same trip as the opening, at the width
  // it will have, so it shows without a second hop.
  const double scale = mainScreenScale();
  const int firstPageWidth = int(std::lround((bounds().size.width * zoomScale() - 2 * kPageSpacing) * scale));
  m_renderQueue->async([weak, path = m_path, firstPageWidth, scale] {
    auto opened = KMPDFDocument::open(path);
    std::shared_ptr<KMPDFDocument> document = opened.hasValue() ? opened.value() : nullptr;
    std::string failure = opened.hasValue() ? std::string() : opened.error().localizedDescription;
    std::shared_ptr<UIImage> firstPage = document ? document->renderPage(0, firstPageWidth, scale) : nullptr;
    dispatchMain([weak, document, failure, firstPage] {
      if (auto self = weak.lock()) self->didOpen(document, failure, firstPage);
    });
  });
}

void KMPreviewPDFView::didOpen(std::shared_ptr<KMPDFDocument> document, const std::string& failure,
                               std::shared_ptr<UIImage> firstPage) {
  m_opening = false;
  showSpinner(false);
  if (!document) {
    logger("KMPreviewPDFView", LogLevel::Warning)->warn("Cannot open PDF '{}': {}", m_path, failure);
    showMessage(KMLocalizedString("PreviewDocumentDamaged",
                                  "Не удалось показать документ: файл повреждён.",
                                  "QLPreviewController"));
    return;
  }
  m_document = std::move(document);
  for (const CGSize& size : m_document->pageSizes()) {
    Page page{size, std::make_shared<UIImageView>(), 0};
    page.view->setUserInteractionEnabled(false);
    page.view->setBackgroundColor(UIColor::whiteColor());
    addSubview(page.view);
    m_pages.push_back(std::move(page));
  }
  if (firstPage) m_pages.front().view->setImage(std::move(firstPage));
  layoutContentForWidth(bounds().size.width * zoomScale());
}

void KMPreviewPDFView::layoutContentForWidth(CGFloat width) {
  if (m_pages.empty() || width <= 0) {
    setContentSize(CGSizeZero);
    return;
  }
  const CGFloat pageWidth = width - 2 * kPageSpacing;
  CGFloat y = kPageSpacing;
  for (Page& page : m_pages) {
    const CGFloat height = std::round(pageWidth * page.size.height / page.size.width);
    page.view->setFrame(CGRectMake(kPageSpacing, y, pageWidth, height));
    y += height + kPageSpacing;
  }
  setContentSize(CGSizeMake(width, y));
  updateVisiblePages();
}

void KMPreviewPDFView::boundsDidChange(CGRect oldBounds) {
  KMPreviewContentView::boundsDidChange(oldBounds);
  updateVisiblePages();
}

void KMPreviewPDFView::updateVisiblePages() {
  if (m_pages.empty()) return;
  const CGRect area = bounds();
  int first = -1, last = -1;
  for (int index = 0; index < pageCount(); ++index) {
    const CGRect frame = m_pages[std::size_t(index)].view->frame();
    if (CGRectGetMaxY(frame) < area.origin.y || frame.origin.y > CGRectGetMaxY(area)) continue;
    if (first < 0) first = index;
    last = index;
  }
  if (first < 0) return;
  first = std::max(0, first - kPagesAround);
  last = std::min(pageCount() - 1, last + kPagesAround);
  m_wanted->first = first;
  m_wanted->last = last;
  const double scale = mainScreenScale();
  for (int index = 0; index < pageCount(); ++index) {
    Page& page = m_pages[std::size_t(index)];
    if (index < first || index > last) {
      page.view->setImage(nullptr);
      page.requestedPixelWidth = 0;
      continue;
    }
    const int pixelWidth = int(std::lround(page.view->frame().size.width * scale));
    const auto& shown = page.view->image();
    const bool current = shown && shown->pixelWidth() == pixelWidth;
    if (!current && page.requestedPixelWidth != pixelWidth) requestPage(index, pixelWidth);
  }
}

void KMPreviewPDFView::requestPage(int index, int pixelWidth) {
  m_pages[std::size_t(index)].requestedPixelWidth = pixelWidth;
  std::weak_ptr<KMPreviewPDFView> weak = weakSelf<KMPreviewPDFView>();
  const double scale = mainScreenScale();
  m_renderQueue->async([weak, document = m_document, wanted = m_wanted, index, pixelWidth, scale] {
    std::shared_ptr<UIImage> image;
    if (index >= wanted->first && index <= wanted->last) image = document->renderPage(index, pixelWidth, scale);
    dispatchMain([weak, index, pixelWidth, image] {
      if (auto self = weak.lock()) self->didRenderPage(index, pixelWidth, image);
    });
  });
}

void KMPreviewPDFView::didRenderPage(int index, int pixelWidth, std::shared_ptr<UIImage> image) {
  if (index < 0 || index >= pageCount()) return;
  Page& page = m_pages[std::size_t(index)];
  // A render for an older width or for a page that scrolled away is dropped.
  if (page.requestedPixelWidth != pixelWidth) return;
  page.requestedPixelWidth = 0;
  if (image) page.view->setImage(std::move(image));
}

bool KMPreviewPDFView::isShowingContent() const {
  return !m_pages.empty() && m_pages.front().view->image() != nullptr;
}

std::shared_ptr<UIImage> KMPreviewPDFView::pageImage(int index) const {
  if (index < 0 || index >= pageCount()) return nullptr;
  return m_pages[std::size_t(index)].view->image();
}

CGRect KMPreviewPDFView::pageFrame(int index) const {
  if (index < 0 || index >= pageCount()) return CGRectZero;
  return m_pages[std::size_t(index)].view->frame();
}

std::size_t KMPreviewPDFView::drawnPageCount() const {
  std::size_t count = 0;
  for (const Page& page : m_pages) count += page.view->image() ? 1 : 0;
  return count;
}

}  // namespace kdisk
