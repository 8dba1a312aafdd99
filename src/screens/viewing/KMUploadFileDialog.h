#pragma once
// The modal screen that adds to a folder: pictures and videos from the photo
// library (several at once in our own picker; one file through the desktop's
// chooser when the library cannot be read), the camera where the platform
// has one, or a new folder. What is picked goes to the manager's upload
// queue, and the delegate hears that uploads started. Presented inside a
// navigation controller of its own. Main thread; the delegate is held weakly.
#include <memory>
#include <optional>

#include "platform/URL.h"
#include "screens/browsing/KMCreateDirectoryDialog.h"
#include "screens/viewing/ELCImagePickerController.h"
#include "uikit/UIButton.h"
#include "uikit/UIImageView.h"
#include "uikit/UIImagePickerController.h"
#include "uikit/UILabel.h"
#include "uikit/UIViewController.h"

class KMWebDAVFileManager;

namespace kdisk {

class KMUploadFileDialog;

class KMUploadFileDialogDelegate {
 public:
  virtual ~KMUploadFileDialogDelegate() = default;
  // Files were queued or a folder was made.
  virtual void didStartUploadFiles(KMUploadFileDialog& dialog) { (void)dialog; }
  virtual void didCancelUploadFileDialog(KMUploadFileDialog& dialog) { (void)dialog; }
};

class KMUploadFileDialog : public UIViewController,
                           public KMCreateDirectoryDialogDelegate,
                           public UIImagePickerControllerDelegate,
                           public ELCImagePickerControllerDelegate,
                           public UIAlertViewDelegate {
 public:
  explicit KMUploadFileDialog(URL dirURL);
  ~KMUploadFileDialog() override;

  const URL& dirURL() const { return m_dirURL; }
  std::shared_ptr<KMUploadFileDialogDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<KMUploadFileDialogDelegate> delegate) { m_delegate = std::move(delegate); }

  // Outlets, while the view is loaded.
  UILabel* directoryNameLabel() const { return m_directoryNameLabel.get(); }
  UIButton* buttonGallery() const { return m_buttonGallery.get(); }
  UIButton* buttonMakePhoto() const { return m_buttonMakePhoto.get(); }
  UIButton* buttonMakeFolder() const { return m_buttonMakeFolder.get(); }
  UIImageView* smallBottomBar() const { return m_smallBottomBar.get(); }

  void libraryButtonTouched();
  void photoButtonTouched();
  void createDirectoryButtonTouched();
  void cancelButtonTouched();

  void openLibraryDialogUsingCustomOrStandartPicker();
  void openLibraryWithELCImagePicker();
  void openLibraryWithStandartImagePicker();
  void notifyDelegateThatUploadWasStarted();

  void setFileManagerForTesting(std::shared_ptr<KMWebDAVFileManager> manager) { m_fileManager = std::move(manager); }

  void loadView() override;
  void viewDidLoad() override;
  void viewDidUnload() override;

  // Multi-selection picker.
  void elcImagePickerControllerDidFinishPickingMediaWithAssets(ELCImagePickerController& picker,
                                                               const PhotoAssetList& assets) override;
  void elcImagePickerControllerDidCancel(ELCImagePickerController& picker) override;
  // The platform's picker and camera.
  void imagePickerControllerDidFinishPickingMediaWithInfo(UIImagePickerController& picker,
                                                          const UIImagePickerMediaInfo& info) override;
  void imagePickerControllerDidCancel(UIImagePickerController& picker) override;
  // Create-folder dialog.
  void createDirectoryDialogDidCreateDirectoryWithName(KMCreateDirectoryDialog& dialog,
                                                       const std::string& name) override;
  void createDirectoryDialogDidCancel(KMCreateDirectoryDialog& dialog) override;

 private:
  std::shared_ptr<KMWebDAVFileManager> fileManager();
  std::shared_ptr<UIButton> makeGroupButton(const char* textKey, const char* fallback, const char* icon,
                                            const char* background, void (KMUploadFileDialog::*action)());
  void showMessage(const std::string& message);
  std::string directoryDisplayName() const;

  URL m_dirURL;
  std::weak_ptr<KMUploadFileDialogDelegate> m_delegate;
  std::shared_ptr<KMWebDAVFileManager> m_fileManager;
  std::shared_ptr<UILabel> m_directoryNameLabel;
  std::shared_ptr<UIImageView> m_directoryNameBackground;
  std::shared_ptr<UIButton> m_buttonGallery;
  std::shared_ptr<UIButton> m_buttonMakePhoto;
  std::shared_ptr<UIButton> m_buttonMakeFolder;
  std::shared_ptr<UIImageView> m_smallBottomBar;
  // A library enumeration has been started and has not opened a picker yet.
  bool m_openingLibrary = false;
};

}  // namespace kdisk
