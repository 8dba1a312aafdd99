#pragma once
// The picker's first screen: every album of the photo library with its
// poster thumbnail (its newest picture), name and number of items. Albums are
// read off the main thread; tapping one opens its grid. Main thread.
#include <memory>
#include <vector>

#include "platform/PhotoLibrary.h"
#include "uikit/UITableView.h"
#include "uikit/UITableViewDataSource.h"
#include "uikit/UIViewController.h"

namespace kdisk {

class ELCImagePickerController;

struct KMAlbumSummary {
  PhotoAlbum album;
  PhotoAssetList assets;
};

class ELCAlbumPickerController : public UIViewController,
                                 public UITableViewDataSource,
                                 public UITableViewDelegate {
 public:
  static constexpr CGFloat kRowHeight = 57;
  ELCAlbumPickerController();
  ~ELCAlbumPickerController() override;

  ELCImagePickerController* parent() const { return m_parent; }
  void setParent(ELCImagePickerController* parent) { m_parent = parent; }

  UITableView* tableView() const { return m_tableView.get(); }
  const std::vector<KMAlbumSummary>& assetGroups() const { return m_assetGroups; }
  bool isLoading() const { return m_loading; }

  void loadView() override;
  void viewDidLoad() override;

  int tableViewNumberOfRowsInSection(UITableView& tableView, int section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView& tableView,
                                                                  const NSIndexPath& indexPath) override;
  CGFloat tableViewHeightForRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;

 private:
  void reloadAlbums();

  ELCImagePickerController* m_parent = nullptr;
  std::shared_ptr<UITableView> m_tableView;
  std::vector<KMAlbumSummary> m_assetGroups;
  bool m_loading = false;
};

}  // namespace kdisk
