#include "app/KalumoDiskAppDelegate.h"

#include <algorithm>
#include <thread>

#include "auth/KMOAuthOperation.h"
#include "auth/KMStartupOperation.h"
#include "foundation/KLApplicationVersion.h"
#include "graphics/UIImage.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/Log.h"
#include "screens/auth/KMAuthViewController.h"
#include "screens/browsing/KMDirectoryViewController.h"
#include "settings/KMSettings.h"
#include "storage/KMWebDAVStorage.h"
#include "uikit/UIApplication.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIScreen.h"
#include "uikit/UIWindow.h"
#include "webdav/KMDiskRequest.h"

namespace kdisk {

namespace {
auto& log() {
  static auto instance = logger("app");
  return instance;
}
}  // namespace

KalumoDiskAppDelegate::KalumoDiskAppDelegate(std::shared_ptr<UIWindow> window, Dependencies dependencies)
    : m_window(std::move(window)), m_dependencies(std::move(dependencies)) {}

KalumoDiskAppDelegate::~KalumoDiskAppDelegate() {
  if (m_pendingLogout) RunLoop::main().cancel(*m_pendingLogout);
}

std::shared_ptr<KMWebDAVFileManager> KalumoDiskAppDelegate::fileManager() const {
  return m_dependencies.manager ? m_dependencies.manager : KMWebDAVFileManager::sharedInstance();
}

bool KalumoDiskAppDelegate::applicationDidFinishLaunchingWithOptions(UIApplication&, const Dictionary& options) {
  auto& settings = KMSettings::mainSettings();
  settings.setLaunchCount(settings.launchCount() + 1);

  installConsoleLogger();
  log()->trace("applicationDidFinishLaunchingWithOptions");

  m_rootDirectoryController = std::make_shared<KMDirectoryViewController>(std::nullopt, m_dependencies.manager);
  m_mainNavigationController = std::make_shared<UINavigationController>(m_rootDirectoryController);
  m_window->setRootViewController(m_mainNavigationController);
  m_window->makeKeyAndVisible();

  if (settings.wasSuccessfullyAuthorized())
    observeAuthenticationFailure();
  else
    showLoginDialogAnimatedWithLoginErrorNotificationCompletion(KMAnimated::No, std::nullopt, {});

  std::weak_ptr<KalumoDiskAppDelegate> weak = weak_from_this();
  m_lastUUID = settings.UUID();
  for (const char* key : {"UUID", "logVerbose", "testWebDavServer"}) {
    m_settingsObservations.push_back(settings.observeValueForKey(key, [weak](const std::string& changed) {
      // Settings announce on the setter's thread; the browser and the manager
      // are the main thread's.
      auto deliver = [weak, changed] {
        if (auto self = weak.lock()) self->observeValueForKeyPath(changed);
      };
      if (RunLoop::isMainThread())
        deliver();
      else
        RunLoop::main().post(deliver);
    }));
  }

  unsigned previewDimension = 0;
  if (auto border = UIImage::imageNamed("preview_border")) {
    const auto size = border->size();
    previewDimension = static_cast<unsigned>(std::max(size.width, size.height) * UIScreen::mainScreen().scale());
  }
  fileManager()->setPreviewMaxDimension(previewDimension);

  performStartUp();

  diskApplicationDidFinishLaunchingWithOptions(options);
  return openURLApplicationDidFinishLaunchingWithOptions(options);
}

void KalumoDiskAppDelegate::performStartUp() {
  if (m_dependencies.startStartupFetch) {
    m_dependencies.startStartupFetch();
  } else {
    auto operation = std::make_shared<KMStartupOperation>();
    std::thread([operation] { operation->start(); }).detach();
  }
  if (KMSettings::mainSettings().wasSuccessfullyAuthorized()) fileManager()->sendUserInfoRequest();
}

void KalumoDiskAppDelegate::showLoginDialogAnimatedWithLoginErrorNotificationCompletion(
    KMAnimated animated, std::optional<Notification> notification, std::function<void()> completion) {
  if (m_mainNavigationController->presentedViewController())
    m_mainNavigationController->dismissViewControllerAnimatedCompletion(KMAnimated::No);
  auto login = KMAuthViewController::initWithLoginErrorNotification(std::move(notification));
  m_mainNavigationController->presentViewControllerAnimatedCompletion(login, animated, std::move(completion));
  observeAuthentication();
}

void KalumoDiskAppDelegate::showWizardDialogAnimated(KMAnimated animated) {
  auto& settings = KMSettings::mainSettings();
  if (settings.hasShowedDiskWizard() || !m_dependencies.makeWizard) return;
  // Set first: a wizard closed half-way is not shown again.
  settings.setHasShowedDiskWizard(true);
  if (auto wizard = m_dependencies.makeWizard(*this))
    m_mainNavigationController->presentViewControllerAnimatedCompletion(std::move(wizard), animated);
}

std::shared_ptr<UIViewController> KalumoDiskAppDelegate::makeFirstRunWizard(KalumoDiskAppDelegate& delegate) {
  auto wizard = std::make_shared<KAWizardViewController>();
  wizard->setDelegate(std::static_pointer_cast<KAWizardViewControllerDelegate>(delegate.shared_from_this()));
  return std::make_shared<UINavigationController>(wizard);
}

void KalumoDiskAppDelegate::wizardClosed() {
  m_mainNavigationController->dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
}

void KalumoDiskAppDelegate::observeAuthentication() {
  std::weak_ptr<KalumoDiskAppDelegate> weak = weak_from_this();
  m_authenticationObservation = NotificationCenter::defaultCenter().addObserver(
      kKMXConnectionDidAuthenticateWithToken, [weak](const Notification& notification) {
        if (auto self = weak.lock()) self->connectionDidAuthenticate(notification);
      });
}

void KalumoDiskAppDelegate::observeAuthenticationFailure() {
  std::weak_ptr<KalumoDiskAppDelegate> weak = weak_from_this();
  m_failureObservation = NotificationCenter::defaultCenter().addObserver(
      kKMXConnectionDidFailAuthenticateWithError, [weak](const Notification& notification) {
        if (auto self = weak.lock()) self->connectionDidFailedToAuthenticate(notification);
      });
}

void KalumoDiskAppDelegate::connectionDidAuthenticate(const Notification& notification) {
  auto& settings = KMSettings::mainSettings();
  settings.setLogin(stringForKey(notification.userInfo, "login"));
  settings.setToken(stringForKey(notification.userInfo, "token"));
  m_rootDirectoryController->reset();
  if (dynamic_cast<KMAuthViewController*>(m_mainNavigationController->presentedViewController())) {
    settings.setWasSuccessfullyAuthorized(true);
    // When the wizard follows, the login screen goes without animation.
    m_mainNavigationController->dismissViewControllerAnimatedCompletion(animatedIf(settings.hasShowedDiskWizard()));
  }
  showWizardDialogAnimated(KMAnimated::No);
  fileManager()->sendUserInfoRequest();
  m_authenticationObservation.reset();
  observeAuthenticationFailure();
}

void KalumoDiskAppDelegate::connectionDidFailedToAuthenticate(const Notification& notification) {
  // Several requests failing together sign out once.
  m_failureObservation.reset();
  if (!KMSettings::mainSettings().wasSuccessfullyAuthorized()) return;
  std::weak_ptr<KalumoDiskAppDelegate> weak = weak_from_this();
  m_pendingLogout = RunLoop::main().postDelayed(kLogoutDelay, [weak, notification] {
    if (auto self = weak.lock()) {
      self->m_pendingLogout.reset();
      self->doLogoutAfterDelayWithLoginErrorNotification(notification);
    }
  });
}

void KalumoDiskAppDelegate::doLogoutAfterDelayWithLoginErrorNotification(const Notification& notification) {
  logoutWithLoginErrorNotificationAnimated(&notification, KMAnimated::No);
}

void KalumoDiskAppDelegate::logoutWithLoginErrorNotificationAnimated(const Notification* notification,
                                                                     KMAnimated animated) {
  KMSettings::mainSettings().clearUserRelatedSettingOnLogout();
  // Signing out by hand leaves no failure to wait for.
  m_failureObservation.reset();
  std::weak_ptr<KalumoDiskAppDelegate> weak = weak_from_this();
  std::optional<Notification> error;
  if (notification) error = *notification;
  showLoginDialogAnimatedWithLoginErrorNotificationCompletion(animated, std::move(error), [weak] {
    auto self = weak.lock();
    if (!self) return;
    auto manager = self->fileManager();
    manager->clearFilePreviewCache();
    manager->storage()->clear();
    manager->storage()->removeAllDownloadedFiles();
    self->m_mainNavigationController->popToRootViewControllerAnimated(KMAnimated::No);
    self->m_rootDirectoryController->refetchAndReloadData();
  });
}

void KalumoDiskAppDelegate::observeValueForKeyPath(const std::string& key) {
  auto& settings = KMSettings::mainSettings();
  if (key == "UUID") {
    const auto previous = std::exchange(m_lastUUID, settings.UUID());
    const bool hadNone = !previous || previous->empty();
    if (hadNone && m_lastUUID && !m_lastUUID->empty()) performStartUp();
  } else if (key == "testWebDavServer") {
    auto manager = fileManager();
    manager->setTestWebDavServer(settings.testWebDavServer());
    auto& storage = *manager->storage();
    storage.removeAllDownloadedFiles();
    manager->clearFilePreviewCache();
    storage.clear();
    const URL root = manager->rootURL();
    storage.setRootURL(root);
    m_rootDirectoryController->setURL(root);
    m_rootDirectoryController->updateData();
  }
}

std::string KalumoDiskAppDelegate::appVersionString() { return kdisk::appVersionString(); }
std::string KalumoDiskAppDelegate::buildNumberString() { return kdisk::buildNumberString(); }
std::string KalumoDiskAppDelegate::fullVersionString() { return kdisk::fullVersionString(); }

}  // namespace kdisk
