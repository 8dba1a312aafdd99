#pragma once
// Turns a selection of files into public links and hands them over by mail,
// text message or the clipboard: asks for the channel in an action sheet,
// publishes every file through the file manager, waits until every link has
// arrived and then sends them all at once. One batch at a time.
//
// Owned by the screen that shares, which is its delegate (held weakly).
// Main thread: the file manager's notifications arrive there.
//
//   idle --showShareActionSheetForFilesInView--> choosing --a channel--> publishing
//   choosing --Cancel--> idle
//   publishing --last link in--> sending --> idle
//   publishing --a file failed, or cancel()--> idle (links obtained are dropped)
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ObserverToken.h"
#include "platform/URL.h"
#include "screens/sharing/KAShareManagerDelegate.h"
#include "storage/KMWebDAVStorage.h"
#include "uikit/UIActionSheet.h"

class KMDiskPOSTRequest;
class KMWebDAVFileManager;

namespace kdisk {

struct Notification;
class UIView;

// The channel of a batch; the numbers are those the settings and logs know.
enum class KAShareMethod : int { Pasteboard = 0, SMS = 1, Email = 2 };

class KAShareManager : public UIActionSheetDelegate,
                       public std::enable_shared_from_this<KAShareManager> {
public:
  // One file of a batch: its URL text and its public link, nothing while pending.
  using PublishingEntry = std::pair<std::string, std::optional<std::string>>;

  // Observes the file manager's publish outcomes from the start. Without a
  // file manager, the shared one publishes.
  static std::shared_ptr<KAShareManager>
  create(std::weak_ptr<KAShareManagerDelegate> delegate = {},
         std::shared_ptr<KMWebDAVFileManager> fileManager = nullptr);
  ~KAShareManager() override;
  KAShareManager(const KAShareManager&) = delete;
  KAShareManager& operator=(const KAShareManager&) = delete;
  void unsubscribeFromNotifications();

  std::shared_ptr<KAShareManagerDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<KAShareManagerDelegate> delegate) {
    m_delegate = std::move(delegate);
  }

  bool isSharingSomethingNow() const { return m_isSharingSomethingNow; }
  const KMFileItemList& filesToShare() const { return m_filesToShare; }
  // In selection order.
  const std::vector<PublishingEntry>& publishingURLs() const { return m_publishingURLs; }
  const std::vector<std::shared_ptr<KMDiskPOSTRequest>>& currentRequests() const {
    return m_currentRequests;
  }
  KAShareMethod currentSharingMethod() const { return m_currentSharingMethod; }
  const std::map<std::string, KAShareMethod>& actionSheetShareActions() const {
    return m_actionSheetShareActions;
  }

  // Asks for the channel, then shares. A selection holding a folder is
  // refused with an alert; nothing happens while a batch runs or when the
  // selection holds no file.
  void showShareActionSheetForFilesInView(const KMFileItemList& items, UIView& view);
  // Starts a batch at once, with the same refusals.
  void shareFilesVia(const KMFileItemList& items, KAShareMethod method);
  // Gives the batch up: every request of it is cancelled.
  void cancel();
  // Whether the mail application takes "kalumomailto:" links.
  bool canShareViaEmail() const;
  // "name: link\n" for every file of the batch whose link is in.
  std::string textWithPublishedURLs() const;
  // "kalumomailto://qwe?subject=…&body=…", both parts percent-encoded as UTF-8.
  static URL mailURLWithSubjectBody(std::string_view subject, std::string_view body);

  void actionSheetDidDismissWithButtonIndex(UIActionSheet& sheet, int buttonIndex) override;

private:
  KAShareManager(std::weak_ptr<KAShareManagerDelegate> delegate,
                 std::shared_ptr<KMWebDAVFileManager> fileManager);
  void subscribeToNotifications();
  void didPublishFile(const Notification& notification);
  void didFailToPublishFile(const Notification& notification);
  // True (after the alert) when the items hold a folder.
  bool refuseFolders(const KMFileItemList& items) const;
  bool canStartBatchWith(const KMFileItemList& items) const;
  void publishFiles(const KMFileItemList& items);
  PublishingEntry* entryForURL(const std::string& url);
  void resetBatch();
  void send(KAShareMethod method, const std::string& text);
  void shareViaPasteboard(const std::string& text);
  bool shareViaTextMessage(const std::string& text);
  bool shareViaEmail(const std::string& text);
  void tellSharedFiles();

  std::weak_ptr<KAShareManagerDelegate> m_delegate;
  std::shared_ptr<KMWebDAVFileManager> m_fileManager;
  bool m_isSharingSomethingNow = false;
  KMFileItemList m_filesToShare;
  std::vector<PublishingEntry> m_publishingURLs;
  std::vector<std::shared_ptr<KMDiskPOSTRequest>> m_currentRequests;
  KAShareMethod m_currentSharingMethod = KAShareMethod::Pasteboard;
  std::map<std::string, KAShareMethod> m_actionSheetShareActions;
  ObserverToken m_didPublishObservation;
  ObserverToken m_didFailObservation;
};

} // namespace kdisk
