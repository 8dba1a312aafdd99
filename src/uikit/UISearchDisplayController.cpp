#include "uikit/UISearchDisplayController.h"

#include "uikit/UINavigationController.h"
#include "uikit/UIViewController.h"

namespace kdisk {

UISearchDisplayController::UISearchDisplayController(std::shared_ptr<UISearchBar> searchBar,
                                                     UIViewController& contentsController)
    : m_searchBar(std::move(searchBar)), m_contents(contentsController) {
  m_searchBar->setDisplayController(this);
  m_contents.setSearchDisplayController(this);
}

UISearchDisplayController::~UISearchDisplayController() {
  m_searchBar->setDisplayController(nullptr);
  if (m_contents.searchDisplayController() == this) m_contents.setSearchDisplayController(nullptr);
  if (m_resultsTable) m_resultsTable->removeFromSuperview();
}

UITableView& UISearchDisplayController::searchResultsTableView() {
  if (!m_resultsTable) {
    m_resultsTable = std::make_shared<UITableView>(CGRectMake(0, 0, 320, 400));
    m_resultsTable->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    m_resultsTable->setDataSource(m_dataSource);
    m_resultsTable->setTableDelegate(m_tableDelegate);
    if (auto delegate = m_delegate.lock())
      delegate->searchDisplayControllerDidLoadSearchResultsTableView(*this, *m_resultsTable);
  }
  return *m_resultsTable;
}

void UISearchDisplayController::setSearchResultsDataSource(std::weak_ptr<UITableViewDataSource> dataSource) {
  m_dataSource = dataSource;
  if (m_resultsTable) m_resultsTable->setDataSource(std::move(dataSource));
}

void UISearchDisplayController::setSearchResultsDelegate(std::weak_ptr<UITableViewDelegate> delegate) {
  m_tableDelegate = delegate;
  if (m_resultsTable) m_resultsTable->setTableDelegate(std::move(delegate));
}

bool UISearchDisplayController::isShowingResults() const {
  return m_resultsTable && m_resultsTable->superview() != nullptr;
}

void UISearchDisplayController::showResults(bool show) {
  auto& table = searchResultsTableView();
  if (!show) {
    table.removeFromSuperview();
    return;
  }
  if (table.superview()) return;
  // The results cover the screen's content under the search bar.
  auto view = m_contents.view();
  UIView* host = m_searchBar->superview() ? m_searchBar->superview() : view.get();
  const CGRect barFrame = m_searchBar->convertRectToView(m_searchBar->bounds(), host);
  const CGRect hostBounds = host->bounds();
  table.setFrame(CGRectMake(0, CGRectGetMaxY(barFrame), hostBounds.size.width,
                            CGRectGetMaxY(hostBounds) - CGRectGetMaxY(barFrame)));
  host->addSubview(m_resultsTable);
  table.reloadData();
}

void UISearchDisplayController::setActiveAnimated(bool active, KMAnimated animated) {
  if (m_active == active) return;
  auto delegate = m_delegate.lock();
  if (active) {
    if (delegate) delegate->searchDisplayControllerWillBeginSearch(*this);
    m_active = true;
    m_searchBar->setShowsCancelButtonAnimated(true, animated);
    if (auto* navigation = m_contents.navigationController()) navigation->setNavigationBarHiddenAnimated(true, animated);
    if (!m_searchBar->searchField().isFirstResponder()) m_searchBar->searchField().becomeFirstResponder();
    if (!m_searchBar->text().empty()) showResults(true);
    if (delegate) delegate->searchDisplayControllerDidBeginSearch(*this);
    return;
  }
  if (delegate) delegate->searchDisplayControllerWillEndSearch(*this);
  m_active = false;
  m_searchBar->setText("");
  m_searchBar->searchField().resignFirstResponder();
  m_searchBar->setShowsCancelButtonAnimated(false, animated);
  if (auto* navigation = m_contents.navigationController()) navigation->setNavigationBarHiddenAnimated(false, animated);
  showResults(false);
  if (delegate) delegate->searchDisplayControllerDidEndSearch(*this);
}

void UISearchDisplayController::searchBarTextDidBeginEditing() { setActiveAnimated(true, KMAnimated::Yes); }

void UISearchDisplayController::searchBarTextDidChange(const std::string& text) {
  if (!m_active) return;
  auto delegate = m_delegate.lock();
  const bool reload = !delegate || delegate->searchDisplayControllerShouldReloadTableForSearchString(*this, text);
  showResults(!text.empty());
  if (reload && m_resultsTable) m_resultsTable->reloadData();
}

void UISearchDisplayController::searchBarCancelButtonClicked() { setActiveAnimated(false, KMAnimated::Yes); }

}  // namespace kdisk
