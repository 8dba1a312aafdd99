// What the browser offers besides opening items: the bar buttons, group
// delete and share, the failed-upload sheet and the sharing overlay.
#include <algorithm>
#include <cmath>

#include "platform/Bundle.h"
#include "platform/KMAnalytics.h"
#include "screens/browsing/KMDirectoryViewController.h"
#include "platform/DateFormat.h"
#include "platform/DispatchQueue.h"
#include "screens/settings/KASettingsViewController.h"
#include "screens/viewing/KACustomViewer.h"
#include "screens/viewing/KMFileLoadingViewController.h"
#include "uikit/KMAppearanceHelper.h"
#include "uikit/UIActionSheetAutoDismiss.h"
#include "uikit/UIAlertViewAutoDismiss.h"
#include "uikit/UINavigationBar.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIToolbar.h"

namespace kdisk {

namespace {
constexpr const char* kTable = "KMDirectoryViewController";
constexpr CGFloat kButtonY = 8;
constexpr CGFloat kButtonHeight = 30;
constexpr CGFloat kShareButtonWidth = 85;
constexpr CGFloat kTrashButtonWidth = 65;
constexpr CGFloat kButtonMargin = 5;
}  // namespace

// ---- Group-edit buttons ----------------------------------------------------------

std::shared_ptr<UIButton> KMDirectoryViewController::makeGroupEditButton(const char* titleKey, const char* fallback,
                                                                         const char* image,
                                                                         void (KMDirectoryViewController::*action)()) {
  auto button = UIButton::buttonWithType(UIButtonType::Custom);
  button->setTitleForState(KMLocalizedString(titleKey, fallback, kTable), UIControlStateNormal);
  button->titleLabel().setFont(UIFont::boldSystemFontOfSize(12));
  button->titleLabel().setShadowOffset(CGSizeMake(0, 1));
  button->setTitleShadowColorForState(UIColor::colorWithWhiteAlpha(1, 1), UIControlStateNormal);
  const std::string pressed = std::string(image) + "_pressed";
  if (auto normal = UIImage::imageNamed(image))
    button->setBackgroundImageForState(normal->stretchableImageWithLeftCapWidthTopCapHeight(10, 4), UIControlStateNormal);
  if (auto down = UIImage::imageNamed(pressed))
    button->setBackgroundImageForState(down->stretchableImageWithLeftCapWidthTopCapHeight(10, 4),
                                       UIControlStateHighlighted);
  auto self = weakSelf();
  button->addActionForControlEvents(
      [self, action](UIControl&) {
        if (auto screen = self.lock()) ((*screen).*action)();
      },
      UIControlEventTouchUpInside);
  return button;
}

std::shared_ptr<UIView> KMDirectoryViewController::groupEditButtonForIndex(int index) {
  if (index == 0) {
    if (!m_shareButton)
      m_shareButton = makeGroupEditButton("ShareLabelTrashText", "Отправить", "grey_btn",
                                          &KMDirectoryViewController::touchedShareGroupEditButton);
    return m_shareButton;
  }
  if (index == 1) {
    if (!m_trashButton)
      m_trashButton = makeGroupEditButton("EditLabelTrashText", "Удалить", "red_btn",
                                          &KMDirectoryViewController::touchedRemoveGroupEditButton);
    return m_trashButton;
  }
  return nullptr;
}

void KMDirectoryViewController::layoutGroupEditButtons() {
  groupEditButtonForIndex(0);
  groupEditButtonForIndex(1);
  const CGFloat width = groupEditToolbar() ? groupEditToolbar()->bounds().size.width : view()->bounds().size.width;
  m_shareButton->setFrame(CGRectMake(kButtonMargin, kButtonY, kShareButtonWidth, kButtonHeight));
  m_trashButton->setFrame(
      CGRectMake(width - kTrashButtonWidth - kButtonMargin, kButtonY, kTrashButtonWidth, kButtonHeight));
  m_trashButton->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
}

void KMDirectoryViewController::multiselectCellAtIndexPath(KMGroupEditCell* cell, const NSIndexPath& indexPath) {
  KMTableViewController::multiselectCellAtIndexPath(cell, indexPath);
  if (currentTableView() == tableView().get() && indexPathPointsToUploadItem(indexPath) &&
      indexPath.row < int(m_uploadingFiles.size()) && !m_uploadingFiles[indexPath.row]->failed())
    KMAnalytics::sharedInstance().logEvent(kKMMVDiskUploadingFileSelected);
}

// ---- Navigation bar --------------------------------------------------------------

void KMDirectoryViewController::addPlusButtonToNavigationBarAnimated(KMAnimated animated) {
  auto self = weakSelf();
  auto item = UIBarButtonItem::itemWithImageStyleAction(UIImage::imageNamed("add_icon"), UIBarButtonItemStyle::Bordered,
                                                        [self](UIBarButtonItem&) {
                                                          if (auto screen = self.lock()) screen->plusButtonTouched();
                                                        });
  if (auto* helper = KMAppearanceHelper::sharedInstance()) helper->setNavbarButtonBackgroundRegular(item.get());
  navigationItem().setRightBarButtonItemAnimated(item, animated);
  m_cancelButtonAdded = false;
}

void KMDirectoryViewController::addSettingsButtonToNavigationBarAnimated(KMAnimated animated) {
  if (!isRootFolder()) return;
  auto self = weakSelf();
  auto item = UIBarButtonItem::itemWithImageStyleAction(UIImage::imageNamed("settings_icon"),
                                                        UIBarButtonItemStyle::Bordered, [self](UIBarButtonItem&) {
                                                          if (auto screen = self.lock()) screen->settingsButtonTouched();
                                                        });
  if (auto* helper = KMAppearanceHelper::sharedInstance()) helper->setNavbarButtonBackgroundRegular(item.get());
  navigationItem().setLeftBarButtonItemAnimated(item, animated);
}

void KMDirectoryViewController::addCancelButtonToNavigationBarAnimated(KMAnimated animated) {
  auto self = weakSelf();
  auto item = UIBarButtonItem::itemWithTitleStyleAction(KMLocalizedString("Cancel", "Отмена"),
                                                        UIBarButtonItemStyle::Bordered, [self](UIBarButtonItem&) {
                                                          if (auto screen = self.lock()) screen->cancelButtonTouched();
                                                        });
  if (auto* helper = KMAppearanceHelper::sharedInstance()) helper->setNavbarButtonBackgroundBlue(item.get());
  navigationItem().setRightBarButtonItemAnimated(item, animated);
  m_cancelButtonAdded = true;
}

void KMDirectoryViewController::showGroupEditToolbarAnimated(KMAnimated animated) {
  KMTableViewController::showGroupEditToolbarAnimated(animated);
  if (m_cancelButtonAdded) return;
  addCancelButtonToNavigationBarAnimated(animated);
  navigationItem().setLeftBarButtonItemAnimated(nullptr, animated);
}

void KMDirectoryViewController::hideGroupEditToolbarAnimated(KMAnimated animated) {
  KMTableViewController::hideGroupEditToolbarAnimated(animated);
  if (!m_cancelButtonAdded) return;
  addPlusButtonToNavigationBarAnimated(animated);
  addSettingsButtonToNavigationBarAnimated(animated);
}

void KMDirectoryViewController::cancelButtonTouched() {
  if (isSharingSomethingNow())
    m_shareManager->cancel();
  else
    clearMultiselectionAnimated(KMAnimated::Yes);
}

void KMDirectoryViewController::plusButtonTouched() {
  KMAnalytics::sharedInstance().logEvent(kKMMVDiskAdd);
  clearMultiselectionAnimated(KMAnimated::Yes);
  auto dialog = std::make_shared<KMUploadFileDialog>(m_URL);
  dialog->setFileManagerForTesting(m_manager);
  dialog->setDelegate(std::static_pointer_cast<KMDirectoryViewController>(sharedController()));
  auto* navigation = navigationController();
  UIViewController& presenter = navigation ? static_cast<UIViewController&>(*navigation) : *this;
  presenter.presentViewControllerAnimatedCompletion(std::make_shared<UINavigationController>(dialog),
                                                    KMAnimated::Yes);
}

void KMDirectoryViewController::didStartUploadFiles(KMUploadFileDialog& dialog) {
  tableView()->setContentOffset(CGPointZero);
  dialog.dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
}

void KMDirectoryViewController::didCancelUploadFileDialog(KMUploadFileDialog& dialog) {
  dialog.dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
}

void KMDirectoryViewController::settingsButtonTouched() {
  KMAnalytics::sharedInstance().logEvent(kKMMVDiskSettings);
  auto* navigation = navigationController();
  if (!navigation) return;
  auto settings = std::make_shared<KASettingsViewController>(UITableViewStyle::Grouped, m_manager);
  navigation->presentViewControllerAnimatedCompletion(std::make_shared<UINavigationController>(settings),
                                                      KMAnimated::Yes);
}

void KMDirectoryViewController::setCustomNavbarButtonAndBackground() {
  auto* navigation = navigationController();
  auto* helper = KMAppearanceHelper::sharedInstance();
  if (!navigation || !helper) return;
  // The back button of the next screen is this screen's back item.
  auto self = weakSelf();
  auto back = UIBarButtonItem::itemWithImageStyleAction(UIImage::imageNamed("back_icon_ios6"),
                                                        UIBarButtonItemStyle::Bordered, [](UIBarButtonItem&) {});
  helper->setNavbarBackButtonBackgroundGrey(back.get());
  navigationItem().setBackBarButtonItem(back);
  helper->setNavbarBackgroundGrey(&navigation->navigationBar());
  helper->setNavbarButtonBackgroundGrey(nullptr);
  helper->setNavbarBackButtonBackgroundGrey(nullptr);
  helper->setToolbarBackgroundGreyForToolbarPosition(&navigation->toolbar(), UIToolbarPosition::Any);
}

// ---- Group delete ----------------------------------------------------------------

void KMDirectoryViewController::touchedRemoveGroupEditButton() {
  auto sheet = std::make_shared<UIActionSheetAutoDismiss>(
      KMLocalizedString("Are you sure you want to delete the selected files?",
                        "Вы уверены, что хотите удалить выбранные файлы?"),
      std::static_pointer_cast<KMDirectoryViewController>(sharedController()), KMLocalizedString("Cancel", "Отмена"),
      KMLocalizedString("Delete", "Удалить"), std::vector<std::string>{});
  sheet->setTag(kDeleteConfirmationSheetTag);
  m_actionSheet = sheet;
  sheet->showInView(*view());
}

void KMDirectoryViewController::deleteSelectedItems() {
  KMAnalytics::sharedInstance().logEvent(kKMMVDiskDelete);
  const auto selected = indexPathsForSelectedRows();
  const bool uploadsShown = hasActiveUploads();
  const auto& items = currentContents();
  KMFileItemList doomedItems;
  KMUploadFileList doomedUploads;
  for (const NSIndexPath& indexPath : selected) {
    if (isSearching() || !uploadsShown || indexPath.section != 0) {
      if (indexPath.row >= 0 && indexPath.row < int(items.size())) doomedItems.push_back(items[indexPath.row]);
    } else if (indexPath.row >= 0 && indexPath.row < int(m_uploadingFiles.size())) {
      doomedUploads.push_back(m_uploadingFiles[indexPath.row]);
    }
  }
  for (const auto& item : doomedItems) {
    m_pendingRemovals[item->URLString()] = RemovalState::AwaitingServer;
    m_manager->removeItemAtURL(item->URL());
  }
  if (!doomedItems.empty()) m_manager->storage()->removeItems(doomedItems);
  auto doomed = [&](const std::shared_ptr<KMFileItem>& item) {
    return std::find(doomedItems.begin(), doomedItems.end(), item) != doomedItems.end();
  };
  std::erase_if(m_contents, doomed);
  if (m_filteredContents) std::erase_if(*m_filteredContents, doomed);
  for (const auto& upload : doomedUploads) m_manager->removeUploadFileWithURL(upload->URL());
  std::erase_if(m_uploadingFiles, [&](const auto& upload) {
    return std::find(doomedUploads.begin(), doomedUploads.end(), upload) != doomedUploads.end();
  });
  setIdleTimerFromUploads();

  UITableView* table = currentTableView();
  if (doomedUploads.empty() || !m_uploadingFiles.empty()) {
    table->deleteRowsAtIndexPathsWithRowAnimation(selected, UITableViewRowAnimation::Top);
  } else {
    tableView()->reloadData();
  }
  updateTableFooterAnimated(KMAnimated::No);
  clearMultiselectionAnimated(KMAnimated::Yes);
}

// ---- Group share -----------------------------------------------------------------

void KMDirectoryViewController::touchedShareGroupEditButton() {
  KMAnalytics::sharedInstance().logEvent(kKMMVDiskShare);
  if (isUploadingFilesSelected()) {
    auto alert = std::make_shared<UIAlertViewAutoDismiss>(
        KMLocalizedString("Disk", "Диск", "DiskCommon"),
        KMLocalizedString("You can't share files that uploading now.",
                          "Нельзя отправить файлы, которые сейчас загружаются.", "DiskCommon"),
        std::weak_ptr<UIAlertViewDelegate>{}, KMLocalizedString("OK", "OK"), std::vector<std::string>{});
    alert->show();
    KMAnalytics::sharedInstance().logEvent(kKMMVDiskUploadingFileShare);
    return;
  }
  const auto& items = currentContents();
  KMFileItemList files;
  for (const NSIndexPath& indexPath : indexPathsForSelectedRows())
    if (indexPath.row >= 0 && indexPath.row < int(items.size())) files.push_back(items[indexPath.row]);
  auto* navigation = navigationController();
  shareManager().showShareActionSheetForFilesInView(files, navigation ? *navigation->view() : *view());
}

KAShareManager& KMDirectoryViewController::shareManager() {
  if (!m_shareManager)
    m_shareManager =
        KAShareManager::create(std::static_pointer_cast<KMDirectoryViewController>(sharedController()), m_manager);
  return *m_shareManager;
}

std::shared_ptr<UIViewController> KMDirectoryViewController::shareManagerViewControllerToShowCompose(KAShareManager&) {
  auto* navigation = navigationController();
  return navigation ? navigation->sharedController() : nullptr;
}

void KMDirectoryViewController::shareManagerDidStartPublishingFiles(KAShareManager&) { activateSharingInterface(); }
void KMDirectoryViewController::shareManagerDidPublishAllFiles(KAShareManager&) { hideSharingInterface(); }
void KMDirectoryViewController::shareManagerDidStopPublishingFiles(KAShareManager&) { hideSharingInterface(); }
void KMDirectoryViewController::shareManagerDidSuccessfullySharedFiles(KAShareManager&) {
  clearMultiselectionAnimated(KMAnimated::Yes);
}

// ---- Opening files ---------------------------------------------------------------

void KMDirectoryViewController::didSelectFile(const KMFileItem& file) {
  m_currentPreviewURL = file.URL();
  auto* navigation = navigationController();
  if (!navigation) return;
  const auto& storage = m_manager->storage();
  if (storage->hasCachedFileForURL(file.URL())) {
    auto local = storage->fileURLForWebURL(file.URL());
    if (local && KACustomViewer::canPreviewItem(*local)) {
      showPreviewControllerAnimated(KMAnimated::Yes);
      return;
    }
    setCustomNavbarButtonAndBackground();
    auto loading = KMFileLoadingViewController::initWithURLManager(file.URL(), m_manager);
    loading->setState(KMFileLoadingStateCannotPreview);
    navigation->pushViewControllerAnimated(loading, KMAnimated::Yes);
    return;
  }
  setCustomNavbarButtonAndBackground();
  navigation->pushViewControllerAnimated(KMFileLoadingViewController::initWithURLManager(file.URL(), m_manager),
                                         KMAnimated::Yes);
}

void KMDirectoryViewController::showPreviewControllerAnimated(KMAnimated animated) {
  auto* navigation = navigationController();
  if (!navigation) return;
  setCustomNavbarButtonAndBackground();
  auto viewer = std::make_shared<KACustomViewer>();
  viewer->setDataSource(std::static_pointer_cast<KMDirectoryViewController>(sharedController()));
  viewer->setCurrentPreviewItemIndex(0);
  navigation->pushViewControllerAnimated(viewer, animated);
}

void KMDirectoryViewController::didDownloadFile(const kdisk::URL& url) {
  auto* navigation = navigationController();
  if (!navigation || !dynamic_cast<KMFileLoadingViewController*>(navigation->topViewController())) return;
  auto local = m_manager->storage()->fileURLForWebURL(url);
  if (!local || !KACustomViewer::canPreviewItem(*local)) return;
  navigation->popViewControllerAnimated(KMAnimated::No);
  showPreviewControllerAnimated(KMAnimated::No);
}

std::size_t KMDirectoryViewController::numberOfPreviewItemsInPreviewController(QLPreviewController&) { return 1; }

std::optional<kdisk::URL> KMDirectoryViewController::previewControllerPreviewItemAtIndex(QLPreviewController&,
                                                                                         std::size_t) {
  if (!m_currentPreviewURL) return std::nullopt;
  auto storage = m_manager->storage();
  const kdisk::URL web = *m_currentPreviewURL;
  dispatchBackground([storage, web] { storage->setLastAccessDateForItemWithURL(currentDate(), web); });
  return storage->fileURLForWebURL(web);
}

// ---- Failed uploads --------------------------------------------------------------

void KMDirectoryViewController::showRetrySheetForUploadAtIndexPath(const NSIndexPath& indexPath) {
  m_selectedIndexPath = indexPath;
  auto sheet = std::make_shared<UIActionSheetAutoDismiss>(
      KMLocalizedString("ActionSheetRetryUploadTitle", "Файл не загружен", kTable),
      std::static_pointer_cast<KMDirectoryViewController>(sharedController()),
      KMLocalizedString("ActionSheetRetryUploadConfirmationButtonTitleCancel", "Отмена", kTable),
      KMLocalizedString("ActionSheetRetryUploadConfirmationButtonTitleDelete", "Удалить", kTable),
      std::vector<std::string>{
          KMLocalizedString("ActionSheetRetryUploadConfirmationButtonTitleRetry", "Повторить", kTable)});
  sheet->setTag(kRetryUploadSheetTag);
  m_actionSheet = sheet;
  if (auto* navigation = navigationController())
    sheet->showInView(*navigation->view());
  else
    sheet->showInView(*view());
}

void KMDirectoryViewController::actionSheetDidDismissWithButtonIndex(UIActionSheet& sheet, int buttonIndex) {
  if (sheet.tag() == kDeleteConfirmationSheetTag) {
    if (buttonIndex == sheet.destructiveButtonIndex()) deleteSelectedItems();
  } else if (sheet.tag() == kRetryUploadSheetTag) {
    if (buttonIndex == sheet.destructiveButtonIndex())
      deleteUploadFileWithIndexPath(m_selectedIndexPath);
    else if (buttonIndex != sheet.cancelButtonIndex())
      retryUploadFileWithIndexPath(m_selectedIndexPath);
    m_selectedIndexPath.reset();
    if (auto selected = tableView()->indexPathForSelectedRow())
      tableView()->deselectRowAtIndexPathAnimated(*selected, KMAnimated::No);
  }
  if (m_actionSheet.get() == &sheet) m_actionSheet.reset();
}

// ---- Sharing overlay -------------------------------------------------------------

bool KMDirectoryViewController::isUploadingFilesSelected() const {
  const auto& selected = indexPathsForSelectedRows();
  return std::any_of(selected.begin(), selected.end(),
                     [&](const NSIndexPath& indexPath) { return indexPathPointsToUploadItem(indexPath); });
}

void KMDirectoryViewController::activateSharingInterface() {
  if (!m_splashScreenShadeView) return;
  m_splashScreenView->setFrame(view()->bounds());
  m_splashScreenShadeView->setFrame(view()->bounds());
  m_splashScreenShadeView->setAlpha(0);
  view()->addSubview(m_splashScreenShadeView);
  UIView::animateWithDurationAnimations(kSharingShadeDuration,
                                        [shade = m_splashScreenShadeView] { shade->setAlpha(kSharingShadeAlpha); });
  if (!m_activityPopupView) {
    m_activityPopupView = std::make_shared<KMActivityPopupView>(CGRectZero);
    m_activityPopupView->label().setText(KMLocalizedString("Sharing...", "Публикация...", "DiskCommon"));
    const CGSize size = m_activityPopupView->sizeThatFits(CGSizeZero);
    const CGFloat width = view()->bounds().size.width;
    m_activityPopupView->setFrame(
        CGRectMake(std::floor((width - size.width) / 2), kSharingPopupY, size.width, size.height));
  }
  m_splashScreenShadeView->addSubview(m_activityPopupView);
}

void KMDirectoryViewController::hideSharingInterface() {
  if (m_activityPopupView) m_activityPopupView->removeFromSuperview();
  m_activityPopupView.reset();
  if (!m_splashScreenShadeView) return;
  auto shade = m_splashScreenShadeView;
  UIView::animateWithDurationAnimationsCompletion(
      kSharingShadeDuration, [shade] { shade->setAlpha(0); },
      [shade](bool) {
        // A new overlay may have started meanwhile.
        if (shade->alpha() == 0) shade->removeFromSuperview();
      });
}

}  // namespace kdisk
