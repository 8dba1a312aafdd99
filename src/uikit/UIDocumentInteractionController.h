#pragma once
// Hands a local file to another program: the open-in menu lists the desktop
// applications registered for the file's content type (the desktop's default
// first) in an action sheet that closes itself when the application goes to
// the background, and starts the one chosen with the file. Main thread; held
// by shared_ptr, and kept alive by its sheet while the sheet shows.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/DesktopApplications.h"
#include "platform/KMError.h"
#include "platform/URL.h"
#include "uikit/UIActionSheet.h"

namespace kdisk {

class UIDocumentInteractionController;
class UIView;

class UIDocumentInteractionControllerDelegate {
 public:
  virtual ~UIDocumentInteractionControllerDelegate() = default;
  virtual void documentInteractionControllerDidEndSendingToApplication(UIDocumentInteractionController& controller,
                                                                      const DesktopApplication& application) {
    (void)controller, (void)application;
  }
  // The chosen application could not be started.
  virtual void documentInteractionControllerDidFailToSendToApplication(UIDocumentInteractionController& controller,
                                                                      const DesktopApplication& application,
                                                                      const KMError& error) {
    (void)controller, (void)application, (void)error;
  }
  virtual void documentInteractionControllerDidDismissOpenInMenu(UIDocumentInteractionController& controller) {
    (void)controller;
  }
};

class UIDocumentInteractionController : public UIActionSheetDelegate,
                                        public std::enable_shared_from_this<UIDocumentInteractionController> {
 public:
  static std::shared_ptr<UIDocumentInteractionController> interactionControllerWithURL(URL fileURL);
  explicit UIDocumentInteractionController(URL fileURL);

  const URL& fileURL() const { return m_fileURL; }
  std::shared_ptr<UIDocumentInteractionControllerDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<UIDocumentInteractionControllerDelegate> delegate) {
    m_delegate = std::move(delegate);
  }
  // The applications the menu offers, looked up afresh.
  std::vector<DesktopApplication> applications() const;

  // Shows the menu; false (and nothing shown) when no application opens the file.
  bool presentOpenInMenuFromRectInViewAnimated(CGRect rect, UIView& view, KMAnimated animated);
  void dismissMenuAnimated(KMAnimated animated);

  void actionSheetClickedButtonAtIndex(UIActionSheet& sheet, int buttonIndex) override;
  void actionSheetDidDismissWithButtonIndex(UIActionSheet& sheet, int buttonIndex) override;

 private:
  URL m_fileURL;
  std::weak_ptr<UIDocumentInteractionControllerDelegate> m_delegate;
  std::vector<DesktopApplication> m_offered;
  std::shared_ptr<UIActionSheet> m_sheet;
};

}  // namespace kdisk
