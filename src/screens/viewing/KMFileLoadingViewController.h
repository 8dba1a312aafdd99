#pragma once
// The screen of a file that is not in the local cache yet, or that cannot be
// previewed: it downloads the file through the manager with a progress bar,
// shows a failure panel with a reload button, or offers to open the file in
// another application. The directory browser pushes it (made with
// initWithURL, given state 3 for a cached file it cannot preview) and, when
// the download of a previewable file ends, replaces it with the viewer.
// Main thread. Owns its download request and cancels it when it goes.
//
// States and the calls between them:
//   0 waiting --first progress of a file over 51,200 bytes--> 1 progress
//   0, 1 --didFailToDownloadFile--> 2 failed;  2 --touchedReloadButton--> 0
//   0, 1 --didDownloadFile, not previewable--> 3 cannot preview
//   (a previewable file is taken over by the browser)
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/ObserverToken.h"
#include "platform/RunLoop.h"
#include "platform/URL.h"
#include "uikit/UIAlertView.h"
#include "uikit/UIDocumentInteractionController.h"
#include "uikit/UIViewController.h"

class KMDiskRequest;
class KMWebDAVFileManager;

namespace kdisk {

class UIActivityIndicatorView;
class UIBarButtonItem;
class UIImageView;
class UILabel;
struct Notification;

enum KMFileLoadingState : int {
  KMFileLoadingStateWaiting = 0,
  KMFileLoadingStateProgress = 1,
  KMFileLoadingStateFailed = 2,
  KMFileLoadingStateCannotPreview = 3,
};

class KMFileLoadingViewController : public UIViewController,
                                    public UIDocumentInteractionControllerDelegate,
                                    public UIAlertViewDelegate {
 public:
  // Over the shared manager.
  static std::shared_ptr<KMFileLoadingViewController> initWithURL(const kdisk::URL& url);
  static std::shared_ptr<KMFileLoadingViewController> initWithURLManager(
      const kdisk::URL& url, std::shared_ptr<KMWebDAVFileManager> manager);
  KMFileLoadingViewController(const kdisk::URL& url, std::shared_ptr<KMWebDAVFileManager> manager);
  ~KMFileLoadingViewController() override;

  const kdisk::URL& URL() const { return m_URL; }
  int state() const { return m_state; }
  void setState(int state);
  const std::shared_ptr<KMDiskRequest>& downloadingRequest() const { return m_downloadingRequest; }
  const std::shared_ptr<UIDocumentInteractionController>& doc() const { return m_doc; }

  void startDownloadFileForURL(const kdisk::URL& url);
  void cancelCurrentDownload();
  void touchedReloadButton();
  void touchedOpenInButton();
  void updateInterfaceForCurrentState();

  void didGetPartialDataForFile(const Notification& notification);
  void didDownloadFile(const Notification& notification);
  void didFailToDownloadFile(const Notification& notification);

  void loadView() override;
  void viewDidLoad() override;
  void viewWillDisappear(KMAnimated animated) override;
  void viewDidUnload() override;

  // Outlets, for the tests that look at the screen.
  UILabel* titleLabel() const { return m_titleLabel.get(); }
  UILabel* progressLabel() const { return m_progressLabel.get(); }
  UIView* greyBar() const { return m_greyBar.get(); }
  UIView* blueBar() const { return m_blueBar.get(); }
  UIView* progressBarView() const { return m_progressBarView.get(); }
  UIView* unknownFileView() const { return m_unknownFileView.get(); }
  UILabel* unknownFileViewTitleLabel() const { return m_unknownFileViewTitleLabel.get(); }
  UILabel* unknownFileViewTextLabel() const { return m_unknownFileViewTextLabel.get(); }
  UIView* failedFileView() const { return m_failedFileView.get(); }
  UILabel* failedFileViewTitleLabel() const { return m_failedFileViewTitleLabel.get(); }
  UILabel* failedFileViewTextLabel() const { return m_failedFileViewTextLabel.get(); }
  UIActivityIndicatorView* activityIndicator() const { return m_activityIndicator.get(); }

  static constexpr std::uint64_t kProgressThreshold = 51200;
  static constexpr double kDownloadStartDelay = 0.3;

  void documentInteractionControllerDidFailToSendToApplication(UIDocumentInteractionController& controller,
                                                              const DesktopApplication& application,
                                                              const KMError& error) override;

 private:
  bool isMine(const Notification& notification) const;
  std::optional<kdisk::URL> localFileURL() const;
  void showAlert(const std::string& message);
  std::weak_ptr<KMFileLoadingViewController> weakSelf();

  kdisk::URL m_URL;
  std::shared_ptr<KMWebDAVFileManager> m_manager;
  int m_state = KMFileLoadingStateWaiting;
  std::shared_ptr<KMDiskRequest> m_downloadingRequest;
  std::shared_ptr<UIDocumentInteractionController> m_doc;
  bool m_firstOpening = true;
  TimerId m_delayedStart = 0;
  ObserverToken m_partialObservation, m_finishObservation, m_failureObservation;

  std::shared_ptr<UILabel> m_titleLabel, m_progressLabel;
  std::shared_ptr<UIView> m_greyBar, m_blueBar, m_progressBackground, m_progressBarView;
  std::shared_ptr<UIView> m_unknownFileView, m_failedFileView;
  std::shared_ptr<UILabel> m_unknownFileViewTitleLabel, m_unknownFileViewTextLabel;
  std::shared_ptr<UILabel> m_failedFileViewTitleLabel, m_failedFileViewTextLabel;
  std::shared_ptr<UIActivityIndicatorView> m_activityIndicator;
  std::shared_ptr<UIBarButtonItem> m_reloadButton, m_openInButton;
};

}  // namespace kdisk
