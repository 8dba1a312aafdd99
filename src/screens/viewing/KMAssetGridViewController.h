#pragma once
// The picker's second screen: one album's pictures and videos, four to a
// row, with a check mark on each chosen one. Done hands the chosen items, in
// the album's order, to the picker. Thumbnails come from the picker's loader
// as they decode; a row scrolled away drops its pending requests. Main thread.
#include <memory>
#include <vector>

#include "platform/PhotoLibrary.h"
#include "screens/viewing/KMAssetThumbnailLoader.h"
#include "uikit/UITableView.h"
#include "uikit/UITableViewCell.h"
#include "uikit/UITableViewDataSource.h"
#include "uikit/UIViewController.h"

namespace kdisk {

class ELCImagePickerController;
class KMAssetThumbnailView;

class KMAssetGridViewController : public UIViewController,
                                  public UITableViewDataSource,
                                  public UITableViewDelegate {
 public:
  static constexpr int kColumns = 4;
  static constexpr CGFloat kThumbnailSide = 75;
  static constexpr CGFloat kGap = 4;
  static constexpr CGFloat kRowHeight = kThumbnailSide + kGap;

  KMAssetGridViewController(std::string albumName, PhotoAssetList assets, ELCImagePickerController* parent);
  ~KMAssetGridViewController() override;

  const PhotoAssetList& assets() const { return m_assets; }
  bool isChosen(std::size_t index) const { return m_chosen.at(index); }
  void toggleAssetAtIndex(std::size_t index);
  PhotoAssetList chosenAssets() const;
  UITableView* tableView() const { return m_tableView.get(); }
  // The view showing item `index` while its row is on screen.
  KMAssetThumbnailView* thumbnailViewForAssetAtIndex(std::size_t index);

  void doneButtonTouched();

  void loadView() override;
  void viewDidLoad() override;

  int tableViewNumberOfRowsInSection(UITableView& tableView, int section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView& tableView,
                                                                  const NSIndexPath& indexPath) override;
  std::optional<NSIndexPath> tableViewWillSelectRowAtIndexPath(UITableView& tableView,
                                                               const NSIndexPath& indexPath) override;

 private:
  class Row;
  void updateDoneButton();

  std::string m_albumName;
  PhotoAssetList m_assets;
  std::vector<bool> m_chosen;
  ELCImagePickerController* m_parent;
  std::shared_ptr<UITableView> m_tableView;
};

}  // namespace kdisk
