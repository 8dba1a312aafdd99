#pragma once
// Runs a search over a screen: while active, the search bar shows its cancel
// button, the navigation bar steps aside and a results table covers the
// screen's content once there is text; the screen filters in
// shouldReloadTableForSearchString and serves the results table as its data
// source. Owned by the screen it searches; main thread.
#include <memory>
#include <string>

#include "uikit/UISearchBar.h"
#include "uikit/UITableView.h"

namespace kdisk {

class UISearchDisplayController;
class UIViewController;

class UISearchDisplayDelegate {
 public:
  virtual ~UISearchDisplayDelegate() = default;
  virtual void searchDisplayControllerWillBeginSearch(UISearchDisplayController& controller) { (void)controller; }
  virtual void searchDisplayControllerDidBeginSearch(UISearchDisplayController& controller) { (void)controller; }
  virtual void searchDisplayControllerWillEndSearch(UISearchDisplayController& controller) { (void)controller; }
  virtual void searchDisplayControllerDidEndSearch(UISearchDisplayController& controller) { (void)controller; }
  virtual void searchDisplayControllerDidLoadSearchResultsTableView(UISearchDisplayController& controller,
                                                                    UITableView& tableView) {
    (void)controller, (void)tableView;
  }
  // Answer whether the results table should reload for the new text.
  virtual bool searchDisplayControllerShouldReloadTableForSearchString(UISearchDisplayController& controller,
                                                                       const std::string& searchString) {
    (void)controller, (void)searchString;
    return true;
  }
};

class UISearchDisplayController {
 public:
  UISearchDisplayController(std::shared_ptr<UISearchBar> searchBar, UIViewController& contentsController);
  ~UISearchDisplayController();
  UISearchDisplayController(const UISearchDisplayController&) = delete;
  UISearchDisplayController& operator=(const UISearchDisplayController&) = delete;

  UISearchBar& searchBar() { return *m_searchBar; }
  UIViewController& searchContentsController() { return m_contents; }
  UITableView& searchResultsTableView();
  void setSearchResultsDataSource(std::weak_ptr<UITableViewDataSource> dataSource);
  void setSearchResultsDelegate(std::weak_ptr<UITableViewDelegate> delegate);
  void setDelegate(std::weak_ptr<UISearchDisplayDelegate> delegate) { m_delegate = std::move(delegate); }

  bool isActive() const { return m_active; }
  void setActiveAnimated(bool active, KMAnimated animated);
  bool isShowingResults() const;

  // From the search bar.
  void searchBarTextDidBeginEditing();
  void searchBarTextDidChange(const std::string& text);
  void searchBarCancelButtonClicked();

 private:
  void showResults(bool show);
  std::shared_ptr<UISearchBar> m_searchBar;
  UIViewController& m_contents;
  std::shared_ptr<UITableView> m_resultsTable;
  std::weak_ptr<UITableViewDataSource> m_dataSource;
  std::weak_ptr<UITableViewDelegate> m_tableDelegate;
  std::weak_ptr<UISearchDisplayDelegate> m_delegate;
  bool m_active = false;
};

}  // namespace kdisk
