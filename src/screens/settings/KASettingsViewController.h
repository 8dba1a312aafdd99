#pragma once
// The settings screen, shown in a modal navigation stack of its own: the
// account (login, used and free space with a bar of used against total),
// the space the downloaded files and previews take on this device with a way
// to clear them (the cached listings stay), the about box and sign-out. It asks the manager
// for the quota when it opens and shows the figures when they arrive; until
// then it shows the last known ones from the settings. Sign-out goes to the
// application delegate through KMApplicationLogout.
//
// Main thread. Observers and the background size count hold it weakly.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "manager/KMWebDAVFileManager.h"
#include "platform/ObserverToken.h"
#include "screens/settings/KASpaceUsageView.h"
#include "uikit/UIActionSheet.h"
#include "uikit/UITableView.h"
#include "uikit/UIViewController.h"

namespace kdisk {

class KASettingsViewController : public UIViewController,
                                 public UITableViewDataSource,
                                 public UITableViewDelegate,
                                 public UIActionSheetDelegate {
 public:
  enum Section : int { AccountSection = 0, DeviceSection = 1, AboutSection = 2, SignOutSection = 3 };
  enum AccountRow : int { LoginRow = 0, UsedRow = 1, FreeRow = 2, BarRow = 3 };
  enum DeviceRow : int { DownloadedRow = 0, ClearRow = 1 };
  static constexpr int kClearSheetTag = 1;
  static constexpr int kSignOutSheetTag = 2;

  // `manager` nil means the shared one.
  explicit KASettingsViewController(UITableViewStyle style = UITableViewStyle::Grouped,
                                    std::shared_ptr<KMWebDAVFileManager> manager = nullptr);
  ~KASettingsViewController() override;

  void loadView() override;
  void viewDidLoad() override;
  void viewWillAppear(KMAnimated animated) override;

  UITableView& tableView() { return *m_tableView; }
  std::int64_t usedBytes() const { return m_usedBytes; }
  std::int64_t availableBytes() const { return m_availableBytes; }
  // Nothing while it is being counted.
  std::optional<std::uint64_t> downloadedBytes() const { return m_downloadedBytes; }
  KASpaceUsageView* spaceUsageView() const { return m_spaceUsageView.get(); }

  void doneButtonTouched();
  void clearDownloadedFilesTouched();
  void signOutTouched();
  void aboutTouched();

  int numberOfSectionsInTableView(UITableView& tableView) override;
  int tableViewNumberOfRowsInSection(UITableView& tableView, int section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView& tableView,
                                                                  const NSIndexPath& indexPath) override;
  std::optional<std::string> tableViewTitleForHeaderInSection(UITableView& tableView, int section) override;
  void tableViewDidSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;
  void actionSheetDidDismissWithButtonIndex(UIActionSheet& sheet, int buttonIndex) override;

 private:
  std::weak_ptr<KASettingsViewController> weakSelf() {
    return std::static_pointer_cast<KASettingsViewController>(sharedController());
  }
  void didReceiveAdditionalInfo(const Dictionary& userInfo);
  void countDownloadedFiles();
  void clearDownloadedFiles();
  void reloadFigures();
  void showConfirmation(int tag, const std::string& title, const std::string& destructive);

  UITableViewStyle m_style;
  std::shared_ptr<KMWebDAVFileManager> m_manager;
  std::shared_ptr<UITableView> m_tableView;
  std::shared_ptr<KASpaceUsageView> m_spaceUsageView;
  std::int64_t m_usedBytes = 0;
  std::int64_t m_availableBytes = 0;
  std::optional<std::uint64_t> m_downloadedBytes;
  bool m_askedForQuota = false;
  std::vector<ObserverToken> m_observations;
  std::shared_ptr<UIActionSheet> m_sheet;
};

}  // namespace kdisk
