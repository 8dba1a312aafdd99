// The (Disk) half: the manager's failures as alerts, the account figures.
#include "app/KalumoDiskAppDelegate.h"

#include "manager/KMWebDAVFileManager.h"
#include "platform/Bundle.h"
#include "platform/StringFormat.h"
#include "settings/KMSettings.h"
#include "uikit/UIAlertViewAutoDismiss.h"

namespace kdisk {

void KalumoDiskAppDelegate::diskApplicationDidFinishLaunchingWithOptions(const Dictionary&) {
  std::weak_ptr<KalumoDiskAppDelegate> weak = weak_from_this();
  auto observe = [&](const char* name, void (KalumoDiskAppDelegate::*handler)(const Notification&)) {
    m_managerObservations.push_back(NotificationCenter::defaultCenter().addObserver(
        name, [weak, handler](const Notification& notification) {
          if (auto self = weak.lock()) ((*self).*handler)(notification);
        }));
  };
  observe(kKMKMWebDAVFileManagerDidFailWithRemoveRequest, &KalumoDiskAppDelegate::didFailToRemoveItemAtURL);
  observe(kKMKMWebDAVFileManagerDidFailToCreateDirectory, &KalumoDiskAppDelegate::didFailToCreateDirectory);
  observe(kKMKMWebDAVFileManagerDidReceiveAdditionalInfo, &KalumoDiskAppDelegate::didReceiveUserInfo);
  // Makes the manager and its store now rather than on first use.
  fileManager();
}

void KalumoDiskAppDelegate::showFailureAlert(const Notification& notification, const char* formatKey,
                                             const char* fallback) {
  std::string name;
  if (auto text = stringForKey(notification.userInfo, "URL"))
    if (auto url = URL::fromString(*text)) name = url->lastPathComponent();
  auto alert = std::make_shared<UIAlertViewAutoDismiss>(
      "", KMStringWithFormat(KMLocalizedString(formatKey, fallback), {name}), std::weak_ptr<UIAlertViewDelegate>(),
      KMLocalizedString("OK", "OK"), std::vector<std::string>{});
  alert->show();
}

void KalumoDiskAppDelegate::didFailToRemoveItemAtURL(const Notification& notification) {
  showFailureAlert(notification, "FailedToRemoveFileFormat", "Не удалось удалить «%@»");
}

void KalumoDiskAppDelegate::didFailToCreateDirectory(const Notification& notification) {
  showFailureAlert(notification, "FailedToCreateFolderFormat", "Не удалось создать папку «%@»");
}

void KalumoDiskAppDelegate::didReceiveUserInfo(const Notification& notification) {
  auto& settings = KMSettings::mainSettings();
  if (!settings.wasSuccessfullyAuthorized()) return;
  const auto maxFileSize = integerForKey(notification.userInfo, "maxFileSizeNum").value_or(0);
  if (maxFileSize != 0) settings.setMaxFileSize(maxFileSize);
  const auto available = integerForKey(notification.userInfo, "quotaAvailableBytesNum").value_or(0);
  const auto used = integerForKey(notification.userInfo, "quotaUsedBytesNum").value_or(0);
  // Zero figures mean the service did not say; the previous ones stay.
  if (available + used != 0) {
    settings.setQuotaAvailableBytes(available);
    settings.setQuotaUsedBytes(used);
  }
}

}  // namespace kdisk
