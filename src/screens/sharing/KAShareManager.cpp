#include "screens/sharing/KAShareManager.h"

#include <algorithm>

#include "foundation/KLDevice.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/Bundle.h"
#include "platform/DesktopApplications.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "uikit/KMMessageComposer.h"
#include "uikit/UIActionSheetAutoDismiss.h"
#include "uikit/UIAlertViewAutoDismiss.h"
#include "uikit/UIPasteboard.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMFile.h"

namespace kdisk {

namespace {

constexpr const char* kTable = "DiskCommon";
constexpr const char* kMailProbeURL = "kalumomailto://qwe";

std::shared_ptr<spdlog::logger>& log() {
  static auto logger = kdisk::logger("KAShareManager");
  return logger;
}

void showAlert(const std::string& title, const std::string& message) {
  auto alert = std::make_shared<UIAlertViewAutoDismiss>(
      title, message, std::weak_ptr<UIAlertViewDelegate>{}, KMLocalizedString("OK", "OK"),
      std::vector<std::string>{});
  alert->show();
}

// The localised format with its one "%@" filled; a table without the
// placeholder still keeps the links, after its text.
std::string fillFormat(const std::string& format, const std::string& text) {
  const auto placeholder = format.find("%@");
  if (placeholder == std::string::npos)
    return format + "\n" + text;
  return format.substr(0, placeholder) + text + format.substr(placeholder + 2);
}

} // namespace

std::shared_ptr<KAShareManager>
KAShareManager::create(std::weak_ptr<KAShareManagerDelegate> delegate,
                       std::shared_ptr<KMWebDAVFileManager> fileManager) {
  std::shared_ptr<KAShareManager> manager(
      new KAShareManager(std::move(delegate), std::move(fileManager)));
  manager->subscribeToNotifications();
  return manager;
}

KAShareManager::KAShareManager(std::weak_ptr<KAShareManagerDelegate> delegate,
                               std::shared_ptr<KMWebDAVFileManager> fileManager)
    : m_delegate(std::move(delegate)), m_fileManager(std::move(fileManager)) {
  if (!m_fileManager)
    m_fileManager = KMWebDAVFileManager::sharedInstance();
}

KAShareManager::~KAShareManager() {
  unsubscribeFromNotifications();
}

void KAShareManager::subscribeToNotifications() {
  std::weak_ptr<KAShareManager> weak = weak_from_this();
  auto& center = NotificationCenter::defaultCenter();
  m_didPublishObservation =
      center.addObserver(kKMKMWebDAVFileManagerDidPublishFile, [weak](const Notification& n) {
        if (auto self = weak.lock())
          self->didPublishFile(n);
      });
  m_didFailObservation = center.addObserver(kKMKMWebDAVFileManagerDidFailWithPublishRequest,
                                            [weak](const Notification& n) {
                                              if (auto self = weak.lock())
                                                self->didFailToPublishFile(n);
                                            });
}

void KAShareManager::unsubscribeFromNotifications() {
  m_didPublishObservation.reset();
  m_didFailObservation.reset();
}

bool KAShareManager::canShareViaEmail() const {
  return defaultApplicationForURLScheme(URL::fromString(kMailProbeURL)->scheme()).has_value();
}

bool KAShareManager::refuseFolders(const KMFileItemList& items) const {
  const bool holdsFolder = std::any_of(
      items.begin(), items.end(), [](const auto& item) { return item && item->isDirectory(); });
  if (holdsFolder)
    showAlert(KMLocalizedString("Disk", "Диск", kTable),
              KMLocalizedString("You can't share folders in this version of Kalumo.Disk.",
                                "В этой версии Kalumo.Disk нельзя делиться папками.", kTable));
  return holdsFolder;
}

bool KAShareManager::canStartBatchWith(const KMFileItemList& items) const {
  if (m_isSharingSomethingNow) {
    // The links of two batches would go out together, by the later channel.
    log()->warn("A share was asked for while another runs; ignored");
    return false;
  }
  if (refuseFolders(items))
    return false;
  // Without a file nothing would ever arrive to end the batch.
  return std::any_of(items.begin(), items.end(),
                     [](const auto& item) { return dynamic_cast<KMFile*>(item.get()); });
}

void KAShareManager::showShareActionSheetForFilesInView(const KMFileItemList& items, UIView& view) {
  if (!canStartBatchWith(items))
    return;
  m_filesToShare = items;
  m_actionSheetShareActions.clear();
  std::vector<std::string> titles;
  auto offer = [&](std::string title, KAShareMethod method) {
    m_actionSheetShareActions[title] = method;
    titles.push_back(std::move(title));
  };
  if (canShareViaEmail())
    offer(KMLocalizedString("Email", "Почта", kTable), KAShareMethod::Email);
  if (KLDevice::canSendSMS())
    offer(KMLocalizedString("SMS", "SMS", kTable), KAShareMethod::SMS);
  offer(KMLocalizedString("Copy to Pasteboard", "Скопировать ссылки", kTable),
        KAShareMethod::Pasteboard);
  auto sheet = std::make_shared<UIActionSheetAutoDismiss>(
      KMLocalizedString("Choose sharing method", "Как отправить ссылки?", kTable), weak_from_this(),
      KMLocalizedString("Cancel", "Отмена"), std::nullopt, std::move(titles));
  sheet->showInView(view);
}

void KAShareManager::actionSheetDidDismissWithButtonIndex(UIActionSheet& sheet, int buttonIndex) {
  auto self = shared_from_this();
  KMFileItemList items = std::move(m_filesToShare);
  auto actions = std::move(m_actionSheetShareActions);
  m_filesToShare.clear();
  m_actionSheetShareActions.clear();
  if (buttonIndex < 0 || buttonIndex == sheet.cancelButtonIndex())
    return;
  auto chosen = actions.find(sheet.buttonTitleAtIndex(buttonIndex));
  if (chosen != actions.end())
    shareFilesVia(items, chosen->second);
}

void KAShareManager::shareFilesVia(const KMFileItemList& items, KAShareMethod method) {
  if (!canStartBatchWith(items))
    return;
  auto self = shared_from_this();
  m_currentSharingMethod = method;
  publishFiles(items);
  m_isSharingSomethingNow = true;
  if (auto delegate = m_delegate.lock())
    delegate->shareManagerDidStartPublishingFiles(*this);
}

void KAShareManager::publishFiles(const KMFileItemList& items) {
  for (const auto& item : items) {
    if (!dynamic_cast<KMFile*>(item.get()))
      continue;
    const std::string key = item->URL().absoluteString();
    // The same file twice is published once and listed once.
    if (entryForURL(key))
      continue;
    m_publishingURLs.emplace_back(key, std::nullopt);
    if (auto request = m_fileManager->publishFileWithURL(item->URL()))
      m_currentRequests.push_back(std::move(request));
  }
}

KAShareManager::PublishingEntry* KAShareManager::entryForURL(const std::string& url) {
  auto found = std::find_if(m_publishingURLs.begin(), m_publishingURLs.end(),
                            [&](const PublishingEntry& entry) { return entry.first == url; });
  return found == m_publishingURLs.end() ? nullptr : &*found;
}

void KAShareManager::didPublishFile(const Notification& notification) {
  const auto file = stringForKey(notification.userInfo, "URL");
  const auto link = stringForKey(notification.userInfo, "locationURL");
  PublishingEntry* entry = file ? entryForURL(*file) : nullptr;
  if (!entry || !link)
    return;
  auto self = shared_from_this();
  entry->second = *link;
  const std::string published = *file;
  if (auto delegate = m_delegate.lock())
    if (auto url = URL::fromString(published))
      delegate->shareManagerDidPublishFileWithURL(*this, *url);
  const bool pending = std::any_of(m_publishingURLs.begin(), m_publishingURLs.end(),
                                   [](const PublishingEntry& each) { return !each.second; });
  if (pending || !m_isSharingSomethingNow)
    return;
  if (auto delegate = m_delegate.lock())
    delegate->shareManagerDidPublishAllFiles(*this);
  // The batch ends before the hand-over, so whatever the delegate starts
  // when told of it begins from idle.
  const std::string text = textWithPublishedURLs();
  const KAShareMethod method = m_currentSharingMethod;
  resetBatch();
  send(method, text);
}

void KAShareManager::didFailToPublishFile(const Notification& notification) {
  const auto file = stringForKey(notification.userInfo, "URL");
  if (!file || !entryForURL(*file))
    return;
  auto self = shared_from_this();
  if (auto delegate = m_delegate.lock())
    if (auto url = URL::fromString(*file))
      delegate->shareManagerDidFailToPublishFileWithURL(*this, *url);
  showAlert(KMLocalizedString("Error", "Ошибка"),
            KMLocalizedString(
                "AlertMessageCantPublishFile",
                "Не удалось получить публичную ссылку. Проверьте соединение и попробуйте ещё раз.",
                kTable));
  cancel();
}

void KAShareManager::cancel() {
  auto self = shared_from_this();
  // Reset first: a cancelled request reports its failure at once, and that
  // failure must find no batch to abort again.
  auto requests = std::move(m_currentRequests);
  resetBatch();
  for (const auto& request : requests)
    request->cancel();
  if (auto delegate = m_delegate.lock())
    delegate->shareManagerDidStopPublishingFiles(*this);
}

void KAShareManager::resetBatch() {
  m_currentRequests.clear();
  m_publishingURLs.clear();
  m_currentSharingMethod = KAShareMethod::Pasteboard;
  m_isSharingSomethingNow = false;
}

std::string KAShareManager::textWithPublishedURLs() const {
  std::string text;
  for (const auto& [file, link] : m_publishingURLs) {
    if (!link)
      continue;
    auto url = URL::fromString(file);
    text += (url ? url->lastPathComponent() : percentDecode(file)) + ": " + *link + "\n";
  }
  return text;
}

URL KAShareManager::mailURLWithSubjectBody(std::string_view subject, std::string_view body) {
  // Only unreserved characters and escapes remain, which always parse.
  return *URL::fromString("kalumomailto://qwe?subject=" + percentEncode(subject) +
                          "&body=" + percentEncode(body));
}

void KAShareManager::send(KAShareMethod method, const std::string& text) {
  bool handedOver = false;
  switch (method) {
  case KAShareMethod::Email:
    handedOver = shareViaEmail(text);
    break;
  case KAShareMethod::SMS:
    handedOver = shareViaTextMessage(text);
    break;
  case KAShareMethod::Pasteboard:
    break;
  }
  // An application that is gone or does not start must not lose the links:
  // they go to the clipboard, and the alert says so.
  if (!handedOver)
    shareViaPasteboard(text);
}

void KAShareManager::shareViaPasteboard(const std::string& text) {
  UIPasteboard::generalPasteboard().setString(text);
  showAlert(KMLocalizedString("Shared", "Готово", kTable),
            KMLocalizedString("Public links copied to pasteboard",
                              "Публичные ссылки скопированы в буфер обмена.", kTable));
  tellSharedFiles();
}

bool KAShareManager::shareViaTextMessage(const std::string& text) {
  auto delegate = m_delegate.lock();
  // No screen to present from (it is closing): the clipboard keeps the links.
  if (!delegate || !delegate->shareManagerViewControllerToShowCompose(*this))
    return false;
  auto composed = KMMessageComposer::composeWithBody(text);
  if (!composed.hasValue()) {
    log()->error("Messaging application did not start: {}", composed.error().description());
    return false;
  }
  // The application never tells whether the message went out.
  tellSharedFiles();
  return true;
}

bool KAShareManager::shareViaEmail(const std::string& text) {
  if (!canShareViaEmail())
    return false;
  const std::string body =
      fillFormat(KMLocalizedString("ShareFilesMessageBodyFormat",
                                   "Делюсь с вами файлами на Kalumo.Disk:\n\n%@", kTable),
                 text);
  const std::string subject = KMLocalizedString("Kalumo.Disk: file sharing with you",
                                                "Kalumo.Disk: с вами поделились файлами", kTable);
  auto opened = openURLWithDefaultApplication(mailURLWithSubjectBody(subject, body));
  if (!opened.hasValue()) {
    log()->error("Mail application did not start: {}", opened.error().description());
    return false;
  }
  tellSharedFiles();
  return true;
}

void KAShareManager::tellSharedFiles() {
  if (auto delegate = m_delegate.lock())
    delegate->shareManagerDidSuccessfullySharedFiles(*this);
}

} // namespace kdisk
