#pragma once
// Adds group edit to the pull-to-refresh list: rows picked through their
// selection circles, kept as an ordered list of index paths; a bottom
// toolbar with the screen's action buttons while anything is picked; the
// search bar styled and locked (a stand-in done button, tag 777) while the
// toolbar shows. Main thread.
//
// Selection states:
//   none (toolbar 8 pt, search usable, pull on)
//     --first row picked--> some (toolbar 45 pt, search locked, pull off)
//   some --last row unpicked / removed, or clearMultiselection--> none
// isInGroupEditMode only decides whether the circles show.
#include <memory>
#include <vector>

#include "screens/browsing/KMGroupEditCell.h"
#include "screens/browsing/PullRefreshViewController.h"
#include "uikit/UIButton.h"
#include "uikit/UISearchBar.h"

namespace kdisk {

class KMGroupEditTableViewController : public PullRefreshViewController,
                                       public KMGroupEditCellDelegate,
                                       public UISearchBarDelegate {
 public:
  static constexpr CGFloat kToolbarShownHeight = 45;
  static constexpr CGFloat kToolbarHiddenHeight = 8;
  static constexpr int kSearchDoneButtonTag = 777;
  static constexpr CGFloat kLockedFieldAlpha = 0.3;

  KMGroupEditTableViewController();
  ~KMGroupEditTableViewController() override;

  void viewDidLoad() override;
  void viewWillAppear(KMAnimated animated) override;
  void viewDidUnload() override;

  bool groupEditingEnabled() const { return m_groupEditingEnabled && numberOfGroupEditButtons() > 0; }
  void setGroupEditingEnabled(bool enabled) { m_groupEditingEnabled = enabled; }
  bool isInGroupEditMode() const { return m_isInGroupEditMode; }
  const std::vector<NSIndexPath>& indexPathsForSelectedRows() const { return m_selectedRows; }
  bool isSelecting() const { return !m_selectedRows.empty(); }
  bool isShowingGroupEditToolbar() const { return m_isShowingGroupEditToolbar; }
  UIView* groupEditToolbar() const { return m_groupEditToolbar.get(); }
  const std::vector<std::shared_ptr<UIView>>& groupEditButtons() const { return m_groupEditButtons; }
  bool searchBarEnabled() const { return m_searchBarEnabled; }
  double animationSpeed() const { return m_animationSpeed; }
  void setAnimationSpeed(double seconds) { m_animationSpeed = seconds; }
  UIButton* searchDoneButton() const { return m_searchDoneButton.get(); }

  // Hooks.
  virtual int numberOfGroupEditButtons() const { return 0; }
  virtual std::shared_ptr<UIView> groupEditButtonForIndex(int index) {
    (void)index;
    return nullptr;
  }
  virtual void layoutGroupEditButtons() {}
  virtual void updateEnabledStatusOfGroupEditButtons() {}
  virtual UIView& viewForGroupEditToolbar() { return *view(); }
  virtual void initializeGroupEditViews();
  // The table rows show in: the search results while searching.
  virtual UITableView* currentTableView();

  void activateGroupEditModeAnimated(KMAnimated animated);
  void resignGroupEditModeAnimated(KMAnimated animated);
  virtual void multiselectCellAtIndexPath(KMGroupEditCell* cell, const NSIndexPath& indexPath);
  void touchedCheckBoxInCell(KMGroupEditCell& cell) override;
  virtual void clearMultiselectionAnimated(KMAnimated animated);
  virtual void showGroupEditToolbarAnimated(KMAnimated animated);
  virtual void hideGroupEditToolbarAnimated(KMAnimated animated);
  void reloadGroupEditButtons();
  void reloadVisibleCells();

  void updateMultiselectionInsertingRowAtIndexPath(const NSIndexPath& indexPath);
  void updateMultiselectionRemovingRowAtIndexPath(const NSIndexPath& indexPath);
  void updateMultiselectionInsertingSectionAtIndex(int section);
  void updateMultiselectionRemovingSectionAtIndex(int section);

  // The search bar of the screen's search display, if it has one.
  UISearchBar* searchBar() const;
  bool isSearching() const;
  void disableSearchBarAnimated(KMAnimated animated);
  void enableSearchBarAnimated(KMAnimated animated);
  void searchBarTextDidBeginEditing(UISearchBar& bar) override;
  void searchBarCancelButtonClicked(UISearchBar& bar) override;

 protected:
  // Lays the main table out above the toolbar.
  void layoutTableAboveToolbar();

 private:
  void applyGroupEditModeToVisibleCells(KMAnimated animated);
  void setToolbarHeight(CGFloat height, CGFloat buttonsAlpha, KMAnimated animated);
  UIButton* searchBarOwnButton() const;
  void searchDoneButtonTouched();
  void styleSearchBar();

  bool m_groupEditingEnabled = true;
  bool m_isInGroupEditMode = false;
  std::vector<NSIndexPath> m_selectedRows;
  std::shared_ptr<UIView> m_groupEditToolbar;
  std::vector<std::shared_ptr<UIView>> m_groupEditButtons;
  bool m_isShowingGroupEditToolbar = false;
  bool m_searchBarEnabled = true;
  double m_animationSpeed = 0.3;
  std::shared_ptr<UIButton> m_searchDoneButton;
  std::shared_ptr<UIImage> m_backgroundSearchBtn;
  std::shared_ptr<UIImage> m_backgroundSearchBtnPressed;
};

}  // namespace kdisk
