#pragma once
// The preview screen of a cached file: the document preview with a share
// button that opens the file in another application or, for a picture, saves
// a copy into the photo album. The directory browser pushes it as its own
// data source at item 0. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/PhotoLibrary.h"
#include "platform/URL.h"
#include "uikit/UIActionSheet.h"
#include "uikit/UIDocumentInteractionController.h"
#include "uikit/preview/QLPreviewController.h"

namespace kdisk {

class UIActivityIndicatorView;
class UIBarButtonItem;

class KACustomViewer : public QLPreviewController,
                       public UIActionSheetDelegate,
                       public UIDocumentInteractionControllerDelegate {
 public:
  KACustomViewer();
  ~KACustomViewer() override;

  static constexpr int kPictureSheetTag = 9830;
  static constexpr int kDocumentSheetTag = 9831;

  // True for the picture types the album takes: gif, jpg, jpeg, png.
  static bool canSaveToTheGallary(const URL& url);

  void shareButtonTouched();
  void openIn();
  void saveCurrentPreviewItem();
  void saveImageToPhotosAlbum(const std::string& path);

  const std::shared_ptr<UIDocumentInteractionController>& doc() const { return m_doc; }
  UIActivityIndicatorView* saveSpinner() const { return m_saveSpinner.get(); }
  UIBarButtonItem* shareButton() const { return m_shareButton.get(); }
  // The library saves go to; the user's by default.
  void setPhotoLibrary(PhotoLibrary library) { m_photoLibrary = std::move(library); }

  void viewDidLoad() override;
  void viewDidUnload() override;

  void actionSheetClickedButtonAtIndex(UIActionSheet& sheet, int buttonIndex) override;
  void documentInteractionControllerDidFailToSendToApplication(UIDocumentInteractionController& controller,
                                                              const DesktopApplication& application,
                                                              const KMError& error) override;

 private:
  void showAlert(const std::string& message);
  void didSaveImage(const std::optional<KMError>& error);
  std::shared_ptr<UIActivityIndicatorView> m_saveSpinner;
  std::shared_ptr<UIBarButtonItem> m_shareButton;
  std::shared_ptr<UIDocumentInteractionController> m_doc;
  PhotoLibrary m_photoLibrary;
};

}  // namespace kdisk
