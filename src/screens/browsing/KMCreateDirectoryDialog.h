#pragma once
// Asks for the name of a new folder inside `parentDirURL` and hands it to the
// file operations manager. It does not wait for the service: right after the
// hand-over it tells its delegate the name it sent, and the presenter
// dismisses it; the outcome arrives as the manager's notifications.
// Presented inside a navigation controller of its own. Main thread; the
// delegate is held weakly and each of its calls is optional.
#include <memory>
#include <optional>
#include <string>

#include "platform/URL.h"
#include "uikit/KATextField.h"
#include "uikit/UIAlertView.h"
#include "uikit/UIViewController.h"

class KMWebDAVFileManager;

namespace kdisk {

class KMCreateDirectoryDialog;

class KMCreateDirectoryDialogDelegate {
 public:
  virtual ~KMCreateDirectoryDialogDelegate() = default;
  virtual void createDirectoryDialogDidCreateDirectoryWithName(KMCreateDirectoryDialog& dialog,
                                                               const std::string& name) {
    (void)dialog, (void)name;
  }
  virtual void createDirectoryDialogDidCancel(KMCreateDirectoryDialog& dialog) { (void)dialog; }
};

class KMCreateDirectoryDialog : public UIViewController,
                                public UITextFieldDelegate,
                                public UIAlertViewDelegate {
 public:
  static constexpr std::size_t kMaximumNameLength = 255;
  static constexpr CGFloat kFieldHeight = 41;

  KMCreateDirectoryDialog();
  ~KMCreateDirectoryDialog() override;

  std::shared_ptr<KMCreateDirectoryDialogDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<KMCreateDirectoryDialogDelegate> delegate) { m_delegate = std::move(delegate); }
  const std::optional<URL>& parentDirURL() const { return m_parentDirURL; }
  void setParentDirURL(std::optional<URL> url) { m_parentDirURL = std::move(url); }
  // The entry field while the view is loaded.
  KATextField* folderName() const { return m_folderName.get(); }

  // Validation and hand-over of the raw text, as Done and the return key do.
  void createDirectoryWithName(const std::string& text);
  static bool isFolderNameContainsInvalidSymbols(const std::string& text);
  // The name sent for valid text: trimmed, the default name when nothing is
  // left, at most 255 characters.
  static std::string folderNameForText(const std::string& text);

  void cancelButtonTouched();
  void doneButtonTouched();

  // The manager the name goes to; the shared one unless a test sets another.
  void setFileManagerForTesting(std::shared_ptr<KMWebDAVFileManager> manager) {
    m_fileManager = std::move(manager);
  }

  void loadView() override;
  void viewDidLoad() override;
  void viewDidUnload() override;
  void viewWillAppear(KMAnimated animated) override;
  void viewDidAppear(KMAnimated animated) override;

  bool textFieldShouldChangeCharactersInRangeReplacementString(UITextField& field, NSRange range,
                                                               const std::string& replacement) override;
  bool textFieldShouldReturn(UITextField& field) override;
  void alertViewDidDismissWithButtonIndex(UIAlertView& alertView, int buttonIndex) override;

 private:
  std::shared_ptr<KMWebDAVFileManager> fileManager();
  void layoutField();

  std::weak_ptr<KMCreateDirectoryDialogDelegate> m_delegate;
  std::optional<URL> m_parentDirURL;
  std::shared_ptr<KATextField> m_folderName;
  std::shared_ptr<KMWebDAVFileManager> m_fileManager;
};

}  // namespace kdisk
