#include "uikit/preview/QLPreviewController.h"

#include "platform/Bundle.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIView.h"
#include "uikit/preview/KMPreviewPDFView.h"
#include "uikit/preview/KMPreviewPictureView.h"
#include "uikit/preview/KMPreviewTextView.h"

namespace kdisk {

namespace {

// The content view of a file that cannot be shown: only its message.
class KMPreviewUnavailableView : public KMPreviewContentView {
 public:
  KMPreviewUnavailableView(CGRect frame, std::string text) : KMPreviewContentView(frame), m_text(std::move(text)) {}
  void load() override { showMessage(m_text); }
  bool isShowingContent() const override { return false; }

 protected:
  void layoutContentForWidth(CGFloat width) override { setContentSize(CGSizeMake(width, 0)); }

 private:
  std::string m_text;
};

}  // namespace

QLPreviewController::QLPreviewController() = default;
QLPreviewController::~QLPreviewController() = default;

bool QLPreviewController::canPreviewItem(const URL& fileURL) {
  return fileURL.isFileURL() && KMPreviewKindOfFile(fileURL.path()) != KMPreviewKind::None;
}

void QLPreviewController::setCurrentPreviewItemIndex(std::size_t index) {
  if (index == m_currentIndex && !m_needsReload) return;
  m_currentIndex = index;
  reloadData();
}

std::optional<URL> QLPreviewController::currentPreviewItem() {
  auto source = dataSource();
  if (!source || m_currentIndex >= source->numberOfPreviewItemsInPreviewController(*this)) return std::nullopt;
  return source->previewControllerPreviewItemAtIndex(*this, m_currentIndex);
}

void QLPreviewController::reloadData() {
  m_needsReload = true;
  if (isViewLoaded()) showCurrentItem();
}

bool QLPreviewController::isShowingContent() const {
  return m_contentView && m_contentView->isShowingContent();
}

void QLPreviewController::loadView() {
  auto root = std::make_shared<UIView>(CGRectMake(0, 0, 320, 416));
  root->setBackgroundColor(UIColor::colorWithWhiteAlpha(0.9, 1));
  root->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  setView(root);
}

void QLPreviewController::viewWillAppear(KMAnimated animated) {
  UIViewController::viewWillAppear(animated);
  if (m_needsReload) showCurrentItem();
}

void QLPreviewController::showCurrentItem() {
  m_needsReload = false;
  if (m_contentView) m_contentView->removeFromSuperview();
  m_contentView.reset();
  auto root = view();
  const std::optional<URL> item = currentPreviewItem();
  m_kind = item && item->isFileURL() ? KMPreviewKindOfFile(item->path()) : KMPreviewKind::None;
  const CGRect frame = root->bounds();
  switch (m_kind) {
    case KMPreviewKind::Picture:
      m_contentView = std::make_shared<KMPreviewPictureView>(frame, item->path());
      break;
    case KMPreviewKind::PDF:
      m_contentView = std::make_shared<KMPreviewPDFView>(frame, item->path());
      break;
    case KMPreviewKind::Text:
      m_contentView = std::make_shared<KMPreviewTextView>(frame, item->path());
      break;
    case KMPreviewKind::None:
      m_contentView = std::make_shared<KMPreviewUnavailableView>(
          frame, KMLocalizedString("PreviewUnavailable", "Этот файл нельзя просмотреть.", "QLPreviewController"));
      break;
  }
  navigationItem().setTitle(item ? item->lastPathComponent() : std::string());
  m_contentView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  root->addSubview(m_contentView);
  m_contentView->load();
}

}  // namespace kdisk
