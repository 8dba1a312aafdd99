// Pull to refresh on a list screen and on the base's own five-second refresh.
#include "ListBaseTestScreens.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

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

}  // namespace
}  // namespace kdisk::test
