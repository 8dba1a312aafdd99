// A small list screen on the list base, driven on the headless host with real
// drags and taps and the virtual clock.
#include <filesystem>
#include <string>
#include <vector>

#include "UIKitTestSupport.h"
#include "platform/KMAnalytics.h"
#include "screens/browsing/KMTableViewController.h"
#include "screens/browsing/KMTableViewGroupHeader.h"
#include "uikit/CALayer.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIWindow.h"
#include "uikit/UISearchDisplayController.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

NSIndexPath path(int section, int row) { return NSIndexPath::indexPathForRowInSection(row, section); }

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
    const auto dir = std::filesystem::path(KDISK_BINARY_DIR) / "artifacts";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(m_host->savePNG((dir / name).string()));
  }
};

// ---- Pull to refresh ------------------------------------------------------------

// The rubber band halves the finger's way: a pull of 2 × 43.9 points falls
// short, 2 × 44 is enough, measured from whatever inset the table rests at.
TEST_F(ListBaseTest, ARefreshNeedsAReleaseFortyFourPointsPastTheRestingInset) {
  auto screen = show();
  screen->finishLoading();
  m_host->advance(1);
  for (CGFloat rest : {0.0, 20.0}) {
    SCOPED_TRACE(rest);
    KMAnalytics::sharedInstance().clearRecordedEventsForTesting();
    screen->setContentInsetTop(rest);
    m_host->advance(1);
    EXPECT_DOUBLE_EQ(screen->tableView()->scrollIndicatorInsets().top, rest);
    const int before = screen->updateDataCalls;
    pull(87.8);
    EXPECT_FALSE(screen->isLoading());
    EXPECT_TRUE(events().empty());
    m_host->advance(1);
    EXPECT_DOUBLE_EQ(screen->tableView()->contentOffset().y, -rest);

    pull(88);
    EXPECT_TRUE(screen->isLoading());
    EXPECT_EQ(screen->updateDataCalls, before + 1);
    EXPECT_THAT(events(), ElementsAre(kKMMVDiskPullToSync));
    m_host->advance(1);
    // The header stays uncovered while loading.
    EXPECT_DOUBLE_EQ(screen->tableView()->contentInset().top, rest + 44);
    EXPECT_DOUBLE_EQ(screen->tableView()->contentOffset().y, -rest - 44);
    // The header hides again once the load is over.
    screen->finishLoading();
    m_host->advance(1);
    EXPECT_DOUBLE_EQ(screen->tableView()->contentInset().top, rest);
    EXPECT_DOUBLE_EQ(screen->tableView()->contentOffset().y, -rest);
  }
}

TEST_F(ListBaseTest, PullingShowsReleaseTextPastTheThresholdAndFadesTheHeaderIn) {
  auto screen = show();
  screen->finishLoading();
  m_host->advance(1);
  m_host->drag({{160, 100}, {160, 144}}, 1.0, 20, KMDragRelease::Hold);
  EXPECT_DOUBLE_EQ(screen->refreshHeaderView()->alpha(), 0.5);
  EXPECT_EQ(screen->refreshLabel()->text(), screen->textPull());
  m_host->touchMove({160, 200});
  EXPECT_EQ(screen->refreshLabel()->text(), screen->textRelease());
  // Style 1: the image shows at its full height in the release pose.
  const CGSize image = screen->refreshActionImage()->size();
  EXPECT_DOUBLE_EQ(screen->refreshArrow()->frame().size.height, image.height);
  EXPECT_DOUBLE_EQ(screen->refreshArrow()->frame().origin.y, 44 - image.height - 1);
  m_host->touchMove({160, 150});
  EXPECT_EQ(screen->refreshLabel()->text(), screen->textPull());
  EXPECT_DOUBLE_EQ(screen->refreshArrow()->frame().size.height, 0);
  EXPECT_DOUBLE_EQ(screen->refreshArrow()->frame().origin.y, 43);
  m_host->touchUp({160, 150});
  EXPECT_FALSE(screen->isLoading());
}

TEST_F(ListBaseTest, ARefreshStillLoadingAtThreeSecondsShowsTheSpinnerInsteadOfTheImage) {
  auto screen = show();
  screen->finishLoading();
  m_host->advance(1);
  pull(100);
  ASSERT_TRUE(screen->isLoading());
  m_host->advance(2.99);
  EXPECT_FALSE(screen->inLongWaitingState());
  EXPECT_FALSE(screen->refreshSpinner()->isAnimating());
  EXPECT_FALSE(screen->refreshArrow()->isHidden());
  screen->finishLoading();
  m_host->advance(1);
  pull(100);
  ASSERT_TRUE(screen->isLoading());
  m_host->advance(3.0);
  EXPECT_TRUE(screen->inLongWaitingState());
  EXPECT_TRUE(screen->refreshSpinner()->isAnimating());
  EXPECT_TRUE(screen->refreshArrow()->isHidden());
  screen->finishLoading();
  EXPECT_FALSE(screen->refreshSpinner()->isAnimating());
  EXPECT_FALSE(screen->refreshArrow()->isHidden());
  m_host->advance(0.3);
  EXPECT_DOUBLE_EQ(screen->tableView()->contentInset().top, 0);
  EXPECT_EQ(screen->refreshLabel()->text(), screen->textPull());
}

TEST_F(ListBaseTest, ARefreshStoppedBeforeThreeSecondsNeverShowsTheSpinner) {
  auto screen = show();
  screen->finishLoading();
  m_host->advance(1);
  pull(100);
  m_host->advance(1);
  screen->finishLoading();
  m_host->advance(5);
  EXPECT_FALSE(screen->inLongWaitingState());
  EXPECT_FALSE(screen->refreshSpinner()->isAnimating());
}

TEST_F(ListBaseTest, ARefreshStartedWhileTheStopAnimatesKeepsItsLoadingText) {
  auto screen = show();
  screen->finishLoading();
  m_host->advance(1);
  screen->startLoadingAnimated(KMAnimated::Yes);
  m_host->advance(1);
  screen->stopLoadingAnimated(KMAnimated::Yes);
  m_host->advance(0.1);
  screen->startLoadingAnimated(KMAnimated::Yes);
  m_host->advance(0.5);
  EXPECT_TRUE(screen->isLoading());
  EXPECT_EQ(screen->refreshLabel()->text(), screen->textLoading());
  EXPECT_DOUBLE_EQ(screen->tableView()->contentInset().top, 44);
}

TEST_F(ListBaseTest, WhileLoadingANewDragStartsNothing) {
  auto screen = show();
  screen->finishLoading();
  m_host->advance(1);
  pull(100);
  m_host->advance(1);
  const int calls = screen->updateDataCalls;
  pull(150);
  EXPECT_EQ(screen->updateDataCalls, calls);
  EXPECT_FALSE(screen->isDragging());
}

class BasePullTest : public ListBaseTest {
 protected:
  std::shared_ptr<BasePullScreen> showBase() {
    auto screen = std::make_shared<BasePullScreen>();
    m_host->setRootViewController(screen);
    m_host->settle();
    return screen;
  }
};

TEST_F(BasePullTest, TheBaseRefreshStopsAtFiveSeconds) {
  auto screen = showBase();
  EXPECT_EQ(screen->pullRefreshStyle(), 0);
  EXPECT_EQ(screen->textPull(), "Потяните...");
  pull(88);
  ASSERT_TRUE(screen->isLoading());
  m_host->advance(5.0);
  EXPECT_FALSE(screen->isLoading());
  m_host->advance(1);
  pull(88);
  ASSERT_TRUE(screen->isLoading());
  m_host->advance(4.99);
  EXPECT_TRUE(screen->isLoading());
  m_host->advance(0.02);
  EXPECT_FALSE(screen->isLoading());
  m_host->advance(0.3);
  EXPECT_DOUBLE_EQ(screen->tableView()->contentInset().top, 0);
  EXPECT_EQ(screen->refreshLabel()->text(), "Потяните...");
  // Style 0: the image waits out of sight in the pull pose.
  EXPECT_DOUBLE_EQ(screen->refreshArrow()->frame().origin.y, -44);
}

TEST_F(BasePullTest, AStopByHandCancelsTheBasesPendingStop) {
  auto screen = showBase();
  pull(88);
  m_host->advance(1);
  screen->stopLoading();
  m_host->advance(1);
  pull(88);
  ASSERT_TRUE(screen->isLoading());
  // The first refresh's stop would have fallen here.
  m_host->advance(3.5);
  EXPECT_TRUE(screen->isLoading());
  m_host->advance(1.6);
  EXPECT_FALSE(screen->isLoading());
}

TEST_F(BasePullTest, DisablingStopsLoadingAndHidesTheHeaderAndLeavingTheScreenStopsAtOnce) {
  auto screen = showBase();
  pull(88);
  screen->setPullRefreshEnabled(false);
  EXPECT_FALSE(screen->isLoading());
  EXPECT_TRUE(screen->refreshHeaderView()->isHidden());
  pull(120);
  EXPECT_FALSE(screen->isLoading());
  screen->setPullRefreshEnabled(true);
  EXPECT_FALSE(screen->refreshHeaderView()->isHidden());
  pull(120);
  EXPECT_TRUE(screen->isLoading());
  screen->viewDidDisappear(KMAnimated::No);
  EXPECT_FALSE(screen->isLoading());
  EXPECT_DOUBLE_EQ(screen->tableView()->contentInset().top, 0);
}

TEST_F(BasePullTest, AScreenBuiltWithoutTheHeaderGetsItWhenEnabled) {
  auto screen = std::make_shared<BasePullScreen>();
  screen->setPullRefreshEnabled(false);
  m_host->setRootViewController(screen);
  m_host->settle();
  EXPECT_EQ(screen->refreshHeaderView(), nullptr);
  screen->setPullRefreshEnabled(true);
  ASSERT_NE(screen->refreshHeaderView(), nullptr);
  pull(88);
  EXPECT_TRUE(screen->isLoading());
}

// ---- First appearance and footers ---------------------------------------------------

TEST_F(ListBaseTest, FirstAppearanceLoadsAndShowsTheLoadingFooter) {
  auto screen = show();
  EXPECT_EQ(screen->updateDataCalls, 1);
  EXPECT_EQ(screen->refetchCalls, 1);
  EXPECT_FALSE(screen->firstTimeOpening());
  EXPECT_EQ(screen->loadingState(), KMLoadingStateLoading);
  EXPECT_EQ(screen->tableView()->tableFooterView().get(), screen->loadingFooter());
  EXPECT_TRUE(screen->loadingFooter()->activityIndicator().isAnimating());
  EXPECT_DOUBLE_EQ(screen->loadingFooter()->frame().size.height, 40);
  EXPECT_DOUBLE_EQ(screen->tableView()->rowHeight(), 55);
  m_host->advance(0.5);
  saveArtifact("list_loading.png");
  screen->finishLoading();
  m_host->advance(0.5);
  EXPECT_EQ(screen->tableView()->tableFooterView().get(), screen->emptyFooter());
  saveArtifact("list_idle.png");
  screen->setLoadingStateAnimated(KMLoadingStateFailed, KMAnimated::Yes);
  EXPECT_EQ(screen->tableView()->tableFooterView().get(), screen->loadingFailedFooter());
  m_host->advance(0.5);
  saveArtifact("list_failed.png");
}

TEST_F(ListBaseTest, ComingBackToTheListDeselectsTheRowAndLoadsNothingAgain) {
  auto screen = std::make_shared<ListScreen>(false);
  auto navigation = std::make_shared<UINavigationController>(screen);
  m_host->setRootViewController(navigation);
  m_host->settle();
  screen->finishLoading();
  m_host->advance(1);
  screen->resignGroupEditModeAnimated(KMAnimated::No);
  ASSERT_TRUE(m_host->tapText("Music"));
  EXPECT_EQ(screen->tableView()->indexPathForSelectedRow(), path(0, 2));
  navigation->pushViewControllerAnimated(std::make_shared<UIViewController>(), KMAnimated::Yes);
  m_host->advance(1);
  navigation->popViewControllerAnimated(KMAnimated::Yes);
  m_host->advance(1);
  EXPECT_FALSE(screen->tableView()->indexPathForSelectedRow());
  EXPECT_FALSE(cellAt(*screen, path(0, 2)).isSelected());
  EXPECT_EQ(screen->updateDataCalls, 1);
  EXPECT_EQ(screen->refetchCalls, 1);
  EXPECT_EQ(screen->loadingState(), KMLoadingStateIdle);
}

TEST_F(ListBaseTest, AnEmptyListShowsTheNoItemsFooterAndANilTextShowsAnEmptyLabel) {
  auto screen = show();
  screen->sections = {{}, {}};
  screen->refetchAndReloadData();
  screen->finishLoading();
  m_host->advance(0.5);
  EXPECT_TRUE(screen->isEmpty());
  EXPECT_FALSE(screen->groupEditingEnabled());
  EXPECT_EQ(screen->tableView()->tableFooterView().get(), screen->noItemsFooter());
  EXPECT_EQ(screen->noItemsFooter()->label().text(), "");
  screen->setTextNoItems(std::string("Папка пуста"));
  EXPECT_EQ(screen->noItemsFooter()->label().text(), "Папка пуста");
  m_host->advance(0.1);
  EXPECT_TRUE(m_host->findViewWithText("Папка пуста"));
  saveArtifact("list_empty.png");
  screen->setTextNoItems(std::nullopt);
  EXPECT_EQ(screen->noItemsFooter()->label().text(), "");
  EXPECT_EQ(m_host->findViewWithText("Папка пуста"), nullptr);
}

TEST_F(ListBaseTest, AnEmptyListDuringASearchShowsTheEmptyFooter) {
  auto screen = show(true);
  screen->finishLoading();
  m_host->advance(0.5);
  screen->search->setActiveAnimated(true, KMAnimated::No);
  m_host->advance(0.5);
  ASSERT_EQ(screen->currentTableView(), &screen->search->searchResultsTableView());
  screen->searchResults = {};
  screen->currentTableView()->reloadData();
  screen->didReloadData();
  EXPECT_TRUE(screen->isEmpty());
  EXPECT_EQ(screen->currentTableView()->tableFooterView().get(), screen->emptyFooter());
  screen->search->setActiveAnimated(false, KMAnimated::No);
  screen->sections = {{}};
  screen->refetchAndReloadData();
  EXPECT_EQ(screen->tableView()->tableFooterView().get(), screen->noItemsFooter());
}

TEST_F(ListBaseTest, TheFooterIndicatorSitsLeftOfTheCentredText) {
  KMTableViewMessageFooter footer(CGRectMake(0, 0, 320, 40));
  footer.setText(std::string("Загрузка"));
  footer.layoutIfNeeded();
  const CGFloat text = footer.label().sizeThatFits(footer.label().bounds().size).width;
  const CGFloat indicator = footer.activityIndicator().bounds().size.width;
  EXPECT_DOUBLE_EQ(footer.activityIndicator().frame().origin.x, std::floor((320 - text) / 2 - indicator - 5));
  EXPECT_DOUBLE_EQ(footer.label().frame().origin.x, 10);
}

// ---- Selection ------------------------------------------------------------------------

TEST_F(ListBaseTest, SelectingAndDeselectingARowLeavesAnEmptySelectionAndHidesTheToolbar) {
  auto screen = show();
  screen->finishLoading();
  m_host->advance(0.5);
  ASSERT_NE(screen->groupEditToolbar(), nullptr);
  EXPECT_DOUBLE_EQ(screen->groupEditToolbar()->frame().size.height, 8);
  KMGroupEditCell& cell = cellAt(*screen, path(0, 1));
  ASSERT_TRUE(m_host->tapView(cell.selectionButton()));
  EXPECT_THAT(screen->indexPathsForSelectedRows(), ElementsAre(path(0, 1)));
  EXPECT_TRUE(cell.multiSelected());
  EXPECT_TRUE(screen->isShowingGroupEditToolbar());
  EXPECT_FALSE(screen->pullRefreshEnabled());
  m_host->advance(0.3);
  EXPECT_DOUBLE_EQ(screen->groupEditToolbar()->frame().size.height, 45);
  EXPECT_DOUBLE_EQ(screen->tableView()->frame().size.height, screen->view()->bounds().size.height - 45);
  EXPECT_DOUBLE_EQ(screen->groupEditButtons().at(0)->alpha(), 1);
  saveArtifact("list_selection.png");
  ASSERT_TRUE(m_host->tapView(cell.selectionButton()));
  EXPECT_TRUE(screen->indexPathsForSelectedRows().empty());
  EXPECT_FALSE(screen->isSelecting());
  EXPECT_FALSE(cell.multiSelected());
  EXPECT_FALSE(screen->isShowingGroupEditToolbar());
  EXPECT_TRUE(screen->pullRefreshEnabled());
  m_host->advance(0.3);
  EXPECT_DOUBLE_EQ(screen->groupEditToolbar()->frame().size.height, 8);
  EXPECT_DOUBLE_EQ(screen->groupEditButtons().at(0)->alpha(), 0);
  EXPECT_THAT(events(), ElementsAre(kKMMVDiskItemSelected, kKMMVDiskItemUnselected));
  EXPECT_TRUE(screen->rowSelections.empty());
}

// While the first load runs the short list rests above its raised inset; a
// tap there must still reach the row.
TEST_F(ListBaseTest, ATapOutsideTheCircleIsAnOrdinaryRowSelectionInEitherMode) {
  auto screen = show();
  m_host->advance(0.5);
  ASSERT_EQ(screen->loadingState(), KMLoadingStateLoading);
  KMGroupEditCell& cell = cellAt(*screen, path(0, 2));
  const auto inWindow = [&](CGFloat x) {
    const CGRect row = cell.convertRectToView(cell.bounds(), nullptr);
    return CGPoint{row.origin.x + x, CGRectGetMidY(row)};
  };
  const CGFloat circleX = cell.selectionCircleFrame().origin.x;

  m_host->tapPoint(inWindow(40));
  EXPECT_THAT(screen->rowSelections, ElementsAre(path(0, 2)));
  m_host->advance(1);
  m_host->tapPoint(inWindow(circleX - 1));
  EXPECT_THAT(screen->rowSelections, ElementsAre(path(0, 2), path(0, 2)));
  EXPECT_TRUE(screen->indexPathsForSelectedRows().empty());
  // Just inside the circle's edge the row is picked, not selected.
  m_host->tapPoint(inWindow(circleX + 1));
  EXPECT_EQ(screen->rowSelections.size(), 2u);
  EXPECT_THAT(screen->indexPathsForSelectedRows(), ElementsAre(path(0, 2)));
  m_host->advance(1);  // picking stopped the load: the list moves back to rest first
  m_host->tapPoint(inWindow(cell.bounds().size.width - 1));
  EXPECT_TRUE(screen->indexPathsForSelectedRows().empty());
  EXPECT_EQ(screen->rowSelections.size(), 2u);

  // Without circles the whole row, its right end too, selects.
  screen->resignGroupEditModeAnimated(KMAnimated::No);
  m_host->advance(1);
  m_host->tapPoint(inWindow(cell.bounds().size.width - 1));
  EXPECT_EQ(screen->rowSelections.size(), 3u);
  EXPECT_TRUE(screen->indexPathsForSelectedRows().empty());
  EXPECT_THAT(events(), ElementsAre(kKMMVDiskItemSelected, kKMMVDiskItemUnselected));
}

TEST_F(ListBaseTest, TheCircleSitsAtTheRightAndTheButtonCoversToTheEdge) {
  auto screen = show();
  m_host->advance(0.5);
  KMGroupEditCell& cell = cellAt(*screen, path(0, 0));
  const CGSize circle = cell.selectionImageView().frame().size;
  EXPECT_DOUBLE_EQ(cell.selectionImageView().frame().origin.x, 320 - circle.width - 9 - 9);
  EXPECT_DOUBLE_EQ(cell.selectionImageView().frame().origin.y, std::round((55 - circle.height) / 2) + 1);
  EXPECT_DOUBLE_EQ(CGRectGetMaxX(cell.selectionButton().frame()), 320);
  EXPECT_DOUBLE_EQ(cell.selectionButton().frame().origin.x, cell.selectionImageView().frame().origin.x);
  EXPECT_DOUBLE_EQ(cell.contentView().frame().size.width, 320 - (9 + 9 + circle.width));
}

TEST_F(ListBaseTest, TheSelectionFollowsRowAndSectionChangesInOrder) {
  auto screen = show();
  m_host->advance(0.5);
  screen->multiselectCellAtIndexPath(nullptr, path(0, 3));
  screen->multiselectCellAtIndexPath(nullptr, path(1, 0));
  screen->multiselectCellAtIndexPath(nullptr, path(0, 1));
  screen->multiselectCellAtIndexPath(nullptr, path(0, 0));
  screen->updateMultiselectionInsertingRowAtIndexPath(path(0, 1));
  EXPECT_THAT(screen->indexPathsForSelectedRows(),
              ElementsAre(path(0, 4), path(1, 0), path(0, 2), path(0, 0)));
  screen->updateMultiselectionRemovingRowAtIndexPath(path(0, 2));
  EXPECT_THAT(screen->indexPathsForSelectedRows(), ElementsAre(path(0, 3), path(1, 0), path(0, 0)));
  screen->updateMultiselectionRemovingRowAtIndexPath(path(0, 0));
  EXPECT_THAT(screen->indexPathsForSelectedRows(), ElementsAre(path(0, 2), path(1, 0)));
  // Rows and sections elsewhere leave the selection alone.
  screen->updateMultiselectionInsertingRowAtIndexPath(path(0, 3));
  screen->updateMultiselectionRemovingRowAtIndexPath(path(1, 1));
  screen->updateMultiselectionInsertingSectionAtIndex(2);
  EXPECT_THAT(screen->indexPathsForSelectedRows(), ElementsAre(path(0, 2), path(1, 0)));
  screen->updateMultiselectionInsertingSectionAtIndex(0);
  EXPECT_THAT(screen->indexPathsForSelectedRows(), ElementsAre(path(1, 2), path(2, 0)));
  EXPECT_TRUE(screen->isShowingGroupEditToolbar());
  screen->updateMultiselectionRemovingSectionAtIndex(1);
  EXPECT_THAT(screen->indexPathsForSelectedRows(), ElementsAre(path(1, 0)));
  EXPECT_TRUE(screen->isShowingGroupEditToolbar());
  screen->updateMultiselectionRemovingRowAtIndexPath(path(1, 0));
  EXPECT_TRUE(screen->indexPathsForSelectedRows().empty());
  EXPECT_FALSE(screen->isShowingGroupEditToolbar());
}

TEST_F(ListBaseTest, RemovingTheSectionOfTheWholeSelectionHidesTheToolbar) {
  auto screen = show();
  m_host->advance(0.5);
  screen->multiselectCellAtIndexPath(nullptr, path(1, 0));
  screen->updateMultiselectionInsertingRowAtIndexPath(path(0, 0));
  EXPECT_THAT(screen->indexPathsForSelectedRows(), ElementsAre(path(1, 0)));
  screen->updateMultiselectionRemovingSectionAtIndex(1);
  EXPECT_TRUE(screen->indexPathsForSelectedRows().empty());
  EXPECT_FALSE(screen->isShowingGroupEditToolbar());
  m_host->advance(0.3);
  EXPECT_DOUBLE_EQ(screen->groupEditToolbar()->frame().size.height, 8);
}

TEST_F(ListBaseTest, ClearingTheSelectionUnmarksTheVisibleCells) {
  auto screen = show();
  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapView(cellAt(*screen, path(0, 0)).selectionButton()));
  ASSERT_TRUE(m_host->tapView(cellAt(*screen, path(0, 2)).selectionButton()));
  screen->clearMultiselectionAnimated(KMAnimated::Yes);
  EXPECT_TRUE(screen->indexPathsForSelectedRows().empty());
  EXPECT_FALSE(cellAt(*screen, path(0, 0)).multiSelected());
  EXPECT_FALSE(cellAt(*screen, path(0, 2)).multiSelected());
  EXPECT_FALSE(screen->isShowingGroupEditToolbar());
}

// ---- Group-edit mode --------------------------------------------------------------------

TEST_F(ListBaseTest, LeavingGroupEditModeHalfwayAndEnteringAgainKeepsTheCircles) {
  auto screen = show();
  m_host->advance(0.5);
  KMGroupEditCell& cell = cellAt(*screen, path(0, 0));
  const CGFloat narrowed = cell.contentView().frame().size.width;
  screen->resignGroupEditModeAnimated(KMAnimated::Yes);
  EXPECT_FALSE(cell.isInGroupEditMode());
  m_host->advance(0.15);
  // Halfway: still fading, still in the cell.
  EXPECT_GT(cell.selectionImageView().presentationAlpha(), 0.05);
  EXPECT_LT(cell.selectionImageView().presentationAlpha(), 0.95);
  EXPECT_EQ(cell.selectionImageView().superview(), &cell);
  screen->activateGroupEditModeAnimated(KMAnimated::Yes);
  m_host->advance(0.5);
  EXPECT_TRUE(cell.isInGroupEditMode());
  EXPECT_EQ(cell.selectionImageView().superview(), &cell);
  EXPECT_EQ(cell.selectionButton().superview(), &cell);
  EXPECT_DOUBLE_EQ(cell.selectionImageView().alpha(), 1);
  EXPECT_DOUBLE_EQ(cell.contentView().frame().size.width, narrowed);
  ASSERT_TRUE(m_host->tapView(cell.selectionButton()));
  EXPECT_THAT(screen->indexPathsForSelectedRows(), ElementsAre(path(0, 0)));
  // Nothing of the interrupted animations holds the layout back.
  narrowScreen(*screen, 20);
  EXPECT_DOUBLE_EQ(cell.contentView().frame().size.width, narrowed - 20);
  EXPECT_DOUBLE_EQ(CGRectGetMaxX(cell.selectionButton().frame()), 300);
}

TEST_F(ListBaseTest, EnteringHalfwayThenLeavingRemovesTheCirclesOnceFaded) {
  auto screen = show();
  m_host->advance(0.5);
  screen->resignGroupEditModeAnimated(KMAnimated::No);
  KMGroupEditCell& cell = cellAt(*screen, path(0, 1));
  EXPECT_EQ(cell.selectionImageView().superview(), nullptr);
  EXPECT_DOUBLE_EQ(cell.contentView().frame().size.width, 320);
  screen->activateGroupEditModeAnimated(KMAnimated::Yes);
  m_host->advance(0.15);
  EXPECT_GT(cell.contentView().presentationFrame().size.width, cell.contentView().frame().size.width);
  EXPECT_LT(cell.contentView().presentationFrame().size.width, 320);
  screen->resignGroupEditModeAnimated(KMAnimated::Yes);
  m_host->advance(0.15);
  EXPECT_EQ(cell.selectionImageView().superview(), &cell);
  m_host->advance(0.3);
  EXPECT_EQ(cell.selectionImageView().superview(), nullptr);
  EXPECT_EQ(cell.selectionButton().superview(), nullptr);
  EXPECT_DOUBLE_EQ(cell.contentView().frame().size.width, 320);
  EXPECT_FALSE(m_host->tapView(cell.selectionButton()));
  narrowScreen(*screen, 20);
  EXPECT_DOUBLE_EQ(cell.contentView().frame().size.width, 300);
}

// ---- Search bar ----------------------------------------------------------------------

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

TEST_F(SearchBarTest, TheBarIsStyledOnLoadAndEditingShowsItsCancelButtonOnGreyBackgrounds) {
  EXPECT_EQ(bar->barStyle(), UIBarStyle::Black);
  EXPECT_EQ(bar->delegate().get(), static_cast<UISearchBarDelegate*>(screen.get()));
  ASSERT_TRUE(bar->backgroundImage());
  EXPECT_EQ(bar->backgroundImage()->capInsets(), (UIEdgeInsets{1, 1, 1, 1}));
  for (unsigned state : {UIControlStateNormal, UIControlStateDisabled}) {
    ASSERT_TRUE(bar->searchFieldBackgroundImageForState(state)) << state;
    EXPECT_EQ(bar->searchFieldBackgroundImageForState(state)->capInsets(), (UIEdgeInsets{2, 15, 2, 15}));
  }
  for (unsigned state : {UIControlStateNormal, UIControlStateHighlighted})
    EXPECT_TRUE(bar->imageForSearchBarIconState(UISearchBarIcon::Search, state)) << state;
  EXPECT_EQ(bar->searchField().textColor(), UIColor::whiteColor());
  EXPECT_FALSE(bar->showsCancelButton());

  ASSERT_TRUE(m_host->tapView(bar->searchField()));
  EXPECT_TRUE(screen->isSearching());
  EXPECT_TRUE(bar->showsCancelButton());
  for (unsigned state : {UIControlStateNormal, UIControlStateHighlighted}) {
    auto image = bar->cancelButton().backgroundImageForState(state);
    ASSERT_TRUE(image) << state;
    EXPECT_EQ(image->capInsets(), (UIEdgeInsets{4, 4, 21, 12}));
  }
  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapView(bar->cancelButton()));
  EXPECT_FALSE(screen->isSearching());
  EXPECT_TRUE(screen->searchBarEnabled());
}

TEST_F(SearchBarTest, PickingAResultLocksTheBarAndTheDoneButtonInTheCancelButtonsPlaceUnlocksIt) {
  search("o");
  ASSERT_THAT(screen->searchResults, ElementsAre("Documents", "report.pdf", "photo.jpg"));
  const CGRect cancelFrame = bar->cancelButton().frame();
  ASSERT_TRUE(m_host->tapView(resultCell(1).selectionButton()));
  EXPECT_THAT(screen->indexPathsForSelectedRows(), ElementsAre(path(0, 1)));
  EXPECT_FALSE(screen->searchBarEnabled());
  EXPECT_FALSE(bar->searchField().isEnabled());
  UIButton* done = screen->searchDoneButton();
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(done->tag(), 777);
  EXPECT_EQ(done->superview(), bar);
  EXPECT_EQ(done->frame(), cancelFrame);
  m_host->advance(0.15);
  EXPECT_GT(bar->searchField().presentationAlpha(), 0.3);
  EXPECT_LT(bar->searchField().presentationAlpha(), 1);
  m_host->advance(0.2);
  EXPECT_DOUBLE_EQ(bar->searchField().alpha(), 0.3);
  EXPECT_DOUBLE_EQ(done->alpha(), 1);
  saveArtifact("list_search_locked.png");

  // Locked: typing changes neither the search nor the picked rows, and the
  // bar's own button is out of reach.
  m_host->typeText("x");
  EXPECT_EQ(bar->text(), "o");
  EXPECT_EQ(screen->searchResults.size(), 3u);
  EXPECT_THAT(screen->indexPathsForSelectedRows(), ElementsAre(path(0, 1)));
  EXPECT_FALSE(m_host->tapView(bar->cancelButton()));

  ASSERT_TRUE(m_host->tapView(*done));
  EXPECT_TRUE(screen->indexPathsForSelectedRows().empty());
  EXPECT_FALSE(resultCell(1).multiSelected());
  EXPECT_TRUE(screen->searchBarEnabled());
  EXPECT_TRUE(bar->searchField().isEnabled());
  EXPECT_TRUE(bar->searchField().isFirstResponder());
  EXPECT_TRUE(screen->isSearching());
  m_host->advance(0.5);
  EXPECT_DOUBLE_EQ(bar->searchField().alpha(), 1);
  EXPECT_EQ(done->superview(), nullptr);
  m_host->typeText("t");
  EXPECT_THAT(screen->searchResults, ElementsAre("photo.jpg"));
}

TEST_F(SearchBarTest, PickingARowOutsideASearchLocksTheFieldWithoutTheDoneButton) {
  ASSERT_TRUE(m_host->tapView(cellAt(*screen, path(0, 0)).selectionButton()));
  m_host->advance(0.5);
  EXPECT_FALSE(bar->searchField().isEnabled());
  EXPECT_DOUBLE_EQ(bar->searchField().alpha(), 0.3);
  EXPECT_EQ(screen->searchDoneButton()->superview(), nullptr);
  m_host->tapView(bar->searchField());
  EXPECT_FALSE(screen->isSearching());
  EXPECT_FALSE(bar->searchField().isFirstResponder());

  ASSERT_TRUE(m_host->tapView(cellAt(*screen, path(0, 0)).selectionButton()));
  m_host->advance(0.5);
  EXPECT_TRUE(bar->searchField().isEnabled());
  EXPECT_DOUBLE_EQ(bar->searchField().alpha(), 1);
  ASSERT_TRUE(m_host->tapView(bar->searchField()));
  EXPECT_TRUE(screen->isSearching());
}

TEST_F(SearchBarTest, AnEmptyResultShowsTheEmptyFooterWhateverTheNoItemsText) {
  screen->setTextNoItems(std::string("Папка пуста"));
  search("zzz");
  UITableView& results = screen->search->searchResultsTableView();
  ASSERT_EQ(screen->currentTableView(), &results);
  EXPECT_TRUE(screen->isEmpty());
  EXPECT_FALSE(screen->groupEditingEnabled());
  EXPECT_EQ(results.tableFooterView().get(), screen->emptyFooter());
  EXPECT_EQ(m_host->findViewWithText("Папка пуста"), nullptr);
  for (int i = 0; i < 3; ++i) m_host->pressBackspace();
  m_host->typeText("pdf");
  EXPECT_THAT(screen->searchResults, ElementsAre("report.pdf"));
  EXPECT_TRUE(screen->groupEditingEnabled());
  EXPECT_EQ(results.tableFooterView().get(), screen->emptyFooter());

  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapView(bar->cancelButton()));
  screen->sections = {{}};
  screen->refetchAndReloadData();
  m_host->advance(0.5);
  EXPECT_EQ(screen->tableView()->tableFooterView().get(), screen->noItemsFooter());
  EXPECT_NE(m_host->findViewWithText("Папка пуста"), nullptr);
}

TEST_F(SearchBarTest, ALoadThatOutlastsTheSearchKeepsItsFooterInTheList) {
  screen->setLoadingStateAnimated(KMLoadingStateLoading, KMAnimated::No);
  search("o");
  // A refresh reported while searching shows in the results.
  screen->setLoadingStateAnimated(KMLoadingStateLoading, KMAnimated::No);
  EXPECT_EQ(screen->search->searchResultsTableView().tableFooterView().get(), screen->loadingFooter());
  ASSERT_TRUE(m_host->tapView(bar->cancelButton()));
  m_host->advance(0.5);
  screen->refetchAndReloadData();
  m_host->advance(0.5);
  EXPECT_EQ(screen->loadingFooter()->superview(), screen->tableView().get());
  EXPECT_NE(m_host->findViewWithText(screen->textLoading()), nullptr);
  EXPECT_EQ(screen->loadingFooter()->frame().origin.y,
            screen->tableView()->contentSize().height - KMTableViewController::kFooterHeight);
}

// ---- Group header ---------------------------------------------------------------------

TEST_F(ListBaseTest, TheGroupHeaderTurnsItsArrowAndRedrawsOnlyForANewTitle) {
  KMTableViewGroupHeader header(CGRectMake(0, 0, 320, 24));
  EXPECT_TRUE(header.exposed());
  header.setTitleText("Загрузки");
  const CGFloat withArrow = header.titleX();
  header.setArrowHidden(true);
  EXPECT_LT(header.titleX(), withArrow);
  header.setExposedAnimated(false, KMAnimated::Yes);
  EXPECT_NE(header.arrowView().layer().animationForKey("rotateAnimation"), nullptr);
  EXPECT_EQ(header.arrowView().layer().animationForKey("rotateAnimation")->keyPath, "transform.rotation");
  EXPECT_NEAR(std::atan2(header.arrowView().transform().b, header.arrowView().transform().a), -M_PI / 2, 1e-9);
  header.setExposedAnimated(true, KMAnimated::No);
  EXPECT_NEAR(std::atan2(header.arrowView().transform().b, header.arrowView().transform().a), 0, 1e-9);
}

}  // namespace
}  // namespace kdisk::test
