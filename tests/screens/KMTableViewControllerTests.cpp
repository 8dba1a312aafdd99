// Loading on first appearance and the footers for loading, no items, failure
// and searching.
#include "ListBaseTestScreens.h"
#include "uikit/UINavigationController.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

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

TEST_F(ListBaseTest, TheFooterIndicatorSitsLeftOfTheCentredText) {
  KMTableViewMessageFooter footer(CGRectMake(0, 0, 320, 40));
  footer.setText(std::string("Загрузка"));
  footer.layoutIfNeeded();
  const CGFloat text = footer.label().sizeThatFits(footer.label().bounds().size).width;
  const CGFloat indicator = footer.activityIndicator().bounds().size.width;
  EXPECT_DOUBLE_EQ(footer.activityIndicator().frame().origin.x, std::floor((320 - text) / 2 - indicator - 5));
  EXPECT_DOUBLE_EQ(footer.label().frame().origin.x, 10);
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

}  // namespace
}  // namespace kdisk::test
