#pragma once
// The process's root object: the window, the navigation stack with the root
// folder browser at its bottom, and the sign-in state. Signed out it shows the
// login screen and listens for a token; signed in it listens for an
// authentication failure and signs out half a second after the first one.
// Its (Disk) half turns the manager's failures into alerts and keeps the
// account figures in the settings. Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/NotificationCenter.h"
#include "platform/ObserverToken.h"
#include "platform/RunLoop.h"
#include "screens/browsing/KMDirectorySelectionViewController.h"
#include "screens/settings/KAWizardViewController.h"
#include "screens/settings/KMApplicationLogout.h"
#include "uikit/UIApplicationDelegate.h"
#include "uikit/KMKeyCommand.h"
#include "uikit/UIKitDefines.h"

class KMWebDAVFileManager;

namespace kdisk {

class KMDirectoryViewController;
class UINavigationController;
class UIViewController;
class UIWindow;

class KalumoDiskAppDelegate : public UIApplicationDelegate,
                              public KMApplicationLogout,
                              public KMDirectorySelectionViewControllerDelegate,
                              public KAWizardViewControllerDelegate,
                              public std::enable_shared_from_this<KalumoDiskAppDelegate> {
 public:
  struct Dependencies {
    // Nothing: the process's shared manager.
    std::shared_ptr<KMWebDAVFileManager> manager;
    // Nothing: the start-up fetch on a thread of its own.
    std::function<void()> startStartupFetch;
    // Nothing: no first-run pages are shown (makeFirstRunWizard makes the real ones).
    std::function<std::shared_ptr<UIViewController>(KalumoDiskAppDelegate&)> makeWizard;
  };
  // The four first-run pages in a navigation controller of their own,
  // closing through `delegate`'s wizardClosed.
  static std::shared_ptr<UIViewController> makeFirstRunWizard(KalumoDiskAppDelegate& delegate);
  static constexpr double kLogoutDelay = 0.5;

  explicit KalumoDiskAppDelegate(std::shared_ptr<UIWindow> window, Dependencies dependencies = {});
  ~KalumoDiskAppDelegate() override;

  UIWindow* window() const override { return m_window.get(); }
  const std::shared_ptr<KMDirectoryViewController>& rootDirectoryController() const {
    return m_rootDirectoryController;
  }
  const std::shared_ptr<UINavigationController>& mainNavigationController() const {
    return m_mainNavigationController;
  }
  std::shared_ptr<KMWebDAVFileManager> fileManager() const;

  bool applicationDidFinishLaunchingWithOptions(UIApplication& application,
                                                const Dictionary& options) override;
  void performStartUp();
  void showLoginDialogAnimatedWithLoginErrorNotificationCompletion(
      KMAnimated animated, std::optional<Notification> notification, std::function<void()> completion);
  void showWizardDialogAnimated(KMAnimated animated);
  void wizardClosed() override;
  void connectionDidAuthenticate(const Notification& notification);
  void connectionDidFailedToAuthenticate(const Notification& notification);
  void doLogoutAfterDelayWithLoginErrorNotification(const Notification& notification);
  void logoutWithLoginErrorNotificationAnimated(const Notification* notification, KMAnimated animated) override;
  void observeValueForKeyPath(const std::string& key);

  // The desktop's keys: Escape leaves the modal screen, a search or the
  // folder; Ctrl+F searches the folder; F5 lists it afresh; Delete asks to
  // delete the picked rows. False when the key does nothing here.
  bool handleKeyCommand(KMKeyCommand command);

  // (OpenURL) Files handed over by other programs; only local files are
  // taken, and only while someone is signed in. The person picks a folder;
  // the file is queued for upload into it under its own name. Files handed
  // over while that picker is up join it rather than replace it.
  bool canOpenURL(const URL& url) const;
  bool applicationOpenURLSourceApplicationAnnotation(UIApplication& application, const URL& url,
                                                     const std::string& sourceApplication,
                                                     const Value& annotation) override;
  bool applicationHandleOpenURL(UIApplication& application, const URL& url);
  // The launch's verdict on a URL handed over at launch (true without one).
  bool openURLApplicationDidFinishLaunchingWithOptions(const Dictionary& options) const;
  void openURL(const URL& url);
  void openDirectorySelectionDialogForFileURL(const URL& fileURL);
  void directorySelectionViewControllerDidSelectDirectoryWithURL(KMDirectorySelectionViewController& controller,
                                                                 const URL& url) override;
  void directorySelectionViewControllerDidCancel(KMDirectorySelectionViewController& controller) override;

  static std::string appVersionString();
  static std::string buildNumberString();
  static std::string fullVersionString();

  // (Disk)
  void diskApplicationDidFinishLaunchingWithOptions(const Dictionary& options);
  void didFailToRemoveItemAtURL(const Notification& notification);
  void didFailToCreateDirectory(const Notification& notification);
  void didReceiveUserInfo(const Notification& notification);

  // Which notification the sign-in state listens for now.
  bool observesAuthentication() const { return m_authenticationObservation.isActive(); }
  bool observesAuthenticationFailure() const { return m_failureObservation.isActive(); }

 private:
  void observeAuthentication();
  void observeAuthenticationFailure();
  void showFailureAlert(const Notification& notification, const char* formatKey, const char* fallback);
  // The navigation controller holding the open-in picker while it is presented.
  UIViewController* presentedOpenInSelection() const;

  std::shared_ptr<UIWindow> m_window;
  Dependencies m_dependencies;
  std::shared_ptr<KMDirectoryViewController> m_rootDirectoryController;
  std::shared_ptr<UINavigationController> m_mainNavigationController;
  ObserverToken m_authenticationObservation;
  ObserverToken m_failureObservation;
  std::vector<ObserverToken> m_settingsObservations;
  std::vector<ObserverToken> m_managerObservations;
  std::optional<std::string> m_lastUUID;
  std::optional<TimerId> m_pendingLogout;
  // The open-in picker and the files that joined it after the first.
  std::weak_ptr<UIViewController> m_openInSelection;
  std::vector<URL> m_joinedFileURLs;
};

}  // namespace kdisk
