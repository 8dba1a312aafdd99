#pragma once
// The pages of a PDF document one under the other, as wide as the view.
// The document opens on a serial render queue of its own; pages are drawn
// there as they come into view (and the next one ahead), at the screen's
// scale and the current zoom, and pages that leave the neighbourhood of the
// screen give their images back, so memory stays flat however long the
// document is.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "uikit/preview/KMPreviewContentView.h"

namespace kdisk {

class DispatchQueue;
class KMPDFDocument;
class UIImage;
class UIImageView;

class KMPreviewPDFView : public KMPreviewContentView {
 public:
  KMPreviewPDFView(CGRect frame, std::string path);
  ~KMPreviewPDFView() override;

  void load() override;
  bool isShowingContent() const override;
  bool zooms() const override { return true; }

  int pageCount() const { return int(m_pages.size()); }
  // The image page `index` shows now, if drawn.
  std::shared_ptr<UIImage> pageImage(int index) const;
  // The frame of page `index` in content coordinates.
  CGRect pageFrame(int index) const;
  std::size_t drawnPageCount() const;

  static constexpr CGFloat kPageSpacing = 8;

 protected:
  void layoutContentForWidth(CGFloat width) override;
  void boundsDidChange(CGRect oldBounds) override;

 private:
  void didOpen(std::shared_ptr<KMPDFDocument> document, const std::string& failure,
               std::shared_ptr<UIImage> firstPage);
  void updateVisiblePages();
  void requestPage(int index, int pixelWidth);
  void didRenderPage(int index, int pixelWidth, std::shared_ptr<UIImage> image);

  struct Page {
    CGSize size;  // PDF points
    std::shared_ptr<UIImageView> view;
    int requestedPixelWidth = 0;
  };
  struct SharedRange;

  std::string m_path;
  std::shared_ptr<DispatchQueue> m_renderQueue;
  std::shared_ptr<KMPDFDocument> m_document;
  std::shared_ptr<SharedRange> m_wanted;
  std::vector<Page> m_pages;
  bool m_opening = false;
};

}  // namespace kdisk
