// Picking rows through their circles, the toolbar, group-edit mode and the
// search bar's lock.
#include "ListBaseTestScreens.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

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

}  // namespace
}  // namespace kdisk::test
