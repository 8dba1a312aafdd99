#pragma once
// Asks the update manifest whether a newer build exists for a branch and, when
// one does, urges the user to install it from the download URL in the answer.
// Checks again each time the application comes back to the foreground, unless
// the user answered "Later".
//
// Threads: create, ask and answer the alert on the main thread. Each check runs
// on a thread of its own; the callback is called there too, and only the alert
// moves to the main thread.
//
// This layer sits below the toolkit, so the alert is drawn by a presenter the
// owner supplies (the toolkit's alert view in the application). Without one the
// update is still reported to the callback, but nothing is shown.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/KMError.h"
#include "platform/ObserverToken.h"
#include "platform/URL.h"

class KLUpdateOperation;

// The toolkit's will-enter-foreground notification, observed by name.
inline constexpr const char* kKLWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";

inline constexpr const char* kKLUpdateAlertMessage =
    "A newer version is available. You must install the newer version in order to continue.";
inline constexpr const char* kKLUpdateAlertLater = "Later";
inline constexpr const char* kKLUpdateAlertOK = "OK";

class KLAutoUpdaterCallback {
 public:
  virtual ~KLAutoUpdaterCallback() = default;
  // After every check, on the check's thread.
  virtual void receivedUpdateDataDawnloadURLError(unsigned newBuildNumber,
                                                  const std::optional<kdisk::URL>& url,
                                                  const std::optional<KMError>& error) = 0;
};

class KLAutoUpdater : public std::enable_shared_from_this<KLAutoUpdater> {
 public:
  // Shows an alert without title with `message`, a cancel button (index 0) and
  // one other button (index 1), and calls `clicked` with the index tapped.
  using AlertPresenter = std::function<void(const std::string& message, const std::string& cancelTitle,
                                            const std::string& otherTitle,
                                            std::function<void(int buttonIndex)> clicked)>;
  // Hands the download URL to the desktop; the default opens it with the
  // desktop's handler of its scheme.
  using URLOpener = std::function<void(const kdisk::URL&)>;

  static std::shared_ptr<KLAutoUpdater> create(AlertPresenter presenter, URLOpener opener = {});
  ~KLAutoUpdater();

  void askForUpdate(std::weak_ptr<KLAutoUpdaterCallback> callback, std::string brunch, std::string appName,
                    unsigned buildNumber, unsigned timeOutInSec);
  // One check, when canDoRequest().
  void updateRequest();
  bool canDoRequest() const;
  void applicationWillEnterForeground() { updateRequest(); }

  // Whether an update alert waits for an answer.
  bool hasPendingUpdate() const;
  std::optional<kdisk::URL> pendingUpdateURL() const;
  // The alert's answer: 0 "Later", 1 "OK".
  void alertClickedButtonAtIndex(int buttonIndex);

  // "CFBundleVersion" of the running program, modulo 10000.
  static unsigned runningBuildNumber();
  void setRunningBuildNumberForTesting(unsigned number) { m_runningBuildForTesting = number; }
  void setEndpointForTesting(std::string endpoint) { m_endpointForTesting = std::move(endpoint); }

 private:
  KLAutoUpdater(AlertPresenter presenter, URLOpener opener);
  void operationFinished(KLUpdateOperation& operation);
  void showUpdateAlert();

  AlertPresenter m_presenter;
  URLOpener m_opener;
  kdisk::ObserverToken m_foregroundObserver;

  mutable std::mutex m_mutex;
  std::weak_ptr<KLAutoUpdaterCallback> m_callback;
  std::string m_brunch;
  std::string m_appName;
  unsigned m_buildNumber = 0;
  unsigned m_timeOutInSec = 0;
  bool m_laterChosen = false;
  std::optional<kdisk::URL> m_pendingUpdateURL;
  std::optional<unsigned> m_runningBuildForTesting;
  std::optional<std::string> m_endpointForTesting;
};
