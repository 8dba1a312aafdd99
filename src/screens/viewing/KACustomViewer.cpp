#include "screens/viewing/KACustomViewer.h"

#include <algorithm>
#include <cctype>

#include "platform/Bundle.h"
#include "uikit/UIActionSheetAutoDismiss.h"
#include "uikit/CALayer.h"
#include "uikit/UIActivityIndicatorView.h"
#include "uikit/UIAlertViewAutoDismiss.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UIImageWriteToSavedPhotosAlbum.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIView.h"

namespace kdisk {

namespace {
constexpr const char* kTable = "KACustomViewer";
constexpr int kSaveButtonIndex = 0;

std::string saveTitle() { return KMLocalizedString("Save to the gallery", "Сохранить в галерею", kTable); }
std::string openInTitle() { return KMLocalizedString("Open in...", "Открыть в...", kTable); }
}  // namespace

KACustomViewer::KACustomViewer() = default;
KACustomViewer::~KACustomViewer() = default;

bool KACustomViewer::canSaveToTheGallary(const URL& url) {
  std::string extension = url.pathExtension();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return extension == "gif" || extension == "jpg" || extension == "jpeg" || extension == "png";
}

void KACustomViewer::viewDidLoad() {
  QLPreviewController::viewDidLoad();
  std::weak_ptr<KACustomViewer> weak = std::static_pointer_cast<KACustomViewer>(sharedController());
  m_shareButton = UIBarButtonItem::itemWithImageStyleAction(UIImage::imageNamed("share_icon"),
                                                            UIBarButtonItemStyle::Bordered, [weak](UIBarButtonItem&) {
                                                              if (auto self = weak.lock()) self->shareButtonTouched();
                                                            });
  navigationItem().setRightBarButtonItemAnimated(m_shareButton, KMAnimated::No);
  m_saveSpinner = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyle::WhiteLarge);
  m_saveSpinner->sizeToFit();
  const CGRect area = view()->bounds();
  const CGSize side = m_saveSpinner->bounds().size;
  // A dark rounded square behind the white wheel keeps it visible on any picture.
  m_saveSpinner->setBackgroundColor(UIColor::colorWithWhiteAlpha(0, 0.6));
  m_saveSpinner->layer().setCornerRadius(10);
  m_saveSpinner->setFrame(CGRectMake((area.size.width - side.width - 30) / 2, (area.size.height - side.height - 30) / 2,
                                     side.width + 30, side.height + 30));
  m_saveSpinner->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                                     UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
  view()->addSubview(m_saveSpinner);
}

void KACustomViewer::viewDidUnload() {
  QLPreviewController::viewDidUnload();
  m_saveSpinner.reset();
}

void KACustomViewer::shareButtonTouched() {
  auto item = currentPreviewItem();
  if (!item) return;
  std::weak_ptr<UIActionSheetDelegate> delegate = std::static_pointer_cast<KACustomViewer>(sharedController());
  const bool picture = canSaveToTheGallary(*item);
  std::vector<std::string> buttons;
  if (picture) buttons.push_back(saveTitle());
  buttons.push_back(openInTitle());
  auto sheet = std::make_shared<UIActionSheetAutoDismiss>(std::string(), delegate, KMLocalizedString("Cancel", "Отмена"),
                                                          std::nullopt, std::move(buttons));
  sheet->setTag(picture ? kPictureSheetTag : kDocumentSheetTag);
  sheet->showInView(*view());
}

void KACustomViewer::actionSheetClickedButtonAtIndex(UIActionSheet& sheet, int buttonIndex) {
  if (buttonIndex == sheet.cancelButtonIndex()) return;
  if (sheet.tag() == kPictureSheetTag) {
    if (buttonIndex == kSaveButtonIndex)
      saveCurrentPreviewItem();
    else if (buttonIndex == 1)
      openIn();
  } else if (sheet.tag() == kDocumentSheetTag && buttonIndex == 0) {
    openIn();
  }
}

void KACustomViewer::openIn() {
  auto item = currentPreviewItem();
  if (item) {
    m_doc = UIDocumentInteractionController::interactionControllerWithURL(*item);
    m_doc->setDelegate(std::static_pointer_cast<KACustomViewer>(sharedController()));
    if (m_doc->presentOpenInMenuFromRectInViewAnimated(view()->bounds(), *view(), KMAnimated::Yes)) return;
  }
  showAlert(KMLocalizedString("AttachCantShowAlertMessage", "Нет приложений, которые могут открыть этот файл.",
                              "KMFileLoadingViewController"));
}

void KACustomViewer::documentInteractionControllerDidFailToSendToApplication(UIDocumentInteractionController& controller,
                                                                            const DesktopApplication& application,
                                                                            const KMError& error) {
  (void)controller, (void)application, (void)error;
  showAlert(KMLocalizedString("AttachCantShowAlertMessage", "Нет приложений, которые могут открыть этот файл.",
                              "KMFileLoadingViewController"));
}

void KACustomViewer::saveCurrentPreviewItem() {
  auto item = currentPreviewItem();
  if (!item || !item->isFileURL()) return;
  if (m_saveSpinner) m_saveSpinner->startAnimating();
  if (m_shareButton) m_shareButton->setEnabled(false);
  saveImageToPhotosAlbum(item->path());
}

void KACustomViewer::saveImageToPhotosAlbum(const std::string& path) {
  std::weak_ptr<KACustomViewer> weak = std::static_pointer_cast<KACustomViewer>(sharedController());
  UIImageFileWriteToSavedPhotosAlbum(path, m_photoLibrary, [weak](const Expected<std::string>& saved) {
    auto self = weak.lock();
    if (!self) return;
    self->didSaveImage(saved.hasValue() ? std::nullopt : std::optional<KMError>(saved.error()));
  });
}

void KACustomViewer::didSaveImage(const std::optional<KMError>& error) {
  if (m_saveSpinner) m_saveSpinner->stopAnimating();
  if (m_shareButton) m_shareButton->setEnabled(true);
  if (error)
    showAlert(KMLocalizedString("Failed to save the picture in the gallery",
                                "Не удалось сохранить картинку в галерею", kTable));
}

void KACustomViewer::showAlert(const std::string& message) {
  auto alert = std::make_shared<UIAlertViewAutoDismiss>(std::string(), message, std::weak_ptr<UIAlertViewDelegate>(),
                                                        KMLocalizedString("OK", "OK"), std::vector<std::string>());
  alert->show();
}

}  // namespace kdisk
