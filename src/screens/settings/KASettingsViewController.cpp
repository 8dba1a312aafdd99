#include "screens/settings/KASettingsViewController.h"

#include <cmath>
#include <filesystem>

#include "foundation/KLApplicationLocale.h"
#include "platform/Bundle.h"
#include "platform/DispatchQueue.h"
#include "platform/NotificationCenter.h"
#include "screens/settings/KMAboutBoxViewController.h"
#include "screens/settings/KMApplicationLogout.h"
#include "settings/KMSettings.h"
#include "uikit/KMAppearanceHelper.h"
#include "uikit/UIActionSheetAutoDismiss.h"
#include "uikit/UIApplication.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UINavigationBar.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UITableViewCell.h"

namespace kdisk {

namespace {
constexpr const char* kTable = "KASettingsViewController";
constexpr CGFloat kBarHeight = 12;
constexpr CGFloat kBarMargin = 12;

std::string text(const char* key, const char* fallback) { return KMLocalizedString(key, fallback, kTable); }

// Regular files below `path`, counted without following links.
std::uint64_t bytesBelow(const std::string& path) {
  std::uint64_t total = 0;
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
    std::error_code sizeError;
    if (it->is_regular_file(sizeError)) {
      const auto size = it->file_size(sizeError);
      if (!sizeError) total += size;
    }
  }
  return total;
}
}  // namespace

KASettingsViewController::KASettingsViewController(UITableViewStyle style,
                                                   std::shared_ptr<KMWebDAVFileManager> manager)
    : m_style(style), m_manager(manager ? std::move(manager) : KMWebDAVFileManager::sharedInstance()) {
  auto& settings = KMSettings::mainSettings();
  m_usedBytes = settings.quotaUsedBytes();
  m_availableBytes = settings.quotaAvailableBytes();
}

KASettingsViewController::~KASettingsViewController() {
  m_observations.clear();
  if (m_tableView) {
    m_tableView->setDataSource({});
    m_tableView->setTableDelegate({});
  }
}

void KASettingsViewController::loadView() {
  m_tableView = std::make_shared<UITableView>(CGRectMake(0, 0, 320, 416), m_style);
  m_tableView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  setView(m_tableView);
}

void KASettingsViewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  auto shared = weakSelf().lock();
  m_tableView->setDataSource(shared);
  m_tableView->setTableDelegate(shared);
  const auto background = KMSettings::defaultBackgroundColor();
  auto backgroundView = std::make_shared<UIView>(m_tableView->bounds());
  backgroundView->setBackgroundColor(
      UIColor::colorWithRGB255(background.red, background.green, background.blue, background.alpha));
  m_tableView->setBackgroundView(backgroundView);
  navigationItem().setTitle(text("SettingsTitle", "Настройки"));

  auto self = weakSelf();
  auto done = UIBarButtonItem::itemWithTitleStyleAction(text("DoneButtonTitle", "Готово"), UIBarButtonItemStyle::Done,
                                                        [self](UIBarButtonItem&) {
                                                          if (auto screen = self.lock()) screen->doneButtonTouched();
                                                        });
  if (auto* helper = KMAppearanceHelper::sharedInstance()) helper->setNavbarButtonBackgroundBlue(done.get());
  navigationItem().setRightBarButtonItemAnimated(done);

  m_spaceUsageView = std::make_shared<KASpaceUsageView>(CGRectMake(0, 0, 100, kBarHeight));
  auto& center = NotificationCenter::defaultCenter();
  m_observations.push_back(center.addObserver(kKMKMWebDAVFileManagerDidReceiveAdditionalInfo,
                                              [self](const Notification& notification) {
                                                if (auto screen = self.lock())
                                                  screen->didReceiveAdditionalInfo(notification.userInfo);
                                              }));
}

void KASettingsViewController::viewWillAppear(KMAnimated animated) {
  UIViewController::viewWillAppear(animated);
  if (auto* navigation = navigationController())
    if (auto* helper = KMAppearanceHelper::sharedInstance())
      helper->setNavbarBackgroundRegular(&navigation->navigationBar());
  if (!m_askedForQuota) {
    m_askedForQuota = true;
    m_manager->sendAdditionalInfoRequest();
  }
  countDownloadedFiles();
  reloadFigures();
}

void KASettingsViewController::didReceiveAdditionalInfo(const Dictionary& userInfo) {
  const Value* used = find(userInfo, "quotaUsedBytesNum");
  const Value* available = find(userInfo, "quotaAvailableBytesNum");
  auto usedNumber = used ? used->integerValue() : std::nullopt;
  auto availableNumber = available ? available->integerValue() : std::nullopt;
  // A partial or empty answer keeps the figures we have.
  if (usedNumber && availableNumber && *usedNumber >= 0 && *availableNumber >= 0 &&
      *usedNumber + *availableNumber > 0) {
    m_usedBytes = *usedNumber;
    m_availableBytes = *availableNumber;
  }
  reloadFigures();
}

void KASettingsViewController::reloadFigures() {
  if (!isViewLoaded()) return;
  m_spaceUsageView->setUsedOfTotal(std::uint64_t(m_usedBytes), std::uint64_t(m_usedBytes + m_availableBytes));
  m_tableView->reloadData();
}

void KASettingsViewController::countDownloadedFiles() {
  auto self = weakSelf();
  const std::string path = m_manager->storage()->localDiskDirectoryPath();
  dispatchBackground([self, path] {
    const std::uint64_t bytes = bytesBelow(path);
    dispatchMain([self, bytes] {
      if (auto screen = self.lock()) {
        screen->m_downloadedBytes = bytes;
        screen->reloadFigures();
      }
    });
  });
}

void KASettingsViewController::clearDownloadedFiles() {
  m_manager->clearFilePreviewCache();
  m_downloadedBytes.reset();
  reloadFigures();
  auto self = weakSelf();
  auto storage = m_manager->storage();
  dispatchBackground([self, storage] {
    storage->removeAllDownloadedFiles();
    dispatchMain([self] {
      if (auto screen = self.lock()) screen->countDownloadedFiles();
    });
  });
}

void KASettingsViewController::doneButtonTouched() { dismissViewControllerAnimatedCompletion(KMAnimated::Yes); }

void KASettingsViewController::showConfirmation(int tag, const std::string& title, const std::string& destructive) {
  auto sheet = std::make_shared<UIActionSheetAutoDismiss>(title, weakSelf(), KMLocalizedString("Cancel", "Отмена"),
                                                          destructive, std::vector<std::string>{});
  sheet->setTag(tag);
  m_sheet = sheet;
  sheet->showInView(*view());
}

void KASettingsViewController::clearDownloadedFilesTouched() {
  showConfirmation(kClearSheetTag,
                   text("ClearDownloadsConfirmation",
                        "Удалить загруженные файлы и миниатюры с этого устройства? На Диске они останутся."),
                   text("ClearDownloadsButton", "Удалить файлы"));
}

void KASettingsViewController::aboutTouched() {
  if (auto* navigation = navigationController())
    navigation->pushViewControllerAnimated(std::make_shared<KMAboutBoxViewController>(), KMAnimated::Yes);
}

void KASettingsViewController::signOutTouched() {
  showConfirmation(kSignOutSheetTag, text("SignOutConfirmation", "Выйти из аккаунта?"),
                   text("SignOutButton", "Выйти"));
}

void KASettingsViewController::actionSheetDidDismissWithButtonIndex(UIActionSheet& sheet, int buttonIndex) {
  if (m_sheet.get() == &sheet) m_sheet.reset();
  if (buttonIndex != sheet.destructiveButtonIndex()) return;
  if (sheet.tag() == kClearSheetTag) {
    clearDownloadedFiles();
  } else if (sheet.tag() == kSignOutSheetTag) {
    auto delegate = UIApplication::sharedApplication().delegate();
    if (auto* logout = dynamic_cast<KMApplicationLogout*>(delegate.get()))
      logout->logoutWithLoginErrorNotificationAnimated(nullptr, KMAnimated::Yes);
  }
}

// ---- Table -----------------------------------------------------------------------

int KASettingsViewController::numberOfSectionsInTableView(UITableView&) { return 4; }

int KASettingsViewController::tableViewNumberOfRowsInSection(UITableView&, int section) {
  switch (section) {
    case AccountSection: return 4;
    case DeviceSection: return 2;
    default: return 1;
  }
}

std::optional<std::string> KASettingsViewController::tableViewTitleForHeaderInSection(UITableView&, int section) {
  if (section == AccountSection) return text("AccountSectionTitle", "Аккаунт");
  if (section == DeviceSection) return text("DeviceSectionTitle", "На этом устройстве");
  return std::nullopt;
}

std::shared_ptr<UITableViewCell> KASettingsViewController::tableViewCellForRowAtIndexPath(
    UITableView&, const NSIndexPath& indexPath) {
  auto valueCell = [](const std::string& title, const std::string& value) {
    auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyle::Value1, std::nullopt);
    cell->textLabel().setText(title);
    if (auto* detail = cell->detailTextLabel()) detail->setText(value);
    cell->setSelectionStyle(UITableViewCellSelectionStyle::None);
    return cell;
  };
  auto actionCell = [](const std::string& title, UIColor color) {
    auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyle::Default, std::nullopt);
    cell->textLabel().setText(title);
    cell->textLabel().setTextAlignment(NSTextAlignment::Center);
    cell->textLabel().setTextColor(color);
    cell->textLabel().setFont(UIFont::boldSystemFontOfSize(16));
    return cell;
  };
  const bool known = m_usedBytes + m_availableBytes > 0;
  if (indexPath.section == AccountSection) {
    switch (indexPath.row) {
      case LoginRow: return valueCell(text("LoginRowTitle", "Логин"), KMSettings::mainSettings().login().value_or(""));
      case UsedRow:
        return valueCell(text("UsedSpaceRowTitle", "Занято"), known ? LocalizedFileSizeStr(m_usedBytes) : "—");
      case FreeRow:
        return valueCell(text("FreeSpaceRowTitle", "Свободно"), known ? LocalizedFileSizeStr(m_availableBytes) : "—");
      default: {
        auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyle::Default, std::nullopt);
        cell->setSelectionStyle(UITableViewCellSelectionStyle::None);
        const CGRect content = cell->contentView().bounds();
        m_spaceUsageView->setFrame(CGRectMake(kBarMargin, std::round((content.size.height - kBarHeight) / 2),
                                              content.size.width - 2 * kBarMargin, kBarHeight));
        m_spaceUsageView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        m_spaceUsageView->removeFromSuperview();
        cell->contentView().addSubview(m_spaceUsageView);
        return cell;
      }
    }
  }
  if (indexPath.section == DeviceSection) {
    if (indexPath.row == DownloadedRow)
      return valueCell(text("DownloadedFilesRowTitle", "Скачано"),
                       m_downloadedBytes ? LocalizedFileSizeStr(*m_downloadedBytes) : "…");
    return actionCell(text("ClearDownloadsRowTitle", "Удалить загруженные файлы"),
                      UIColor::colorWithRGB255(35, 104, 149));
  }
  if (indexPath.section == AboutSection) {
    auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyle::Default, std::nullopt);
    cell->textLabel().setText(text("AboutRowTitle", "О программе"));
    cell->setAccessoryType(UITableViewCellAccessoryType::DisclosureIndicator);
    return cell;
  }
  return actionCell(text("SignOutRowTitle", "Выйти из аккаунта"), UIColor::colorWithRGB255(190, 40, 40));
}

void KASettingsViewController::tableViewDidSelectRowAtIndexPath(UITableView& table, const NSIndexPath& indexPath) {
  table.deselectRowAtIndexPathAnimated(indexPath, KMAnimated::Yes);
  if (indexPath.section == DeviceSection && indexPath.row == ClearRow) clearDownloadedFilesTouched();
  if (indexPath.section == AboutSection) aboutTouched();
  if (indexPath.section == SignOutSection) signOutTouched();
}

}  // namespace kdisk
