#include "updater/KLAutoUpdater.h"

#include <charconv>

#include "platform/Bundle.h"
#include "platform/DesktopApplications.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "updater/KLUpdateOperation.h"

std::shared_ptr<KLAutoUpdater> KLAutoUpdater::create(AlertPresenter presenter, URLOpener opener) {
  std::shared_ptr<KLAutoUpdater> made(new KLAutoUpdater(std::move(presenter), std::move(opener)));
  std::weak_ptr<KLAutoUpdater> weak = made;
  made->m_foregroundObserver = kdisk::NotificationCenter::defaultCenter().addObserver(
      kKLWillEnterForegroundNotification, [weak](const kdisk::Notification&) {
        if (auto self = weak.lock()) self->applicationWillEnterForeground();
      });
  return made;
}

KLAutoUpdater::KLAutoUpdater(AlertPresenter presenter, URLOpener opener)
    : m_presenter(std::move(presenter)), m_opener(std::move(opener)) {
  if (!m_opener) {
    m_opener = [](const kdisk::URL& url) {
      auto status = kdisk::openURLWithDefaultApplication(url);
      if (!status.hasValue())
        kdisk::logger("KLAutoUpdater")->error("Download page not opened: {}", status.error().description());
    };
  }
}

KLAutoUpdater::~KLAutoUpdater() = default;

void KLAutoUpdater::askForUpdate(std::weak_ptr<KLAutoUpdaterCallback> callback, std::string brunch,
                                 std::string appName, unsigned buildNumber, unsigned timeOutInSec) {
  {
    std::lock_guard lock(m_mutex);
    m_callback = std::move(callback);
    m_brunch = std::move(brunch);
    m_appName = std::move(appName);
    m_buildNumber = buildNumber;
    m_timeOutInSec = timeOutInSec;
    m_laterChosen = false;
  }
  updateRequest();
}

bool KLAutoUpdater::canDoRequest() const {
  std::lock_guard lock(m_mutex);
  return !m_brunch.empty() && !m_appName.empty() && !m_laterChosen;
}

void KLAutoUpdater::updateRequest() {
  if (!canDoRequest()) return;
  std::shared_ptr<KLUpdateOperation> operation;
  {
    std::lock_guard lock(m_mutex);
    operation = std::make_shared<KLUpdateOperation>(m_brunch, m_appName, m_buildNumber, m_timeOutInSec);
    if (m_endpointForTesting) operation->setEndpointForTesting(*m_endpointForTesting);
  }
  // The check may outlive its updater; then its answer goes nowhere.
  std::weak_ptr<KLAutoUpdater> weak = weak_from_this();
  operation->setCompletionBlock([weak](KLUpdateOperation& finished) {
    if (auto self = weak.lock()) self->operationFinished(finished);
  });
  operation->startOnNewThread();
}

unsigned KLAutoUpdater::runningBuildNumber() {
  auto text = kdisk::Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleVersion").value_or("0");
  unsigned long long number = 0;
  std::from_chars(text.data(), text.data() + text.size(), number);
  return static_cast<unsigned>(number % 10000);
}

void KLAutoUpdater::operationFinished(KLUpdateOperation& operation) {
  std::shared_ptr<KLAutoUpdaterCallback> callback;
  bool show = false;
  {
    std::lock_guard lock(m_mutex);
    const unsigned running = m_runningBuildForTesting.value_or(runningBuildNumber());
    // A pending URL means an alert is up (or about to be): one is enough.
    if (!operation.lastError() && !m_pendingUpdateURL && running < operation.newBuildNumber()) {
      m_pendingUpdateURL = operation.url();
      show = true;
    }
    callback = m_callback.lock();
  }
  if (show) {
    std::weak_ptr<KLAutoUpdater> weak = weak_from_this();
    kdisk::RunLoop::main().post([weak] {
      if (auto self = weak.lock()) self->showUpdateAlert();
    });
  }
  if (callback) callback->receivedUpdateDataDawnloadURLError(operation.newBuildNumber(), operation.url(),
                                                             operation.lastError());
}

void KLAutoUpdater::showUpdateAlert() {
  if (!m_presenter) return;
  std::weak_ptr<KLAutoUpdater> weak = weak_from_this();
  m_presenter(kKLUpdateAlertMessage, kKLUpdateAlertLater, kKLUpdateAlertOK, [weak](int index) {
    if (auto self = weak.lock()) self->alertClickedButtonAtIndex(index);
  });
}

bool KLAutoUpdater::hasPendingUpdate() const {
  std::lock_guard lock(m_mutex);
  return m_pendingUpdateURL.has_value();
}

std::optional<kdisk::URL> KLAutoUpdater::pendingUpdateURL() const {
  std::lock_guard lock(m_mutex);
  return m_pendingUpdateURL;
}

void KLAutoUpdater::alertClickedButtonAtIndex(int buttonIndex) {
  std::optional<kdisk::URL> url;
  {
    std::lock_guard lock(m_mutex);
    url = std::move(m_pendingUpdateURL);
    m_pendingUpdateURL.reset();
    if (buttonIndex == 0) m_laterChosen = true;
  }
  if (buttonIndex != 0 && url) m_opener(*url);
}
