#include "uikit/preview/KMPreviewPictureView.h"

#include <cmath>

#include "graphics/Screen.h"
#include "graphics/UIImage.h"
#include "platform/Bundle.h"
#include "platform/DispatchQueue.h"
#include "uikit/UIImageView.h"
#include "uikit/UIScreen.h"

namespace kdisk {

KMPreviewPictureView::KMPreviewPictureView(CGRect frame, std::string path)
    : KMPreviewContentView(frame), m_path(std::move(path)) {
  m_imageView = std::make_shared<UIImageView>();
  m_imageView->setUserInteractionEnabled(false);
  m_imageView->setContentMode(UIViewContentMode::ScaleToFill);
  addSubview(m_imageView);
}

KMPreviewPictureView::~KMPreviewPictureView() = default;

int KMPreviewPictureView::decodingPixelDimension() {
  const CGRect screen = UIScreen::mainScreen().bounds();
  return int(std::ceil(std::max(screen.size.width, screen.size.height) * kDoubleTapZoom *
                       mainScreenScale()));
}

void KMPreviewPictureView::load() {
  if (m_loading || image()) return;
  m_loading = true;
  showSpinner(true);
  std::weak_ptr<KMPreviewPictureView> weak = weakSelf<KMPreviewPictureView>();
  const int dimension = decodingPixelDimension();
  dispatchBackground([weak, path = m_path, dimension] {
    auto decoded = UIImage::imageWithContentsOfFileFittingPixelDimension(path, dimension);
    dispatchMain([weak, decoded] {
      if (auto self = weak.lock()) self->didDecode(decoded);
    });
  });
}

void KMPreviewPictureView::didDecode(std::shared_ptr<UIImage> image) {
  m_loading = false;
  showSpinner(false);
  if (!image) {
    showMessage(KMLocalizedString("PreviewPictureDamaged",
                                  "Не удалось показать картинку: файл повреждён или в неизвестном формате.",
                                  "QLPreviewController"));
    return;
  }
  m_imageView->setImage(std::move(image));
  layoutContentForWidth(bounds().size.width * zoomScale());
}

bool KMPreviewPictureView::isShowingContent() const { return m_imageView->image() != nullptr; }

const std::shared_ptr<UIImage>& KMPreviewPictureView::image() const { return m_imageView->image(); }

void KMPreviewPictureView::layoutContentForWidth(CGFloat width) {
  const auto& picture = m_imageView->image();
  if (!picture || width <= 0) {
    setContentSize(CGSizeZero);
    return;
  }
  const CGSize size = picture->size();
  const CGFloat height = std::round(width * size.height / std::max<CGFloat>(size.width, 1));
  // A picture shorter than the view sits in its middle.
  const CGFloat top = std::max<CGFloat>(0, std::round((bounds().size.height - height) / 2));
  m_imageView->setFrame(CGRectMake(0, top, width, height));
  setContentSize(CGSizeMake(width, std::max(height + top, height)));
}

}  // namespace kdisk
