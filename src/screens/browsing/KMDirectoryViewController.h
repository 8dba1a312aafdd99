#pragma once
// The screen listing one folder of the user's storage: the uploads queued
// into the folder (a section of their own while any exist) above the
// folder's items. It never talks to the network itself: it reads the store
// on a background queue and takes contents and uploads back as one step,
// asks the manager to refresh the folder and follows the manager's
// notifications. It fetches previews for the visible file rows one at a
// time, searches the listing, opens folders and files, and carries the
// folder's actions (add, settings, group delete and share, retry or removal
// of a failed upload, the sharing overlay).
//
// Main thread. Owned by its navigation stack; observers, delayed calls and
// background reads hold it weakly. Rows are always matched to uploads and
// items by URL when a notification arrives, never only by position.
//
// Sections: while uploads show (not searching, some queued) 0 = uploads,
// 1 = contents; otherwise 0 = contents (the search results while searching).
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "manager/KMWebDAVFileManager.h"
#include "platform/ObserverToken.h"
#include "screens/browsing/KMTableViewController.h"
#include "screens/browsing/KMTableViewGroupHeader.h"
#include "screens/browsing/KMUserVisibleDateFormatter.h"
#include "screens/sharing/KAShareManager.h"
#include "screens/viewing/KMUploadFileDialog.h"
#include "uikit/preview/QLPreviewControllerDataSource.h"
#include "uikit/KMActivityPopupView.h"
#include "uikit/KMFileDropTarget.h"
#include "uikit/UIActionSheet.h"
#include "uikit/UIAlertView.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UIButton.h"
#include "uikit/UISearchDisplayController.h"

class KMDiskRequest;

namespace kdisk {

class KMDirectoryViewController : public KMTableViewController,
                                  public UITableViewDataSource,
                                  public UISearchDisplayDelegate,
                                  public UIActionSheetDelegate,
                                  public KAShareManagerDelegate,
                                  public KMUploadFileDialogDelegate,
                                  public QLPreviewControllerDataSource,
                                  public KMFileDropTarget {
 public:
  static constexpr CGFloat kSectionHeaderHeight = 22;
  static constexpr CGFloat kTitleFontSize = 16;
  static constexpr double kFirstPreviewRetryDelay = 1.0;
  static constexpr double kPreviewRetryGrowth = 1.25;
  static constexpr double kLongestPreviewRetryDelay = 10.0;
  static constexpr double kAnimationSpeedAppearing = 0.3;
  static constexpr double kAnimationSpeedDisappearing = 0.1;
  static constexpr CGFloat kSharingShadeAlpha = 0.8;
  static constexpr double kSharingShadeDuration = 0.35;
  static constexpr CGFloat kSharingPopupY = 110;
  static constexpr int kRetryUploadSheetTag = 1;
  static constexpr int kDeleteConfirmationSheetTag = 2;
  static constexpr const char* kUploadCellIdentifier = "UploadCell";
  static constexpr const char* kFileCellIdentifier = "FileCell";
  static constexpr const char* kDirectoryCellIdentifier = "DirectoryCell";

  // `url` nil means the manager's root; `manager` nil means the shared one.
  explicit KMDirectoryViewController(std::optional<kdisk::URL> url,
                                     std::shared_ptr<KMWebDAVFileManager> manager = nullptr);
  ~KMDirectoryViewController() override;

  // ---- Data
  const kdisk::URL& URL() const { return m_URL; }
  // Re-roots the screen (the root browser when the server changes); the
  // listing follows with updateData().
  void setURL(kdisk::URL url) { m_URL = std::move(url); }
  const KMFileItemList& contents() const { return m_contents; }
  void setContents(KMFileItemList contents) { m_contents = std::move(contents); }
  const std::optional<KMFileItemList>& filteredContents() const { return m_filteredContents; }
  const KMFileItemList& currentContents() const;
  const KMUploadFileList& uploadingFiles() const { return m_uploadingFiles; }
  // Keeps copies and decides the idle timer; nil re-enables it.
  void setUploadingFiles(const std::optional<KMUploadFileList>& uploads);
  bool shouldDisableIdleTimer() const;
  bool hasActiveUploads() const;
  bool indexPathPointsToUploadItem(const NSIndexPath& indexPath) const;
  bool waitingRequest() const { return m_waitingRequest; }
  bool waitingFetch() const { return m_waitingFetch; }
  const std::optional<kdisk::URL>& currentPreviewURL() const { return m_currentPreviewURL; }
  const std::set<std::string>& failedPreviewURLs() const { return m_failedPreviewURLs; }
  double previewTimeoutInterval() const { return m_previewTimeoutInterval; }
  const std::shared_ptr<KMDiskRequest>& downloadingPreviewRequest() const { return m_downloadingPreviewRequest; }
  const std::optional<NSIndexPath>& selectedIndexPath() const { return m_selectedIndexPath; }
  const std::shared_ptr<KMWebDAVFileManager>& fileManager() const { return m_manager; }
  static const KMUserVisibleDateFormatter& userVisibleDateFormatter();

  KMTableViewGroupHeader& uploadsGroupHeader();
  KMTableViewGroupHeader& folderContentsGroupHeader();
  UIButton* trashButton() const { return m_trashButton.get(); }
  UIButton* shareButton() const { return m_shareButton.get(); }
  UIView* splashScreenShadeView() const { return m_splashScreenShadeView.get(); }
  KMActivityPopupView* activityPopupView() const { return m_activityPopupView.get(); }
  UIView* diskNavbarLogo() const { return m_diskNavbarLogo.get(); }

  // ---- Screen life
  void loadView() override;
  void viewDidLoad() override;
  void viewDidUnload() override;
  void viewWillAppear(KMAnimated animated) override;
  void viewDidAppear(KMAnimated animated) override;
  void viewWillDisappear(KMAnimated animated) override;
  bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const override;

  // ---- Loading (the list base's hooks)
  void updateData() override;
  void refetchAndReloadData() override;
  void reset() override;
  void stopLoadingState();
  void clearMultiselectionAnimated(KMAnimated animated) override;

  // ---- Table
  int numberOfSectionsInTableView(UITableView& tableView) override;
  int tableViewNumberOfRowsInSection(UITableView& tableView, int section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView& tableView,
                                                                  const NSIndexPath& indexPath) override;
  CGFloat tableViewHeightForHeaderInSection(UITableView& tableView, int section) override;
  std::shared_ptr<UIView> tableViewViewForHeaderInSection(UITableView& tableView, int section) override;
  void tableViewDidSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;
  void scrollViewDidEndDraggingWillDecelerate(UIScrollView& scrollView, bool decelerate) override;
  void scrollViewDidEndDecelerating(UIScrollView& scrollView) override;

  // ---- Search
  bool searchDisplayControllerShouldReloadTableForSearchString(UISearchDisplayController& controller,
                                                               const std::string& searchString) override;
  void searchDisplayControllerDidLoadSearchResultsTableView(UISearchDisplayController& controller,
                                                            UITableView& tableView) override;
  void searchDisplayControllerWillBeginSearch(UISearchDisplayController& controller) override;
  void searchDisplayControllerDidBeginSearch(UISearchDisplayController& controller) override;
  void searchDisplayControllerDidEndSearch(UISearchDisplayController& controller) override;
  void searchBarTextDidBeginEditing(UISearchBar& bar) override;
  UISearchDisplayController* searchDisplay() const { return m_searchDisplay.get(); }

  // ---- Previews
  void downloadNextPreview();
  bool shouldDownloadNextPreview() const;
  void downloadNextPreviewAndResetTimeout();
  void cancelDownloadingPreviews();
  void didDownloadPreview();
  // The visible file rows take the thumbnails the manager has cached by now.
  void updateVisibleFileImages();
  void didFailToDownloadPreview(const std::optional<kdisk::URL>& url);

  // ---- Uploads
  void didUploadFile(const kdisk::URL& url);
  void retryUploadFileWithIndexPath(const std::optional<NSIndexPath>& indexPath);
  void deleteUploadFileWithIndexPath(const std::optional<NSIndexPath>& indexPath);

  // ---- Actions
  int numberOfGroupEditButtons() const override { return 2; }
  std::shared_ptr<UIView> groupEditButtonForIndex(int index) override;
  void layoutGroupEditButtons() override;
  void multiselectCellAtIndexPath(KMGroupEditCell* cell, const NSIndexPath& indexPath) override;
  void showGroupEditToolbarAnimated(KMAnimated animated) override;
  void hideGroupEditToolbarAnimated(KMAnimated animated) override;
  void addPlusButtonToNavigationBarAnimated(KMAnimated animated);
  void addSettingsButtonToNavigationBarAnimated(KMAnimated animated);
  void addCancelButtonToNavigationBarAnimated(KMAnimated animated);
  bool cancelButtonAdded() const { return m_cancelButtonAdded; }
  virtual void plusButtonTouched();
  void settingsButtonTouched();
  virtual void cancelButtonTouched();
  void touchedRemoveGroupEditButton();
  void touchedShareGroupEditButton();
  bool isUploadingFilesSelected() const;
  void deleteSelectedItems();
  void actionSheetDidDismissWithButtonIndex(UIActionSheet& sheet, int buttonIndex) override;
  // Made on first use, with this screen as its delegate.
  KAShareManager& shareManager();
  bool isSharingSomethingNow() const { return m_shareManager && m_shareManager->isSharingSomethingNow(); }
  std::shared_ptr<UIViewController> shareManagerViewControllerToShowCompose(KAShareManager& manager) override;
  void shareManagerDidStartPublishingFiles(KAShareManager& manager) override;
  void shareManagerDidPublishAllFiles(KAShareManager& manager) override;
  void shareManagerDidStopPublishingFiles(KAShareManager& manager) override;
  void shareManagerDidSuccessfullySharedFiles(KAShareManager& manager) override;
  void activateSharingInterface();
  void hideSharingInterface();
  bool isRootFolder() const;
  // The grey navigation bar and back button of the viewing screens.
  void setCustomNavbarButtonAndBackground();
  void showPreviewControllerAnimated(KMAnimated animated);
  void didStartUploadFiles(KMUploadFileDialog& dialog) override;
  void didCancelUploadFileDialog(KMUploadFileDialog& dialog) override;

  // ---- Files dropped from the desktop: queued into this folder under their
  // own names, as the upload dialog queues; folders and unreadable files are
  // refused with one message naming them.
  bool canAcceptDroppedFiles() const override;
  bool acceptDroppedFiles(const std::vector<kdisk::URL>& urls) override;

  // ---- The viewer's data source: the file last opened here
  std::size_t numberOfPreviewItemsInPreviewController(QLPreviewController& controller) override;
  std::optional<kdisk::URL> previewControllerPreviewItemAtIndex(QLPreviewController& controller,
                                                                std::size_t index) override;

 protected:
  // Screens that pick a folder list its items only, never its uploads.
  void setListsUploads(bool lists) { m_listsUploads = lists; }

 private:
  std::weak_ptr<KMDirectoryViewController> weakSelf() {
    return std::static_pointer_cast<KMDirectoryViewController>(sharedController());
  }
  void observeNotifications();
  void applyFetch(KMFileItemList contents, KMUploadFileList uploads);
  std::shared_ptr<KMFileItem> itemAtIndexPath(const NSIndexPath& indexPath) const;
  std::shared_ptr<UITableViewCell> uploadCell(UITableView& tableView, const KMUploadFile& upload);
  std::shared_ptr<UITableViewCell> itemCell(UITableView& tableView, const KMFileItem& item);
  void configureGroupEditCell(KMGroupEditCell& cell, const NSIndexPath& indexPath);
  void reloadUploadRowWithURL(const kdisk::URL& url);
  void didStartUploadFile(const kdisk::URL& url);
  void didSendBytesForUploadFile(const kdisk::URL& url, std::uint64_t uploadedSize);
  void didFailToUploadFile(const kdisk::URL& url);
  void didDownloadFile(const kdisk::URL& url);
  void didSelectFile(const KMFileItem& file);
  void showRetrySheetForUploadAtIndexPath(const NSIndexPath& indexPath);
  void applyTitleLogo();
  void setIdleTimerFromUploads() const;
  std::shared_ptr<UIButton> makeGroupEditButton(const char* titleKey, const char* fallback, const char* image,
                                                void (KMDirectoryViewController::*action)());
  bool isMainTable(const UITableView& table) const { return &table == tableView().get(); }

  kdisk::URL m_URL;
  std::shared_ptr<KMWebDAVFileManager> m_manager;
  KMFileItemList m_contents;
  std::optional<KMFileItemList> m_filteredContents;
  KMUploadFileList m_uploadingFiles;
  bool m_waitingRequest = false;
  bool m_waitingFetch = false;
  bool m_listsUploads = true;
  std::uint64_t m_fetchGeneration = 0;
  std::optional<kdisk::URL> m_currentPreviewURL;
  std::shared_ptr<KMDiskRequest> m_downloadingPreviewRequest;
  std::set<std::string> m_failedPreviewURLs;
  double m_previewTimeoutInterval = 0;
  TimerId m_nextPreviewTimer = 0;
  // Items deleted here, hidden from every read until a listing sent after the
  // server confirmed the delete has come back: a listing answered before
  // that may still hold them.
  enum class RemovalState { AwaitingServer, Confirmed, Relisting };
  std::map<std::string, RemovalState> m_pendingRemovals;
  void advancePendingRemovals(RemovalState from, RemovalState to);
  std::shared_ptr<KMTableViewGroupHeader> m_uploadsGroupHeader;
  std::shared_ptr<KMTableViewGroupHeader> m_folderContentsGroupHeader;
  std::optional<NSIndexPath> m_selectedIndexPath;
  std::unique_ptr<UISearchDisplayController> m_searchDisplay;
  std::vector<ObserverToken> m_observations;
  std::shared_ptr<UIButton> m_trashButton;
  std::shared_ptr<UIButton> m_shareButton;
  bool m_cancelButtonAdded = false;
  std::shared_ptr<KAShareManager> m_shareManager;
  std::shared_ptr<KMActivityPopupView> m_activityPopupView;
  std::shared_ptr<UIView> m_splashScreenView;
  std::shared_ptr<UIView> m_splashScreenShadeView;
  std::shared_ptr<UIView> m_diskNavbarLogo;
  std::shared_ptr<UIActionSheet> m_actionSheet;
};

}  // namespace kdisk
