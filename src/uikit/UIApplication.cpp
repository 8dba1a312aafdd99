#include "uikit/UIApplication.h"

#include "platform/NotificationCenter.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"

namespace kdisk {

namespace {
void post(const char* name) { NotificationCenter::defaultCenter().post(name, &UIApplication::sharedApplication()); }

void sendMemoryWarning(UIViewController& controller) {
  // Children first, so a parent that unloads does so last.
  for (auto& child : controller.childViewControllers()) sendMemoryWarning(*child);
  if (auto presented = controller.presentedViewController()) sendMemoryWarning(*presented);
  controller.didReceiveMemoryWarning();
}
}  // namespace

UIApplication& UIApplication::sharedApplication() {
  static UIApplication application;
  return application;
}

void UIApplication::setIdleTimerDisabled(bool disabled) {
  if (m_idleTimerDisabled == disabled) return;
  m_idleTimerDisabled = disabled;
  if (m_idleTimerHandler) m_idleTimerHandler(disabled);
}

bool UIApplication::openURL(const URL& url) {
  if (!url.isValid() || !m_openURLHandler) return false;
  m_openedURLs.push_back(url);
  return m_openURLHandler(url);
}

bool UIApplication::canOpenURL(const URL& url) const {
  return url.isValid() && m_openableSchemes.count(url.scheme()) > 0;
}

bool UIApplication::launchWithOptions(const Dictionary& options) {
  m_state = UIApplicationState::Inactive;
  bool result = true;
  if (auto delegate = m_delegate.lock())
    result = delegate->applicationDidFinishLaunchingWithOptions(*this, options);
  post(UIApplicationDidFinishLaunchingNotification);
  becomeActive();
  return result;
}

bool UIApplication::handleOpenURL(const URL& url, const std::string& sourceApplication) {
  if (auto delegate = m_delegate.lock())
    return delegate->applicationOpenURLSourceApplicationAnnotation(*this, url, sourceApplication,
                                                                   Value());
  return false;
}

void UIApplication::resignActive() {
  if (m_state != UIApplicationState::Active) return;
  m_state = UIApplicationState::Inactive;
  if (auto delegate = m_delegate.lock()) delegate->applicationWillResignActive(*this);
  post(UIApplicationWillResignActiveNotification);
}

void UIApplication::becomeActive() {
  // A desktop window reports focus it already has (and launching activates
  // before the window does); screens refresh on this, once is enough.
  if (m_state == UIApplicationState::Active) return;
  m_state = UIApplicationState::Active;
  if (auto delegate = m_delegate.lock()) delegate->applicationDidBecomeActive(*this);
  post(UIApplicationDidBecomeActiveNotification);
}

void UIApplication::enterBackground() {
  if (m_state == UIApplicationState::Background) return;
  resignActive();
  m_state = UIApplicationState::Background;
  if (auto delegate = m_delegate.lock()) delegate->applicationDidEnterBackground(*this);
  post(UIApplicationDidEnterBackgroundNotification);
}

void UIApplication::enterForeground() {
  if (m_state != UIApplicationState::Background) return;
  m_state = UIApplicationState::Inactive;
  if (auto delegate = m_delegate.lock()) delegate->applicationWillEnterForeground(*this);
  post(UIApplicationWillEnterForegroundNotification);
  becomeActive();
}

void UIApplication::receiveMemoryWarning() {
  if (auto delegate = m_delegate.lock()) delegate->applicationDidReceiveMemoryWarning(*this);
  post(UIApplicationDidReceiveMemoryWarningNotification);
  if (auto* window = UIWindow::keyWindow(); window && window->rootViewController())
    sendMemoryWarning(*window->rootViewController());
}

void UIApplication::terminate() {
  if (auto delegate = m_delegate.lock()) delegate->applicationWillTerminate(*this);
  post(UIApplicationWillTerminateNotification);
}

void UIApplication::resetForTesting() {
  m_delegate.reset();
  m_state = UIApplicationState::Active;
  m_idleTimerDisabled = false;
  m_networkActivityIndicatorVisible = false;
  m_statusBarHidden = false;
  m_openURLHandler = nullptr;
  m_idleTimerHandler = nullptr;
  m_openableSchemes = {"http", "https", "mailto"};
  m_openedURLs.clear();
}

}  // namespace kdisk
