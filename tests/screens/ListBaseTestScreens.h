#pragma once
// Small list screens on the list base and the fixtures that show them on the
// headless host, driven with real drags, taps and typing and the virtual clock.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "UIKitTestSupport.h"
#include "platform/KMAnalytics.h"
#include "screens/browsing/KMTableViewController.h"
#include "uikit/UISearchDisplayController.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {

inline NSIndexPath path(int section, int row) { return NSIndexPath::indexPathForRowInSection(row, section); }

// The base's own refresh: loading for five seconds.
class BasePullScreen : public PullRefreshViewController, public UITableViewDataSource {
 public:
  void viewDidLoad() override {
    PullRefreshViewController::viewDidLoad();
    tableView()->setDataSource(std::static_pointer_cast<BasePullScreen>(sharedController()));
  }
  int tableViewNumberOfRowsInSection(UITableView&, int) override { return 3; }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView&, const NSIndexPath& p) override {
    auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyle::Default, "Row");
    cell->textLabel().setText("Row " + std::to_string(p.row));
    return cell;
  }
};

// A folder-like list: sections of names, one group-edit button, an optional
// search display over the same names.
class ListScreen : public KMTableViewController, public UITableViewDataSource, public UISearchDisplayDelegate {
 public:
  explicit ListScreen(bool withSearch) : m_withSearch(withSearch) {}
  std::vector<std::vector<std::string>> sections{{"Documents", "Images", "Music", "report.pdf"}, {"photo.jpg"}};
  std::vector<std::string> searchResults;
  int updateDataCalls = 0;
  int refetchCalls = 0;
  std::vector<NSIndexPath> rowSelections;
  std::unique_ptr<UISearchDisplayController> search;

  void viewDidLoad() override {
    if (m_withSearch) {
      // The bar sits in the table's header, as the folder screens have it.
      auto bar = std::make_shared<UISearchBar>(CGRectMake(0, 0, 320, 44));
      search = std::make_unique<UISearchDisplayController>(bar, *this);
      setSearchDisplayController(search.get());
    }
    KMTableViewController::viewDidLoad();
    auto self = std::static_pointer_cast<ListScreen>(sharedController());
    tableView()->setDataSource(self);
    if (search) {
      tableView()->setTableHeaderView(search->searchBar().sharedView());
      search->setSearchResultsDataSource(self);
      search->setSearchResultsDelegate(self);
      search->setDelegate(self);
    }
    activateGroupEditModeAnimated(KMAnimated::No);
  }
  ~ListScreen() override { setSearchDisplayController(nullptr); }

  // A subclass marks loading when it sends its request.
  void updateData() override {
    ++updateDataCalls;
    setLoadingStateAnimated(KMLoadingStateLoading, KMAnimated::Yes);
  }
  void refetchAndReloadData() override {
    ++refetchCalls;
    tableView()->reloadData();
    didReloadData();
  }
  void finishLoading() { setLoadingStateAnimated(KMLoadingStateIdle, KMAnimated::Yes); }

  int numberOfGroupEditButtons() const override { return 1; }
  std::shared_ptr<UIView> groupEditButtonForIndex(int) override {
    auto button = UIButton::buttonWithType(UIButtonType::Custom);
    button->setTitleForState(std::string("Delete"), UIControlStateNormal);
    button->setFrame(CGRectMake(10, 8, 100, 30));
    return button;
  }

  bool isResults(UITableView& table) const { return search && &table == &search->searchResultsTableView(); }
  int numberOfSectionsInTableView(UITableView& table) override {
    return isResults(table) ? 1 : int(sections.size());
  }
  int tableViewNumberOfRowsInSection(UITableView& table, int section) override {
    return isResults(table) ? int(searchResults.size()) : int(sections[section].size());
  }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView& table, const NSIndexPath& p) override {
    auto reused = table.dequeueReusableCellWithIdentifier("FileCell");
    auto cell = std::dynamic_pointer_cast<KMGroupEditCell>(reused);
    if (!cell) cell = std::make_shared<KMGroupEditCell>(UITableViewCellStyle::Subtitle, "FileCell");
    cell->textLabel().setText(isResults(table) ? searchResults[p.row] : sections[p.section][p.row]);
    cell->textLabel().setFont(UIFont::boldSystemFontOfSize(16));
    const auto& selected = indexPathsForSelectedRows();
    cell->setMultiSelected(std::find(selected.begin(), selected.end(), p) != selected.end());
    cell->setDelegate(std::static_pointer_cast<ListScreen>(sharedController()));
    if (isInGroupEditMode())
      cell->activateGroupEditModeAnimated(KMAnimated::No);
    else
      cell->resignGroupEditModeAnimated(KMAnimated::No);
    return cell;
  }
  void tableViewDidSelectRowAtIndexPath(UITableView&, const NSIndexPath& p) override { rowSelections.push_back(p); }
  // Filters as the folder screens do, then re-picks the footer for the results.
  bool searchDisplayControllerShouldReloadTableForSearchString(UISearchDisplayController& controller,
                                                               const std::string& text) override {
    searchResults.clear();
    for (const auto& section : sections)
      for (const auto& name : section)
        if (!text.empty() && name.find(text) != std::string::npos) searchResults.push_back(name);
    controller.searchResultsTableView().reloadData();
    didReloadData();
    return false;
  }

 private:
  bool m_withSearch;
};

class ListBaseTest : public UIKitTest {
 protected:
  void SetUp() override { KMAnalytics::sharedInstance().clearRecordedEventsForTesting(); }

  std::shared_ptr<ListScreen> show(bool withSearch = false) {
    auto screen = std::make_shared<ListScreen>(withSearch);
    m_host->setRootViewController(screen);
    m_host->settle();
    return screen;
  }
  // Straight down from y 100 by `distance` points, slowly (no flick).
  void pull(CGFloat distance) { m_host->drag({{160, 100}, {160, 100 + distance}}, 2.0, 40); }

  KMGroupEditCell& cellAt(ListScreen& screen, NSIndexPath p) {
    auto cell = std::dynamic_pointer_cast<KMGroupEditCell>(screen.tableView()->cellForRowAtIndexPath(p));
    EXPECT_TRUE(cell) << p.description();
    return *cell;
  }
  void narrowScreen(ListScreen& screen, CGFloat by) {
    CGRect frame = screen.view()->frame();
    frame.size.width -= by;
    screen.view()->setFrame(frame);
    m_host->settle();
  }
  std::vector<std::string> events() {
    std::vector<std::string> names;
    for (const auto& event : KMAnalytics::sharedInstance().recordedEvents()) names.push_back(event.name);
    return names;
  }
  void saveArtifact(const std::string& name) {
    const auto dir = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "screens";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(m_host->savePNG((dir / name).string()));
  }
};

class BasePullTest : public ListBaseTest {
 protected:
  std::shared_ptr<BasePullScreen> showBase() {
    auto screen = std::make_shared<BasePullScreen>();
    m_host->setRootViewController(screen);
    m_host->settle();
    return screen;
  }
};

class SearchBarTest : public ListBaseTest {
 protected:
  void SetUp() override {
    ListBaseTest::SetUp();
    screen = show(true);
    screen->finishLoading();
    m_host->advance(0.5);
    bar = screen->searchBar();
    ASSERT_NE(bar, nullptr);
  }
  // Waits out the moves a tap may start, so the next tap is not taken for
  // a finger stopping moving content.
  void search(const std::string& text) {
    ASSERT_TRUE(m_host->tapView(bar->searchField()));
    m_host->typeText(text);
    m_host->advance(1.5);
    ASSERT_FALSE(screen->tableView()->isDecelerating());
  }
  KMGroupEditCell& resultCell(int row) {
    auto cell = std::dynamic_pointer_cast<KMGroupEditCell>(
        screen->search->searchResultsTableView().cellForRowAtIndexPath(path(0, row)));
    EXPECT_TRUE(cell) << row;
    return *cell;
  }
  std::shared_ptr<ListScreen> screen;
  UISearchBar* bar = nullptr;
};

}  // namespace kdisk::test
