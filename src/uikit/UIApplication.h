#pragma once
// The process's application object: its state (active, inactive,
// background), the notifications of state changes, the idle-timer flag, and
// opening URLs through whatever the host installed. Hosts drive the state
// changes (launch, background, foreground, memory warning). Main thread.
#include <functional>
#include <memory>
#include <set>
#include <vector>
#include <string>

#include "platform/URL.h"
#include "platform/Value.h"
#include "uikit/UIApplicationDelegate.h"

namespace kdisk {

inline constexpr const char* UIApplicationDidFinishLaunchingNotification =
    "UIApplicationDidFinishLaunchingNotification";
inline constexpr const char* UIApplicationDidBecomeActiveNotification =
    "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* UIApplicationWillResignActiveNotification =
    "UIApplicationWillResignActiveNotification";
inline constexpr const char* UIApplicationDidEnterBackgroundNotification =
    "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* UIApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* UIApplicationWillTerminateNotification =
    "UIApplicationWillTerminateNotification";
inline constexpr const char* UIApplicationDidReceiveMemoryWarningNotification =
    "UIApplicationDidReceiveMemoryWarningNotification";

enum class UIApplicationState { Active, Inactive, Background };

class UIApplication {
 public:
  static UIApplication& sharedApplication();

  void setDelegate(std::weak_ptr<UIApplicationDelegate> delegate) { m_delegate = std::move(delegate); }
  std::shared_ptr<UIApplicationDelegate> delegate() const { return m_delegate.lock(); }

  UIApplicationState applicationState() const { return m_state; }
  bool isIdleTimerDisabled() const { return m_idleTimerDisabled; }
  void setIdleTimerDisabled(bool disabled);
  // The host keeps the screen awake (and the machine from suspending) while
  // the flag is set; told only when the flag changes.
  void setIdleTimerHandler(std::function<void(bool disabled)> handler) { m_idleTimerHandler = std::move(handler); }
  bool isNetworkActivityIndicatorVisible() const { return m_networkActivityIndicatorVisible; }
  void setNetworkActivityIndicatorVisible(bool visible) { m_networkActivityIndicatorVisible = visible; }
  bool isStatusBarHidden() const { return m_statusBarHidden; }
  void setStatusBarHidden(bool hidden) { m_statusBarHidden = hidden; }

  // Hands the URL to the host's handler (the desktop's default application);
  // false when there is no handler or it refused.
  bool openURL(const URL& url);
  // True for schemes the host can open (http, https, mailto by default) and
  // schemes registered as the application's own.
  bool canOpenURL(const URL& url) const;
  void setOpenURLHandler(std::function<bool(const URL&)> handler) { m_openURLHandler = std::move(handler); }
  void setOpenableSchemes(std::set<std::string> schemes) { m_openableSchemes = std::move(schemes); }
  const std::vector<URL>& openedURLs() const { return m_openedURLs; }

  // Host entry points.
  bool launchWithOptions(const Dictionary& options);
  // Another program hands the application a URL (file or own scheme).
  bool handleOpenURL(const URL& url, const std::string& sourceApplication);
  void enterBackground();
  void enterForeground();
  void resignActive();
  void becomeActive();
  void receiveMemoryWarning();
  void terminate();

  // Back to a fresh, active application with no delegate, for tests.
  void resetForTesting();

 private:
  UIApplication() = default;
  std::weak_ptr<UIApplicationDelegate> m_delegate;
  UIApplicationState m_state = UIApplicationState::Active;
  bool m_idleTimerDisabled = false;
  bool m_networkActivityIndicatorVisible = false;
  bool m_statusBarHidden = false;
  std::function<bool(const URL&)> m_openURLHandler;
  std::function<void(bool)> m_idleTimerHandler;
  std::set<std::string> m_openableSchemes{"http", "https", "mailto"};
  std::vector<URL> m_openedURLs;
};

}  // namespace kdisk
