#include "screens/browsing/KMDirectoryViewController.h"

#include <algorithm>

#include "foundation/KLApplicationLocale.h"
#include "platform/Bundle.h"
#include "platform/DateFormat.h"
#include "platform/DispatchQueue.h"
#include "platform/KMAnalytics.h"
#include "platform/NotificationCenter.h"
#include "screens/browsing/KMFileRowCell.h"
#include "settings/KMSettings.h"
#include "uikit/KMAppearanceHelper.h"
#include "uikit/UIApplication.h"
#include "uikit/UIImageView.h"
#include "uikit/UINavigationBar.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "webdav/KMDirectory.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMFile.h"

namespace kdisk {

namespace {
constexpr const char* kTable = "KMDirectoryViewController";

UIColor colorFromSettings(KMSettingsColor color) {
  return UIColor::colorWithRGB255(color.red, color.green, color.blue, color.alpha);
}

// Folder URLs reach us with and without their final slash.
bool sameFolder(const URL& a, const URL& b) { return a.withTrailingSlash() == b.withTrailingSlash(); }

std::optional<URL> notificationURL(const Notification& notification) {
  auto text = stringForKey(notification.userInfo, "URL");
  return text ? URL::fromString(*text) : std::nullopt;
}
}  // namespace

KMDirectoryViewController::KMDirectoryViewController(std::optional<kdisk::URL> url,
                                                     std::shared_ptr<KMWebDAVFileManager> manager)
    : m_manager(manager ? std::move(manager) : KMWebDAVFileManager::sharedInstance()) {
  m_URL = url ? *url : m_manager->rootURL();
  m_previewTimeoutInterval = 0;
  setPullRefreshStyle(1);
  setRefreshActionImage(UIImage::imageNamed("ptr_state_active"));
  setTextNoItems(KMLocalizedString("FooterNoItemsTitle", "Папка пуста", kTable));
  setTextLoadingFailed(KMLocalizedString("FooterLoadingFailedTitle", "Не удалось загрузить", kTable));
}

KMDirectoryViewController::~KMDirectoryViewController() {
  m_observations.clear();
  if (m_shareManager) {
    m_shareManager->setDelegate({});
    m_shareManager->cancel();
  }
  if (m_nextPreviewTimer) RunLoop::main().cancel(m_nextPreviewTimer);
  if (m_downloadingPreviewRequest) m_downloadingPreviewRequest->cancel();
  if (tableView()) tableView()->setTableDelegate({});
  setSearchDisplayController(nullptr);
  UIApplication::sharedApplication().setIdleTimerDisabled(false);
}

const KMUserVisibleDateFormatter& KMDirectoryViewController::userVisibleDateFormatter() {
  static const KMUserVisibleDateFormatter formatter(KLApplicationLocale::applicationLanguage());
  return formatter;
}

// ---- Data ------------------------------------------------------------------------

const KMFileItemList& KMDirectoryViewController::currentContents() const {
  if (isSearching() && m_filteredContents) return *m_filteredContents;
  return m_contents;
}

bool KMDirectoryViewController::hasActiveUploads() const { return !isSearching() && !m_uploadingFiles.empty(); }

bool KMDirectoryViewController::indexPathPointsToUploadItem(const NSIndexPath& indexPath) const {
  return !isSearching() && hasActiveUploads() && indexPath.section == 0;
}

bool KMDirectoryViewController::shouldDisableIdleTimer() const {
  return std::any_of(m_uploadingFiles.begin(), m_uploadingFiles.end(),
                     [](const auto& upload) { return !upload->failed(); });
}

void KMDirectoryViewController::setIdleTimerFromUploads() const {
  UIApplication::sharedApplication().setIdleTimerDisabled(shouldDisableIdleTimer());
}

void KMDirectoryViewController::setUploadingFiles(const std::optional<KMUploadFileList>& uploads) {
  m_uploadingFiles.clear();
  if (!uploads) {
    UIApplication::sharedApplication().setIdleTimerDisabled(false);
    return;
  }
  // Our own copies: the store's objects may be handed to other screens.
  for (const auto& upload : *uploads) m_uploadingFiles.push_back(std::make_shared<KMUploadFile>(*upload));
  setIdleTimerFromUploads();
}

std::shared_ptr<KMFileItem> KMDirectoryViewController::itemAtIndexPath(const NSIndexPath& indexPath) const {
  const auto& items = currentContents();
  if (indexPathPointsToUploadItem(indexPath) || indexPath.row < 0 || indexPath.row >= int(items.size()))
    return nullptr;
  return items[indexPath.row];
}

bool KMDirectoryViewController::isRootFolder() const {
  return m_URL.absoluteString() == m_manager->rootURL().absoluteString();
}

KMTableViewGroupHeader& KMDirectoryViewController::uploadsGroupHeader() {
  if (!m_uploadsGroupHeader) {
    m_uploadsGroupHeader = std::make_shared<KMTableViewGroupHeader>(CGRectMake(0, 0, 320, kSectionHeaderHeight));
    m_uploadsGroupHeader->setTitleText(KMLocalizedString("UploadsSectionTitle", "Загрузки", kTable));
    m_uploadsGroupHeader->setArrowHidden(true);
  }
  return *m_uploadsGroupHeader;
}

KMTableViewGroupHeader& KMDirectoryViewController::folderContentsGroupHeader() {
  if (!m_folderContentsGroupHeader) {
    m_folderContentsGroupHeader =
        std::make_shared<KMTableViewGroupHeader>(CGRectMake(0, 0, 320, kSectionHeaderHeight));
    m_folderContentsGroupHeader->setTitleText(
        KMLocalizedString("FolderContentsSectionTitle", "Содержимое папки", kTable));
    m_folderContentsGroupHeader->setArrowHidden(true);
  }
  return *m_folderContentsGroupHeader;
}

// ---- Screen life -----------------------------------------------------------------

void KMDirectoryViewController::loadView() {
  KMTableViewController::loadView();
  // The search bar heads the table, as the folder screens have it.
  auto bar = std::make_shared<UISearchBar>(CGRectMake(0, 0, view()->bounds().size.width, 44));
  m_searchDisplay = std::make_unique<UISearchDisplayController>(bar, *this);
  setSearchDisplayController(m_searchDisplay.get());
}

void KMDirectoryViewController::viewDidLoad() {
  KMTableViewController::viewDidLoad();
  auto self = weakSelf();
  auto shared = self.lock();
  tableView()->setDataSource(shared);
  tableView()->setTableDelegate(shared);
  tableView()->setTableHeaderView(m_searchDisplay->searchBar().sharedView());
  m_searchDisplay->setSearchResultsDataSource(shared);
  m_searchDisplay->setSearchResultsDelegate(shared);
  m_searchDisplay->setDelegate(shared);

  navigationItem().setTitle(KMDirectory(m_URL).displayName());
  m_failedPreviewURLs.clear();
  if (auto* navigation = navigationController())
    if (auto* helper = KMAppearanceHelper::sharedInstance()) helper->setNavbarBackgroundRegular(&navigation->navigationBar());
  addPlusButtonToNavigationBarAnimated(KMAnimated::No);
  addSettingsButtonToNavigationBarAnimated(KMAnimated::No);

  observeNotifications();

  m_searchDisplay->searchBar().setPlaceholder(KMLocalizedString("SearchbarPlaceholderText", "Поиск", kTable));
  tableView()->setSeparatorStyle(UITableViewCellSeparatorStyle::None);
  activateGroupEditModeAnimated(KMAnimated::No);

  // The overlay shown while files are published for sharing.
  m_splashScreenView = std::make_shared<UIView>(view()->bounds());
  m_splashScreenShadeView = std::make_shared<UIView>(view()->bounds());
  m_splashScreenShadeView->setBackgroundColor(UIColor::colorWithWhiteAlpha(0, 1));
  m_splashScreenShadeView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  if (isSharingSomethingNow()) activateSharingInterface();
}

void KMDirectoryViewController::observeNotifications() {
  auto& center = NotificationCenter::defaultCenter();
  auto self = weakSelf();
  auto on = [&](const char* name, std::function<void(KMDirectoryViewController&, const Notification&)> reaction) {
    m_observations.push_back(center.addObserver(name, [self, reaction](const Notification& notification) {
      if (auto screen = self.lock()) reaction(*screen, notification);
    }));
  };
  // The folder's own URL, or a URL whose parent is the folder.
  auto mine = [](KMDirectoryViewController& screen, const Notification& n) {
    auto url = notificationURL(n);
    return url && sameFolder(*url, screen.m_URL);
  };
  auto inside = [](KMDirectoryViewController& screen, const Notification& n) -> std::optional<kdisk::URL> {
    auto url = notificationURL(n);
    if (!url || !sameFolder(url->withoutTrailingSlash().deletingLastPathComponent(), screen.m_URL))
      return std::nullopt;
    return url;
  };

  on(kKMKMWebDAVFileManagerDidSendFileListRequest, [mine](auto& screen, const Notification& n) {
    if (!mine(screen, n)) return;
    screen.advancePendingRemovals(RemovalState::Confirmed, RemovalState::Relisting);
    screen.setLoadingStateAnimated(KMLoadingStateLoading, KMAnimated::Yes);
    screen.m_waitingRequest = true;
  });
  on(kKMKMWebDAVFileManagerDidReceiveFileList, [mine](auto& screen, const Notification& n) {
    if (!mine(screen, n)) return;
    std::erase_if(screen.m_pendingRemovals, [](const auto& entry) { return entry.second == RemovalState::Relisting; });
    screen.m_waitingRequest = false;
    screen.refetchAndReloadData();
  });
  on(kKMKMWebDAVFileManagerDidFailWithFileListRequest, [mine](auto& screen, const Notification& n) {
    if (!mine(screen, n)) return;
    screen.setLoadingStateAnimated(KMLoadingStateFailed, KMAnimated::Yes);
    screen.m_waitingRequest = false;
  });
  on(kKMKMWebDAVFileManagerDidCreateDirectory, [inside](auto& screen, const Notification& n) {
    if (inside(screen, n)) screen.refetchAndReloadData();
  });
  on(kKMKMWebDAVFileManagerDidDownloadFile, [](auto& screen, const Notification& n) {
    auto url = notificationURL(n);
    if (url && screen.m_currentPreviewURL == url) screen.didDownloadFile(*url);
  });
  on(kKMKMWebDAVFileManagerDidDownloadPreview, [](auto& screen, const Notification&) { screen.didDownloadPreview(); });
  on(kKMKMWebDAVFileManagerDidLoadPreview, [](auto& screen, const Notification&) {
    if (screen.isVisible()) screen.updateVisibleFileImages();
  });
  on(kKMKMWebDAVFileManagerDidFailToDownloadPreview,
     [](auto& screen, const Notification& n) { screen.didFailToDownloadPreview(notificationURL(n)); });
  on(kKMKMWebDAVFileManagerDidStartUploadFile, [inside](auto& screen, const Notification& n) {
    if (auto url = inside(screen, n)) screen.didStartUploadFile(*url);
  });
  on(kKMKMWebDAVFileManagerDidSendBytesForUploadFile, [inside](auto& screen, const Notification& n) {
    auto url = inside(screen, n);
    const Value* sent = find(n.userInfo, "uploadedSize");
    auto bytes = sent ? sent->integerValue() : std::nullopt;
    if (url && bytes && *bytes >= 0) screen.didSendBytesForUploadFile(*url, std::uint64_t(*bytes));
  });
  on(kKMKMWebDAVFileManagerDidUploadFile, [inside](auto& screen, const Notification& n) {
    if (auto url = inside(screen, n)) screen.didUploadFile(*url);
  });
  on(kKMKMWebDAVFileManagerDidFailToUploadFile, [inside](auto& screen, const Notification& n) {
    if (auto url = inside(screen, n)) screen.didFailToUploadFile(*url);
  });
  on(kKMKMWebDAVFileManagerUploadQueueWasChanged, [mine](auto& screen, const Notification& n) {
    if (mine(screen, n)) screen.refetchAndReloadData();
  });
  on(UIApplicationDidBecomeActiveNotification, [](auto& screen, const Notification&) {
    if (KMSettings::mainSettings().wasSuccessfullyAuthorized() && !screen.m_waitingRequest) screen.updateData();
  });
  // The server's answers to our own deletes.
  on(kKMKMWebDAVFileManagerDidRemove, [](auto& screen, const Notification& n) {
    auto url = notificationURL(n);
    auto found = url ? screen.m_pendingRemovals.find(url->absoluteString()) : screen.m_pendingRemovals.end();
    if (found != screen.m_pendingRemovals.end()) found->second = RemovalState::Confirmed;
  });
  // Refused: the item is still there and may show again.
  on(kKMKMWebDAVFileManagerDidFailWithRemoveRequest, [](auto& screen, const Notification& n) {
    if (auto url = notificationURL(n)) screen.m_pendingRemovals.erase(url->absoluteString());
  });
}

void KMDirectoryViewController::advancePendingRemovals(RemovalState from, RemovalState to) {
  for (auto& entry : m_pendingRemovals)
    if (entry.second == from) entry.second = to;
}

void KMDirectoryViewController::viewDidUnload() {
  UIApplication::sharedApplication().setIdleTimerDisabled(false);
  m_observations.clear();
  cancelDownloadingPreviews();
  m_splashScreenView.reset();
  m_splashScreenShadeView.reset();
  m_activityPopupView.reset();
  m_trashButton.reset();
  m_shareButton.reset();
  setSearchDisplayController(nullptr);
  m_searchDisplay.reset();
  KMTableViewController::viewDidUnload();
}

void KMDirectoryViewController::applyTitleLogo() {
  if (!isRootFolder()) return;
  if (!m_diskNavbarLogo) {
    auto image = UIImage::imageNamed(KMLocalizedString("NavbarLogoImageName", "navbar_logo"));
    if (!image) return;
    m_diskNavbarLogo = std::make_shared<UIImageView>(image);
    m_diskNavbarLogo->setFrame(CGRectMake(0, 0, image->size().width, image->size().height));
  }
  navigationItem().setTitleView(m_diskNavbarLogo);
}

void KMDirectoryViewController::viewWillAppear(KMAnimated animated) {
  KMTableViewController::viewWillAppear(animated);
  applyTitleLogo();
  navigationItem().setBackBarButtonItem(nullptr);
  if (auto* navigation = navigationController()) {
    navigation->navigationBar().setTintColor(colorFromSettings(KMSettings::defaultTintColor()));
    if (!dynamic_cast<KMDirectoryViewController*>(navigation->visibleViewController())) {
      if (auto* helper = KMAppearanceHelper::sharedInstance()) {
        helper->setNavbarBackgroundRegular(&navigation->navigationBar());
        helper->setNavbarButtonBackgroundRegular(nullptr);
        helper->setNavbarBackButtonBackgroundRegular(nullptr);
      }
    }
  }
  setAnimationSpeed(kAnimationSpeedAppearing);
  setIdleTimerFromUploads();
}

void KMDirectoryViewController::viewDidAppear(KMAnimated animated) {
  KMTableViewController::viewDidAppear(animated);
  m_failedPreviewURLs.clear();
  downloadNextPreview();
}

void KMDirectoryViewController::viewWillDisappear(KMAnimated animated) {
  KMTableViewController::viewWillDisappear(animated);
  setAnimationSpeed(kAnimationSpeedDisappearing);
  clearMultiselectionAnimated(animated);
  cancelDownloadingPreviews();
  UIApplication::sharedApplication().setIdleTimerDisabled(false);
}

bool KMDirectoryViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const {
  if (m_splashScreenShadeView && m_splashScreenShadeView->superview())
    return orientation == UIInterfaceOrientation::Portrait ||
           orientation == UIInterfaceOrientation::PortraitUpsideDown;
  return KMTableViewController::shouldAutorotateToInterfaceOrientation(orientation);
}

// ---- Loading ---------------------------------------------------------------------

void KMDirectoryViewController::updateData() {
  // Waiting from the ask, not from the manager's announcement a turn later: the
  // activation that follows a launch must not list the folder a second time.
  m_waitingRequest = true;
  m_manager->updateContentsOfDirectoryAtURL(m_URL);
}

void KMDirectoryViewController::refetchAndReloadData() {
  m_waitingFetch = true;
  auto self = weakSelf();
  auto storage = m_manager->storage();
  const kdisk::URL url = m_URL;
  const std::uint64_t generation = ++m_fetchGeneration;
  dispatchBackground([self, storage, url, generation, listsUploads = m_listsUploads] {
    auto contents = storage->contentsOfDirectoryAtURLIncludeHidden(url, true);
    auto uploads = listsUploads ? storage->uploadsInDirectoryAtURL(url) : KMUploadFileList{};
    dispatchMain([self, generation, contents = std::move(contents), uploads = std::move(uploads)]() mutable {
      auto screen = self.lock();
      // Reads run side by side on the background queue: an older one that
      // ends last must not put stale rows back.
      if (!screen || generation != screen->m_fetchGeneration) return;
      screen->applyFetch(std::move(contents), std::move(uploads));
    });
  });
}

void KMDirectoryViewController::applyFetch(KMFileItemList contents, KMUploadFileList uploads) {
  if (!m_pendingRemovals.empty())
    std::erase_if(contents, [&](const auto& item) { return m_pendingRemovals.count(item->URLString()) > 0; });
  setContents(std::move(contents));
  setUploadingFiles(uploads);
  if (isViewLoaded()) {
    tableView()->reloadData();
    if (isSearching() && m_filteredContents) {
      // The results follow the fresh listing under the same search text.
      searchDisplayControllerShouldReloadTableForSearchString(*m_searchDisplay, m_searchDisplay->searchBar().text());
      m_searchDisplay->searchResultsTableView().reloadData();
    }
  }
  m_waitingFetch = false;
  stopLoadingState();
  didReloadData();
  downloadNextPreview();
}

void KMDirectoryViewController::reset() {
  KMTableViewController::reset();
  m_contents.clear();
  m_filteredContents.reset();
  setUploadingFiles(std::nullopt);
  m_waitingRequest = false;
  m_waitingFetch = false;
  m_currentPreviewURL.reset();
  m_downloadingPreviewRequest.reset();
  m_selectedIndexPath.reset();
  // Laid out with the old counts, the table would ask for rows that are gone.
  if (isViewLoaded()) tableView()->reloadData();
}

void KMDirectoryViewController::stopLoadingState() {
  if (!m_waitingRequest && !m_waitingFetch) setLoadingStateAnimated(KMLoadingStateIdle, KMAnimated::Yes);
}

void KMDirectoryViewController::clearMultiselectionAnimated(KMAnimated animated) {
  KMTableViewController::clearMultiselectionAnimated(animated);
  const bool finishedUpload = std::any_of(m_uploadingFiles.begin(), m_uploadingFiles.end(), [](const auto& upload) {
    return upload->uploadedSize() >= upload->size();
  });
  if (finishedUpload) refetchAndReloadData();
}

// ---- Table -----------------------------------------------------------------------

int KMDirectoryViewController::numberOfSectionsInTableView(UITableView& table) {
  return isMainTable(table) && hasActiveUploads() ? 2 : 1;
}

int KMDirectoryViewController::tableViewNumberOfRowsInSection(UITableView& table, int section) {
  if (!isMainTable(table)) return m_filteredContents ? int(m_filteredContents->size()) : 0;
  if (hasActiveUploads() && section == 0) return int(m_uploadingFiles.size());
  return int(currentContents().size());
}

CGFloat KMDirectoryViewController::tableViewHeightForHeaderInSection(UITableView& table, int section) {
  if (!isMainTable(table) || !hasActiveUploads()) return 0;
  if (section == 0) return kSectionHeaderHeight;
  return currentContents().empty() ? 0 : kSectionHeaderHeight;
}

std::shared_ptr<UIView> KMDirectoryViewController::tableViewViewForHeaderInSection(UITableView& table, int section) {
  if (tableViewHeightForHeaderInSection(table, section) == 0) return nullptr;
  auto& header = section == 0 ? uploadsGroupHeader() : folderContentsGroupHeader();
  return std::static_pointer_cast<UIView>(header.sharedView());
}

void KMDirectoryViewController::configureGroupEditCell(KMGroupEditCell& cell, const NSIndexPath& indexPath) {
  const auto& selected = indexPathsForSelectedRows();
  cell.setMultiSelected(std::find(selected.begin(), selected.end(), indexPath) != selected.end());
  cell.setDelegate(std::static_pointer_cast<KMDirectoryViewController>(sharedController()));
  if (isInGroupEditMode())
    cell.activateGroupEditModeAnimated(KMAnimated::No);
  else
    cell.resignGroupEditModeAnimated(KMAnimated::No);
}

std::shared_ptr<UITableViewCell> KMDirectoryViewController::itemCell(UITableView& table, const KMFileItem& item) {
  const bool isFile = typeid(item) == typeid(KMFile);
  const char* identifier = isFile ? kFileCellIdentifier : kDirectoryCellIdentifier;
  auto cell = std::dynamic_pointer_cast<KMGroupEditCell>(table.dequeueReusableCellWithIdentifier(identifier));
  if (!cell) {
    if (isFile)
      cell = std::make_shared<KMFileRowCell>(identifier);
    else
      cell = std::make_shared<KMGroupEditCell>(UITableViewCellStyle::Default, identifier);
    cell->textLabel().setFont(UIFont::boldSystemFontOfSize(kTitleFontSize));
  }
  cell->textLabel().setText(item.displayName());
  if (isFile) {
    const auto& file = static_cast<const KMFile&>(item);
    static_cast<KMFileRowCell&>(*cell).setSizeTextAndDate(LocalizedFileSizeStr(file.size()), file.lastModified(),
                                                          userVisibleDateFormatter());
  }
  cell->setAccessoryType(UITableViewCellAccessoryType::None);
  cell->imageView().setImage(m_manager->iconForFileItem(item));
  return cell;
}

std::shared_ptr<UITableViewCell> KMDirectoryViewController::tableViewCellForRowAtIndexPath(
    UITableView& table, const NSIndexPath& indexPath) {
  std::shared_ptr<UITableViewCell> cell;
  if (isMainTable(table) && indexPathPointsToUploadItem(indexPath)) {
    cell = uploadCell(table, *m_uploadingFiles.at(indexPath.row));
  } else {
    const auto& items = isMainTable(table) ? currentContents() : (m_filteredContents ? *m_filteredContents : m_contents);
    cell = itemCell(table, *items.at(indexPath.row));
  }
  if (auto* groupCell = dynamic_cast<KMGroupEditCell*>(cell.get())) configureGroupEditCell(*groupCell, indexPath);
  return cell;
}

void KMDirectoryViewController::tableViewDidSelectRowAtIndexPath(UITableView& table, const NSIndexPath& indexPath) {
  if (isMainTable(table) && indexPathPointsToUploadItem(indexPath)) {
    const auto& upload = m_uploadingFiles.at(indexPath.row);
    if (upload->failed()) {
      showRetrySheetForUploadAtIndexPath(indexPath);
    } else {
      table.deselectRowAtIndexPathAnimated(indexPath, KMAnimated::Yes);
      KMAnalytics::sharedInstance().logEvent(kKMMVDiskUploadingFileTapped);
    }
    return;
  }
  auto item = itemAtIndexPath(indexPath);
  if (!item) return;
  if (typeid(*item) != typeid(KMFile)) {
    if (auto* navigation = navigationController())
      navigation->pushViewControllerAnimated(std::make_shared<KMDirectoryViewController>(item->URL(), m_manager),
                                             KMAnimated::Yes);
    return;
  }
  didSelectFile(*item);
}

}  // namespace kdisk
