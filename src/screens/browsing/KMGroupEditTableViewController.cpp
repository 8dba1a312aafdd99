#include "screens/browsing/KMGroupEditTableViewController.h"

#include <algorithm>

#include "platform/Bundle.h"
#include "platform/KMAnalytics.h"
#include "uikit/UISearchDisplayController.h"

namespace kdisk {

namespace {
std::shared_ptr<UIImage> resizable(const char* name, UIEdgeInsets insets) {
  auto image = UIImage::imageNamed(name);
  return image ? image->resizableImageWithCapInsets(insets) : nullptr;
}
}  // namespace

KMGroupEditTableViewController::KMGroupEditTableViewController() = default;
KMGroupEditTableViewController::~KMGroupEditTableViewController() = default;

void KMGroupEditTableViewController::viewDidLoad() {
  PullRefreshViewController::viewDidLoad();
  m_animationSpeed = 0.3;
  styleSearchBar();
}

void KMGroupEditTableViewController::viewDidUnload() {
  m_groupEditToolbar.reset();
  m_groupEditButtons.clear();
  m_searchDoneButton.reset();
  m_isShowingGroupEditToolbar = false;
  PullRefreshViewController::viewDidUnload();
}

void KMGroupEditTableViewController::viewWillAppear(KMAnimated animated) {
  PullRefreshViewController::viewWillAppear(animated);
  reloadGroupEditButtons();
}

UITableView* KMGroupEditTableViewController::currentTableView() {
  auto* search = searchDisplayController();
  if (search && search->isActive()) return &search->searchResultsTableView();
  return tableView().get();
}

bool KMGroupEditTableViewController::isSearching() const {
  auto* search = searchDisplayController();
  return search && search->isActive();
}

UISearchBar* KMGroupEditTableViewController::searchBar() const {
  auto* search = searchDisplayController();
  return search ? &search->searchBar() : nullptr;
}

// ---- Group edit mode and selection ----------------------------------------------

void KMGroupEditTableViewController::applyGroupEditModeToVisibleCells(KMAnimated animated) {
  std::vector<UITableView*> tables{tableView().get()};
  if (auto* search = searchDisplayController()) tables.push_back(&search->searchResultsTableView());
  for (UITableView* table : tables) {
    if (!table) continue;
    for (const auto& cell : table->visibleCells()) {
      auto* groupCell = dynamic_cast<KMGroupEditCell*>(cell.get());
      if (!groupCell) continue;
      if (m_isInGroupEditMode)
        groupCell->activateGroupEditModeAnimated(animated);
      else
        groupCell->resignGroupEditModeAnimated(animated);
    }
  }
}

void KMGroupEditTableViewController::activateGroupEditModeAnimated(KMAnimated animated) {
  if (m_isInGroupEditMode) return;
  m_isInGroupEditMode = true;
  applyGroupEditModeToVisibleCells(animated);
}

void KMGroupEditTableViewController::resignGroupEditModeAnimated(KMAnimated animated) {
  if (!m_isInGroupEditMode) return;
  m_isInGroupEditMode = false;
  applyGroupEditModeToVisibleCells(animated);
}

void KMGroupEditTableViewController::touchedCheckBoxInCell(KMGroupEditCell& cell) {
  UITableView* table = currentTableView();
  if (!table) return;
  if (auto indexPath = table->indexPathForCell(cell)) multiselectCellAtIndexPath(&cell, *indexPath);
}

void KMGroupEditTableViewController::multiselectCellAtIndexPath(KMGroupEditCell* cell,
                                                                const NSIndexPath& indexPath) {
  auto found = std::find(m_selectedRows.begin(), m_selectedRows.end(), indexPath);
  const bool selected = found == m_selectedRows.end();
  if (selected)
    m_selectedRows.push_back(indexPath);
  else
    m_selectedRows.erase(found);
  KMAnalytics::sharedInstance().logEvent(selected ? kKMMVDiskItemSelected : kKMMVDiskItemUnselected);
  if (cell) cell->setMultiSelected(selected);
  if (m_selectedRows.empty())
    hideGroupEditToolbarAnimated(KMAnimated::Yes);
  else
    showGroupEditToolbarAnimated(KMAnimated::Yes);
  updateEnabledStatusOfGroupEditButtons();
}

void KMGroupEditTableViewController::clearMultiselectionAnimated(KMAnimated animated) {
  m_selectedRows.clear();
  hideGroupEditToolbarAnimated(animated);
  applyGroupEditModeToVisibleCells(animated);
  if (m_isInGroupEditMode) {
    if (UITableView* table = currentTableView())
      for (const auto& cell : table->visibleCells())
        if (auto* groupCell = dynamic_cast<KMGroupEditCell*>(cell.get()); groupCell && groupCell->multiSelected())
          groupCell->setMultiSelected(false);
  }
  updateEnabledStatusOfGroupEditButtons();
}

void KMGroupEditTableViewController::reloadVisibleCells() {
  UITableView* table = currentTableView();
  if (!table) return;
  auto visible = table->indexPathsForVisibleRows();
  if (!visible.empty()) table->reloadRowsAtIndexPathsWithRowAnimation(visible, UITableViewRowAnimation::None);
}

void KMGroupEditTableViewController::updateMultiselectionInsertingRowAtIndexPath(const NSIndexPath& indexPath) {
  for (auto& path : m_selectedRows)
    if (path.section == indexPath.section && path.row >= indexPath.row) ++path.row;
}

void KMGroupEditTableViewController::updateMultiselectionRemovingRowAtIndexPath(const NSIndexPath& indexPath) {
  std::vector<NSIndexPath> kept;
  for (NSIndexPath path : m_selectedRows) {
    if (path == indexPath) continue;
    if (path.section == indexPath.section && path.row > indexPath.row) --path.row;
    kept.push_back(path);
  }
  m_selectedRows = std::move(kept);
  if (m_selectedRows.empty()) hideGroupEditToolbarAnimated(KMAnimated::Yes);
}

void KMGroupEditTableViewController::updateMultiselectionInsertingSectionAtIndex(int section) {
  for (auto& path : m_selectedRows)
    if (path.section >= section) ++path.section;
}

void KMGroupEditTableViewController::updateMultiselectionRemovingSectionAtIndex(int section) {
  std::vector<NSIndexPath> kept;
  for (NSIndexPath path : m_selectedRows) {
    if (path.section == section) continue;
    if (path.section > section) --path.section;
    kept.push_back(path);
  }
  m_selectedRows = std::move(kept);
  if (m_selectedRows.empty()) hideGroupEditToolbarAnimated(KMAnimated::Yes);
}

// ---- Toolbar ---------------------------------------------------------------------

void KMGroupEditTableViewController::initializeGroupEditViews() {
  UIView& host = viewForGroupEditToolbar();
  const CGRect b = host.bounds();
  const CGFloat height = m_isShowingGroupEditToolbar ? kToolbarShownHeight : kToolbarHiddenHeight;
  m_groupEditToolbar = std::make_shared<UIView>(CGRectMake(0, b.size.height - height, b.size.width, height));
  m_groupEditToolbar->setBackgroundColor(UIColor::clearColor());
  m_groupEditToolbar->setOpaque(false);
  m_groupEditToolbar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
  auto background = std::make_shared<UIImageView>(m_groupEditToolbar->bounds());
  if (auto image = UIImage::imageNamed("small_bottom_bar"))
    background->setImage(image->stretchableImageWithLeftCapWidthTopCapHeight(5, 4));
  background->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  m_groupEditToolbar->addSubview(background);
  host.addSubview(m_groupEditToolbar);
  layoutTableAboveToolbar();
}

void KMGroupEditTableViewController::reloadGroupEditButtons() {
  if (!isViewLoaded()) return;
  if (!m_groupEditToolbar) initializeGroupEditViews();
  for (const auto& button : m_groupEditButtons) button->removeFromSuperview();
  m_groupEditButtons.clear();
  layoutGroupEditButtons();
  for (int index = 0; index < numberOfGroupEditButtons(); ++index) {
    auto button = groupEditButtonForIndex(index);
    if (!button) continue;
    button->setAlpha(m_isShowingGroupEditToolbar ? 1 : 0);
    m_groupEditToolbar->addSubview(button);
    m_groupEditButtons.push_back(std::move(button));
  }
}

void KMGroupEditTableViewController::layoutTableAboveToolbar() {
  if (!tableView() || !m_groupEditToolbar || isSearching()) return;
  const CGRect b = view()->bounds();
  tableView()->setFrame(CGRectMake(0, 0, b.size.width, b.size.height - m_groupEditToolbar->frame().size.height));
}

void KMGroupEditTableViewController::setToolbarHeight(CGFloat height, CGFloat buttonsAlpha, KMAnimated animated) {
  if (!m_groupEditToolbar) return;
  auto change = [this, height, buttonsAlpha] {
    const CGRect b = m_groupEditToolbar->superview() ? m_groupEditToolbar->superview()->bounds() : CGRectZero;
    m_groupEditToolbar->setFrame(CGRectMake(0, b.size.height - height, b.size.width, height));
    layoutTableAboveToolbar();
    for (const auto& button : m_groupEditButtons) button->setAlpha(buttonsAlpha);
  };
  if (isAnimated(animated))
    UIView::animateWithDurationAnimations(m_animationSpeed, change);
  else
    change();
}

void KMGroupEditTableViewController::showGroupEditToolbarAnimated(KMAnimated animated) {
  if (m_isShowingGroupEditToolbar) return;
  m_isShowingGroupEditToolbar = true;
  disableSearchBarAnimated(animated);
  setToolbarHeight(kToolbarShownHeight, 1, animated);
  setPullRefreshEnabled(false);
  m_searchBarEnabled = false;
}

void KMGroupEditTableViewController::hideGroupEditToolbarAnimated(KMAnimated animated) {
  if (!m_isShowingGroupEditToolbar) return;
  m_isShowingGroupEditToolbar = false;
  enableSearchBarAnimated(animated);
  setToolbarHeight(kToolbarHiddenHeight, 0, animated);
  setPullRefreshEnabled(true);
  m_searchBarEnabled = true;
}

// ---- Search bar ------------------------------------------------------------------

void KMGroupEditTableViewController::styleSearchBar() {
  UISearchBar* bar = searchBar();
  if (!bar) return;
  bar->setBarStyle(UIBarStyle::Black);
  bar->setDelegate(std::static_pointer_cast<KMGroupEditTableViewController>(sharedController()));
  bar->setBackgroundImage(resizable("search_bar_bg", {1, 1, 1, 1}));
  auto field = resizable("search_text_field", {2, 15, 2, 15});
  bar->setSearchFieldBackgroundImageForState(field, UIControlStateNormal);
  bar->setSearchFieldBackgroundImageForState(field, UIControlStateDisabled);
  auto icon = UIImage::imageNamed("search_icon");
  bar->setImageForSearchBarIconState(icon, UISearchBarIcon::Search, UIControlStateNormal);
  bar->setImageForSearchBarIconState(icon, UISearchBarIcon::Search, UIControlStateHighlighted);
  bar->searchField().setTextColor(UIColor::whiteColor());
  m_backgroundSearchBtn = resizable("grey_btn", {4, 4, 21, 12});
  m_backgroundSearchBtnPressed = resizable("grey_btn_pressed", {4, 4, 21, 12});

  m_searchDoneButton = UIButton::buttonWithType(UIButtonType::Custom);
  m_searchDoneButton->setTag(kSearchDoneButtonTag);
  m_searchDoneButton->setTitleForState(KMLocalizedString("Cancel", "Отмена", "KMGroupEditTableViewController"),
                                       UIControlStateNormal);
  m_searchDoneButton->titleLabel().setFont(UIFont::boldSystemFontOfSize(12));
  if (auto image = UIImage::imageNamed("blue_btn"))
    m_searchDoneButton->setBackgroundImageForState(image->stretchableImageWithLeftCapWidthTopCapHeight(10, 4),
                                                   UIControlStateNormal);
  if (auto image = UIImage::imageNamed("blue_btn_pressed"))
    m_searchDoneButton->setBackgroundImageForState(image->stretchableImageWithLeftCapWidthTopCapHeight(10, 4),
                                                   UIControlStateHighlighted);
  std::weak_ptr<KMGroupEditTableViewController> weak = weakSelf<KMGroupEditTableViewController>();
  m_searchDoneButton->addActionForControlEvents(
      [weak](UIControl&) {
        if (auto self = weak.lock()) self->searchDoneButtonTouched();
      },
      UIControlEventTouchUpInside);
}

UIButton* KMGroupEditTableViewController::searchBarOwnButton() const {
  UISearchBar* bar = searchBar();
  if (!bar) return nullptr;
  for (const auto& subview : bar->subviews())
    if (auto* button = dynamic_cast<UIButton*>(subview.get()); button && button->tag() != kSearchDoneButtonTag)
      return button;
  return nullptr;
}

void KMGroupEditTableViewController::disableSearchBarAnimated(KMAnimated animated) {
  UISearchBar* bar = searchBar();
  if (!m_searchBarEnabled || !bar || !m_searchDoneButton) return;
  m_searchBarEnabled = false;
  if (UIButton* own = searchBarOwnButton()) m_searchDoneButton->setFrame(own->frame());
  m_searchDoneButton->setAlpha(0);
  const bool searching = isSearching();
  if (searching) bar->addSubview(m_searchDoneButton);
  auto change = [this, bar, searching] {
    bar->searchField().setAlpha(kLockedFieldAlpha);
    if (searching) m_searchDoneButton->setAlpha(1);
  };
  if (isAnimated(animated))
    UIView::animateWithDurationAnimations(m_animationSpeed, change);
  else
    change();
  bar->searchField().setEnabled(false);
}

void KMGroupEditTableViewController::enableSearchBarAnimated(KMAnimated animated) {
  UISearchBar* bar = searchBar();
  if (m_searchBarEnabled || !bar || !m_searchDoneButton) return;
  m_searchBarEnabled = true;
  bar->searchField().setEnabled(true);
  std::weak_ptr<UIView> weakButton = m_searchDoneButton;
  auto change = [this, bar] {
    bar->searchField().setAlpha(1);
    m_searchDoneButton->setAlpha(0);
  };
  auto finished = [weakButton, weak = weakSelf<KMGroupEditTableViewController>()](bool) {
    auto self = weak.lock();
    auto button = weakButton.lock();
    // Locked again meanwhile: the button stays.
    if (self && button && self->m_searchBarEnabled) button->removeFromSuperview();
  };
  if (isAnimated(animated)) {
    UIView::animateWithDurationAnimationsCompletion(m_animationSpeed, change, finished);
  } else {
    change();
    finished(true);
  }
}

void KMGroupEditTableViewController::searchDoneButtonTouched() {
  enableSearchBarAnimated(KMAnimated::Yes);
  clearMultiselectionAnimated(KMAnimated::Yes);
  if (UISearchBar* bar = searchBar()) bar->searchField().becomeFirstResponder();
}

void KMGroupEditTableViewController::searchBarCancelButtonClicked(UISearchBar&) {
  enableSearchBarAnimated(KMAnimated::Yes);
  clearMultiselectionAnimated(KMAnimated::Yes);
}

void KMGroupEditTableViewController::searchBarTextDidBeginEditing(UISearchBar& bar) {
  bar.setShowsCancelButtonAnimated(true, KMAnimated::Yes);
  if (UIButton* own = searchBarOwnButton()) {
    own->setBackgroundImageForState(m_backgroundSearchBtn, UIControlStateNormal);
    own->setBackgroundImageForState(m_backgroundSearchBtnPressed, UIControlStateHighlighted);
  }
}

}  // namespace kdisk
