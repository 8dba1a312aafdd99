// The browser's preview prefetch, search and upload rows.
#include <algorithm>
#include <filesystem>

#include "foundation/KLApplicationLocale.h"
#include "platform/Bundle.h"
#include "platform/DateFormat.h"
#include "platform/KMAnalytics.h"
#include "platform/Log.h"
#include "platform/TextFolding.h"
#include "screens/browsing/KMDirectoryViewController.h"
#include "screens/viewing/KMUploadFileCell.h"
#include "settings/KMSettings.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMFile.h"

namespace kdisk {

namespace {
constexpr const char* kTable = "KMDirectoryViewController";

const std::shared_ptr<spdlog::logger>& browserLog() {
  static const auto log = logger("KMDirectoryViewController");
  return log;
}

}  // namespace

// ---- Previews --------------------------------------------------------------------

bool KMDirectoryViewController::shouldDownloadNextPreview() const {
  return isVisible() && m_manager->hostIsReachable() && !m_downloadingPreviewRequest;
}

void KMDirectoryViewController::downloadNextPreview() {
  if (m_nextPreviewTimer) {
    RunLoop::main().cancel(m_nextPreviewTimer);
    m_nextPreviewTimer = 0;
  }
  if (!shouldDownloadNextPreview()) return;
  UITableView* table = currentTableView();
  if (!table) return;
  const auto& storage = m_manager->storage();
  for (const NSIndexPath& indexPath : table->indexPathsForVisibleRows()) {
    if (table == tableView().get() && indexPathPointsToUploadItem(indexPath)) continue;
    auto item = itemAtIndexPath(indexPath);
    if (!item || typeid(*item) != typeid(KMFile) || !m_manager->needDownloadPreview(*item)) continue;
    if (m_failedPreviewURLs.count(m_manager->previewURLForFileURL(item->URL()).absoluteString())) continue;
    auto previewPath = storage->previewPathForWebURL(item->URL());
    std::error_code error;
    if (!previewPath || std::filesystem::exists(*previewPath, error)) continue;
    m_downloadingPreviewRequest = m_manager->startDownloadFilePreviewForURL(item->URL());
    if (m_downloadingPreviewRequest) return;
  }
}

void KMDirectoryViewController::downloadNextPreviewAndResetTimeout() {
  m_previewTimeoutInterval = kFirstPreviewRetryDelay;
  downloadNextPreview();
}

void KMDirectoryViewController::cancelDownloadingPreviews() {
  if (m_nextPreviewTimer) {
    RunLoop::main().cancel(m_nextPreviewTimer);
    m_nextPreviewTimer = 0;
  }
  if (m_downloadingPreviewRequest) m_downloadingPreviewRequest->cancel();
  m_downloadingPreviewRequest.reset();
}

void KMDirectoryViewController::didDownloadPreview() {
  m_previewTimeoutInterval = 0;
  m_downloadingPreviewRequest.reset();
  if (!isVisible()) return;
  updateVisibleFileImages();
  downloadNextPreview();
}

void KMDirectoryViewController::updateVisibleFileImages() {
  // Only the rows in view can show the new thumbnail; the others take it when
  // they scroll in. Re-imaging them spares a full reload of a long folder.
  if (UITableView* table = currentTableView()) {
    for (const NSIndexPath& indexPath : table->indexPathsForVisibleRows()) {
      if (table == tableView().get() && indexPathPointsToUploadItem(indexPath)) continue;
      auto item = itemAtIndexPath(indexPath);
      auto cell = table->cellForRowAtIndexPath(indexPath);
      if (!item || !cell || typeid(*item) != typeid(KMFile)) continue;
      auto image = m_manager->iconForFileItem(*item);
      if (image == cell->imageView().image()) continue;
      cell->imageView().setImage(image);
      cell->setNeedsLayout();
    }
  }
}

void KMDirectoryViewController::didFailToDownloadPreview(const std::optional<kdisk::URL>& url) {
  m_downloadingPreviewRequest.reset();
  if (url) m_failedPreviewURLs.insert(url->absoluteString());
  if (!shouldDownloadNextPreview()) return;
  const double delay = m_previewTimeoutInterval > 0 ? m_previewTimeoutInterval : kFirstPreviewRetryDelay;
  browserLog()->info("Failed to download preview for {}, resend request in {:0.3f}",
                     url ? url->absoluteString() : std::string("(null)"), delay);
  auto self = weakSelf();
  if (m_nextPreviewTimer) RunLoop::main().cancel(m_nextPreviewTimer);
  m_nextPreviewTimer = RunLoop::main().postDelayed(delay, [self] {
    if (auto screen = self.lock()) {
      screen->m_nextPreviewTimer = 0;
      screen->downloadNextPreview();
    }
  });
  m_previewTimeoutInterval = std::min(delay * kPreviewRetryGrowth, kLongestPreviewRetryDelay);
}

void KMDirectoryViewController::scrollViewDidEndDraggingWillDecelerate(UIScrollView& scrollView, bool decelerate) {
  KMTableViewController::scrollViewDidEndDraggingWillDecelerate(scrollView, decelerate);
  if (decelerate) return;
  m_failedPreviewURLs.clear();
  downloadNextPreviewAndResetTimeout();
}

void KMDirectoryViewController::scrollViewDidEndDecelerating(UIScrollView& scrollView) {
  KMTableViewController::scrollViewDidEndDecelerating(scrollView);
  m_failedPreviewURLs.clear();
  downloadNextPreviewAndResetTimeout();
}

// ---- Search ----------------------------------------------------------------------

bool KMDirectoryViewController::searchDisplayControllerShouldReloadTableForSearchString(
    UISearchDisplayController&, const std::string& searchString) {
  KMFileItemList found;
  if (!searchString.empty()) {
    const std::string needle = foldedForSearch(searchString);
    for (const auto& item : m_contents)
      if (foldedForSearch(item->displayName()).find(needle) != std::string::npos) found.push_back(item);
  }
  m_filteredContents = std::move(found);
  // The folder's own table behind the results reads the same rows; it must
  // not go on laying out counts of the old ones.
  if (isViewLoaded()) tableView()->reloadData();
  return true;
}

void KMDirectoryViewController::searchDisplayControllerDidLoadSearchResultsTableView(UISearchDisplayController&,
                                                                                     UITableView& table) {
  table.setRowHeight(tableView()->rowHeight());
  table.setSeparatorStyle(UITableViewCellSeparatorStyle::None);
  auto background = std::make_shared<UIView>(table.bounds());
  const auto color = KMSettings::defaultBackgroundColor();
  background->setBackgroundColor(UIColor::colorWithRGB255(color.red, color.green, color.blue, color.alpha));
  table.setBackgroundView(background);
}

void KMDirectoryViewController::searchDisplayControllerWillBeginSearch(UISearchDisplayController&) {
  setPullRefreshEnabled(false);
}

void KMDirectoryViewController::searchDisplayControllerDidBeginSearch(UISearchDisplayController&) {
  // The uploads' section leaves the folder's table while searching.
  if (isViewLoaded()) tableView()->reloadData();
}

void KMDirectoryViewController::searchDisplayControllerDidEndSearch(UISearchDisplayController&) {
  setPullRefreshEnabled(true);
  m_filteredContents.reset();
  tableView()->reloadData();
  didReloadData();
}

void KMDirectoryViewController::searchBarTextDidBeginEditing(UISearchBar& bar) {
  KMTableViewController::searchBarTextDidBeginEditing(bar);
  KMAnalytics::sharedInstance().logEvent(kKMMVDiskSearch);
}

// ---- Upload rows -----------------------------------------------------------------

std::shared_ptr<UITableViewCell> KMDirectoryViewController::uploadCell(UITableView& table, const KMUploadFile& upload) {
  auto cell = std::dynamic_pointer_cast<KMUploadFileCell>(table.dequeueReusableCellWithIdentifier(kUploadCellIdentifier));
  if (!cell) {
    cell = std::make_shared<KMUploadFileCell>(kUploadCellIdentifier);
    cell->textLabel().setFont(UIFont::boldSystemFontOfSize(kTitleFontSize));
  }
  cell->setURL(upload.URL());
  cell->textLabel().setText(upload.displayName());
  cell->setSize(upload.size());
  cell->setUploadedSize(upload.uploadedSize());
  if (upload.failed()) {
    cell->setState(KMUploadFileCellStateFailed);
    cell->setErrorDescription(KMLocalizedString("FailedToUploadFile", "Ошибка загрузки", kTable));
  } else {
    cell->setState(upload.uploadedSize() != 0 ? KMUploadFileCellStateUploading : KMUploadFileCellStateWaiting);
  }
  cell->imageView().setImage(m_manager->iconForFileWithURL(upload.URL()));
  return cell;
}

void KMDirectoryViewController::reloadUploadRowWithURL(const kdisk::URL& url) {
  if (!isViewLoaded()) return;
  if (isSearching()) {
    tableView()->reloadData();
    return;
  }
  for (std::size_t row = 0; row < m_uploadingFiles.size(); ++row)
    if (m_uploadingFiles[row]->URL() == url)
      tableView()->reloadRowsAtIndexPathsWithRowAnimation({NSIndexPath::indexPathForRowInSection(int(row), 0)},
                                                          UITableViewRowAnimation::None);
}

void KMDirectoryViewController::didStartUploadFile(const kdisk::URL& url) {
  bool changed = false;
  for (auto& upload : m_uploadingFiles) {
    if (upload->URL() == url && upload->failed()) {
      upload->setFailed(false);
      changed = true;
    }
  }
  if (changed) {
    reloadUploadRowWithURL(url);
    setIdleTimerFromUploads();
  }
}

void KMDirectoryViewController::didSendBytesForUploadFile(const kdisk::URL& url, std::uint64_t uploadedSize) {
  auto found = std::find_if(m_uploadingFiles.begin(), m_uploadingFiles.end(),
                            [&](const auto& upload) { return upload->URL() == url; });
  if (found == m_uploadingFiles.end()) return;
  (*found)->setUploadedSize(uploadedSize);
  if (!isViewLoaded() || isSearching()) return;
  // Only the visible row showing that URL changes, without a reload.
  for (const auto& cell : tableView()->visibleCells())
    if (auto* uploadCell = dynamic_cast<KMUploadFileCell*>(cell.get()); uploadCell && uploadCell->URL() == url) {
      uploadCell->setUploadedSize(uploadedSize);
      // The first bytes give the row its detail line.
      uploadCell->setNeedsLayout();
    }
}

void KMDirectoryViewController::didFailToUploadFile(const kdisk::URL& url) {
  for (auto& upload : m_uploadingFiles) {
    if (upload->URL() != url) continue;
    upload->setFailed(true);
    upload->setUploadedSize(0);
  }
  reloadUploadRowWithURL(url);
  setIdleTimerFromUploads();
  // A read begun before the store knew of the failure would bring the row back
  // as waiting; a newer read supersedes it.
  if (m_waitingFetch) refetchAndReloadData();
}

void KMDirectoryViewController::didUploadFile(const kdisk::URL& url) {
  auto found = std::find_if(m_uploadingFiles.begin(), m_uploadingFiles.end(),
                            [&](const auto& upload) { return upload->URL() == url; });
  if (found == m_uploadingFiles.end()) return;
  auto file = KMFile::fileItemWithURL(url);
  file->setDisplayName((*found)->displayName());
  file->setSize((*found)->size());
  file->setLastModified(currentDate());

  const int oldRow = int(found - m_uploadingFiles.begin());
  m_uploadingFiles.erase(found);
  setIdleTimerFromUploads();

  // A listing that already holds the file (it arrived first) keeps its row.
  std::erase_if(m_contents, [&](const auto& item) { return item->URL() == url; });
  KMFileItemList contents = m_contents;
  contents.push_back(file);
  int newRow = 0;
  if (contents.size() >= 2) {
    contents = KMWebDAVStorage::sortFileItemsUsingStandartOrder(contents);
    newRow = int(std::find(contents.begin(), contents.end(), file) - contents.begin());
  }
  const bool wasEmpty = m_contents.empty();
  setContents(std::move(contents));

  updateMultiselectionRemovingRowAtIndexPath(NSIndexPath::indexPathForRowInSection(oldRow, 0));
  updateMultiselectionInsertingRowAtIndexPath(NSIndexPath::indexPathForRowInSection(newRow, 1));

  if (isViewLoaded()) {
    if (!isSearching() && !m_uploadingFiles.empty()) {
      if (wasEmpty) {
        tableView()->reloadData();
      } else {
        tableView()->beginUpdates();
        tableView()->deleteRowsAtIndexPathsWithRowAnimation({NSIndexPath::indexPathForRowInSection(oldRow, 0)},
                                                            UITableViewRowAnimation::Bottom);
        tableView()->insertRowsAtIndexPathsWithRowAnimation({NSIndexPath::indexPathForRowInSection(newRow, 1)},
                                                            UITableViewRowAnimation::Top);
        tableView()->endUpdates();
      }
    } else {
      updateMultiselectionRemovingSectionAtIndex(0);
      tableView()->reloadData();
      if (isSearching() && m_searchDisplay) {
        searchDisplayControllerShouldReloadTableForSearchString(*m_searchDisplay, m_searchDisplay->searchBar().text());
        m_searchDisplay->searchResultsTableView().reloadData();
      }
    }
    didReloadData();
  }
  downloadNextPreview();
}

void KMDirectoryViewController::retryUploadFileWithIndexPath(const std::optional<NSIndexPath>& indexPath) {
  if (!indexPath || indexPath->section != 0 || indexPath->row < 0 || indexPath->row >= int(m_uploadingFiles.size()))
    return;
  auto& upload = m_uploadingFiles[indexPath->row];
  m_manager->storage()->markUploadFileWithURLFailedWithReason(upload->URL(), false, std::nullopt);
  m_manager->uploadNextFileInQueue();
  upload->setFailed(false);
  if (isViewLoaded() && hasActiveUploads())
    tableView()->reloadRowsAtIndexPathsWithRowAnimation({*indexPath}, UITableViewRowAnimation::None);
  setIdleTimerFromUploads();
}

void KMDirectoryViewController::deleteUploadFileWithIndexPath(const std::optional<NSIndexPath>& indexPath) {
  if (!indexPath || indexPath->section != 0 || indexPath->row < 0 || indexPath->row >= int(m_uploadingFiles.size()))
    return;
  const auto upload = m_uploadingFiles[indexPath->row];
  // Through the manager, so an upload in flight is cancelled too.
  m_manager->removeUploadFileWithURL(upload->URL());
  m_uploadingFiles.erase(m_uploadingFiles.begin() + indexPath->row);
  updateMultiselectionRemovingRowAtIndexPath(*indexPath);
  setIdleTimerFromUploads();
  if (!isViewLoaded()) return;
  if (!m_uploadingFiles.empty() && !isSearching())
    tableView()->deleteRowsAtIndexPathsWithRowAnimation({*indexPath}, UITableViewRowAnimation::Fade);
  else
    tableView()->reloadData();
  didReloadData();
}

}  // namespace kdisk
