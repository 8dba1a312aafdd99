#include <gmock/gmock.h>

#include <algorithm>

#include "UIKitTestSupport.h"
#include "uikit/UIScrollView.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

class Recorder : public UIScrollViewDelegate {
 public:
  std::vector<std::string> events;
  std::vector<CGFloat> offsets;
  void scrollViewDidScroll(UIScrollView& view) override { offsets.push_back(view.contentOffset().y); }
  void scrollViewWillBeginDragging(UIScrollView&) override { events.push_back("begin drag"); }
  void scrollViewDidEndDraggingWillDecelerate(UIScrollView&, bool decelerate) override {
    events.push_back(decelerate ? "end drag, decelerate" : "end drag");
  }
  void scrollViewDidEndDecelerating(UIScrollView&) override { events.push_back("end decelerating"); }
};

class UIScrollViewTest : public UIKitTest {
 protected:
  void SetUp() override {
    m_scroll = std::make_shared<UIScrollView>(CGRectMake(0, 20, 320, 400));
    m_scroll->setContentSize({320, 1000});
    m_recorder = std::make_shared<Recorder>();
    m_scroll->setDelegate(m_recorder);
    m_host->window().addSubview(m_scroll);
    m_host->settle();
  }
  // A slow drag (no fling) straight down by `distance` points.
  void pullDown(CGFloat distance, KMDragRelease release = KMDragRelease::Lift) {
    m_host->drag({{160, 100}, {160, 100 + distance}}, 2.0, 40, release);
  }
  std::shared_ptr<UIScrollView> m_scroll;
  std::shared_ptr<Recorder> m_recorder;
};

TEST_F(UIScrollViewTest, InsideTheContentTheOffsetFollowsTheFingerExactly) {
  m_scroll->setContentOffset({0, 300});
  m_host->drag({{160, 300}, {160, 200}}, 2.0, 40);
  EXPECT_EQ(m_scroll->contentOffset().y, 400);
  EXPECT_THAT(m_recorder->events, ElementsAre("begin drag", "end drag"));
}

TEST_F(UIScrollViewTest, PastTheTopEdgeTheContentMovesAtHalfSpeedAndSpringsBack) {
  pullDown(100, KMDragRelease::Hold);
  EXPECT_EQ(m_scroll->contentOffset().y, -50);
  m_host->touchUp({160, 200});
  EXPECT_THAT(m_recorder->events, ElementsAre("begin drag", "end drag, decelerate"));
  m_host->advance(1.5);
  EXPECT_EQ(m_scroll->contentOffset().y, 0);
  EXPECT_FALSE(m_scroll->isDecelerating());
  EXPECT_THAT(m_recorder->events, ElementsAre("begin drag", "end drag, decelerate", "end decelerating"));
}

TEST_F(UIScrollViewTest, TheTopInsetMovesTheRestingEdgeAndTheRubberBandStartsThere) {
  m_scroll->setContentInset(UIEdgeInsetsMake(60, 0, 0, 0));
  m_scroll->setContentOffset({0, -60});
  pullDown(40, KMDragRelease::Hold);
  EXPECT_EQ(m_scroll->contentOffset().y, -80);  // 40 past the resting edge at half speed
  m_host->touchUp({160, 140});
  m_host->advance(1.5);
  EXPECT_EQ(m_scroll->contentOffset().y, -60);
  EXPECT_EQ(m_scroll->minimumContentOffset().y, -60);
}

TEST_F(UIScrollViewTest, PastTheBottomTheOffsetSettlesAtContentHeightPlusBottomInsetLessTheView) {
  m_scroll->setContentInset(UIEdgeInsetsMake(0, 0, 50, 0));
  m_scroll->setContentOffset({0, 650});
  m_host->drag({{160, 300}, {160, 100}}, 2.0, 40);
  m_host->advance(1.5);
  EXPECT_EQ(m_scroll->contentOffset().y, 1000 + 50 - 400);
}

TEST_F(UIScrollViewTest, WithoutBouncesTheOffsetStopsAtTheEdge) {
  m_scroll->setBounces(false);
  pullDown(100);
  EXPECT_EQ(m_scroll->contentOffset().y, 0);
}

TEST_F(UIScrollViewTest, AFlickDeceleratesAndStopsInsideTheContent) {
  m_scroll->setContentOffset({0, 100});
  m_host->drag({{160, 300}, {160, 200}}, 0.1, 5);
  EXPECT_THAT(m_recorder->events, ElementsAre("begin drag", "end drag, decelerate"));
  const CGFloat released = m_scroll->contentOffset().y;
  m_host->advance(5);
  EXPECT_GT(m_scroll->contentOffset().y, released + 100);
  EXPECT_LE(m_scroll->contentOffset().y, 600);
  EXPECT_THAT(m_recorder->events, ElementsAre("begin drag", "end drag, decelerate", "end decelerating"));
}

TEST_F(UIScrollViewTest, AnAnimatedOffsetEndsAtItsTargetAfterItsDuration) {
  m_scroll->setContentOffsetAnimated({0, 300}, KMAnimated::Yes);
  m_host->advance(UIScrollView::kAnimatedScrollDuration / 2);
  EXPECT_GT(m_scroll->contentOffset().y, 0);
  EXPECT_LT(m_scroll->contentOffset().y, 300);
  m_host->advance(UIScrollView::kAnimatedScrollDuration / 2);
  EXPECT_EQ(m_scroll->contentOffset().y, 300);
}

TEST_F(UIScrollViewTest, AStatusBarTapScrollsTheOnlyScrollViewToItsTop) {
  m_scroll->setContentInset(UIEdgeInsetsMake(44, 0, 0, 0));
  m_scroll->setContentOffset({0, 500});
  m_host->tapStatusBar();
  m_host->advance(0.5);
  EXPECT_EQ(m_scroll->contentOffset().y, -44);
}

TEST_F(UIScrollViewTest, InsetsSetInAnAnimationBlockMoveOverItsDuration) {
  m_scroll->setContentInset(UIEdgeInsetsMake(10, 0, 0, 0));
  bool done = false;
  UIView::animateWithDurationAnimationsCompletion(
      0.3, [&] { m_scroll->setContentInset(UIEdgeInsetsMake(54, 0, 0, 0)); }, [&](bool) { done = true; });
  m_host->advance(0.15);
  EXPECT_GT(m_scroll->contentInset().top, 10);
  EXPECT_LT(m_scroll->contentInset().top, 54);
  m_host->advance(0.15);
  EXPECT_TRUE(done);
  EXPECT_EQ(m_scroll->contentInset().top, 54);
}

TEST_F(UIScrollViewTest, PagingSettlesOnTheNearestPageOrTheFlickedOne) {
  auto pager = std::make_shared<UIScrollView>(CGRectMake(0, 20, 320, 400));
  pager->setContentSize({320 * 4, 400});
  pager->setPagingEnabled(true);
  m_host->window().addSubview(pager);
  m_host->drag({{300, 200}, {200, 200}}, 2.0, 20);  // slow, less than half a page
  m_host->advance(1);
  EXPECT_EQ(pager->contentOffset().x, 0);
  m_host->drag({{300, 200}, {250, 200}}, 0.1, 5);  // a short flick
  m_host->advance(1);
  EXPECT_EQ(pager->contentOffset().x, 320);
  m_host->drag({{100, 200}, {300, 200}}, 2.0, 20);  // slowly back more than half
  m_host->advance(1);
  EXPECT_EQ(pager->contentOffset().x, 0);
}

// ---- Wheel and touchpad, as the GTK host sends them through the window

TEST_F(UIScrollViewTest, WheelNotchesScrollTheInnermostListUnderThePointerWithinItsEdges) {
  // A short list inside the tall one, on its right half.
  auto inner = std::make_shared<UIScrollView>(CGRectMake(160, 0, 160, 200));
  inner->setContentSize({160, 500});
  m_scroll->addSubview(inner);
  m_host->settle();
  const CGFloat innerNotch = inner->wheelNotchLength(200);

  m_host->window().scrollWheel({240, 100}, {0, 2});
  EXPECT_NEAR(inner->contentOffset().y, 2 * innerNotch, 0.01);
  EXPECT_EQ(m_scroll->contentOffset().y, 0);
  m_host->window().scrollWheel({80, 100}, {0, 1});
  EXPECT_NEAR(m_scroll->contentOffset().y, m_scroll->wheelNotchLength(400), 0.01);

  // A burst of notches is one drag, ending when the wheel rests; the wheel
  // never carries the content past an edge.
  m_host->window().scrollWheel({80, 300}, {0, 100});
  EXPECT_EQ(m_scroll->contentOffset().y, 600);
  m_host->window().scrollWheel({80, 300}, {0, -1000});
  EXPECT_EQ(m_scroll->contentOffset().y, 0);
  EXPECT_THAT(m_recorder->events, ElementsAre("begin drag"));
  m_host->advance(UIScrollView::kWheelQuietInterval + 0.05);
  EXPECT_THAT(m_recorder->events, ElementsAre("begin drag", "end drag"));
  EXPECT_EQ(*std::min_element(m_recorder->offsets.begin(), m_recorder->offsets.end()), 0);

  // A list scrolled to its end hands nothing on: the pointer's list is the one.
  inner->setContentOffset({0, 300});
  m_host->window().scrollWheel({240, 100}, {0, 1});
  EXPECT_EQ(inner->contentOffset().y, 300);
  EXPECT_EQ(m_scroll->contentOffset().y, 0);
}

TEST_F(UIScrollViewTest, AnUpDownWheelTurnsOnePageOfASidewaysPagerPerWholeNotch) {
  auto pager = std::make_shared<UIScrollView>(CGRectMake(0, 20, 320, 400));
  pager->setContentSize({320 * 3, 400});
  pager->setPagingEnabled(true);
  m_host->window().addSubview(pager);
  // Fractions (a touchpad under X11) add up to a notch first.
  m_host->window().scrollWheel({160, 200}, {0, 0.4});
  m_host->window().scrollWheel({160, 200}, {0, 0.4});
  m_host->advance(1);
  EXPECT_EQ(pager->contentOffset().x, 0);
  m_host->window().scrollWheel({160, 200}, {0, 0.4});
  m_host->window().scrollWheel({160, 200}, {0, 1});  // while the page turns
  m_host->advance(1);
  EXPECT_EQ(pager->contentOffset().x, 320);
  m_host->window().scrollWheel({160, 200}, {0, 1});
  m_host->advance(1);
  m_host->window().scrollWheel({160, 200}, {0, 1});
  m_host->advance(1);
  EXPECT_EQ(pager->contentOffset().x, 640);
  EXPECT_EQ(m_scroll->contentOffset().y, 0);
}

TEST_F(UIScrollViewTest, ATouchpadGestureRubberBandsSpringsBackAndFlingsLikeAFinger) {
  auto& window = m_host->window();
  window.wheelGestureBegan({160, 200});
  window.wheelGestureMoved({0, -60});
  window.wheelGestureMoved({0, -40});
  EXPECT_EQ(m_scroll->contentOffset().y, -50);
  window.wheelGestureEnded({0, 0});
  EXPECT_THAT(m_recorder->events, ElementsAre("begin drag", "end drag, decelerate"));
  m_host->advance(1.5);
  EXPECT_EQ(m_scroll->contentOffset().y, 0);

  // Wheel notches during a gesture do not fight the fingers.
  window.wheelGestureBegan({160, 200});
  window.wheelGestureMoved({0, 100});
  window.scrollWheel({160, 200}, {0, 5});
  EXPECT_EQ(m_scroll->contentOffset().y, 100);
  window.wheelGestureEnded({0, 3000});
  m_host->advance(5);
  EXPECT_GT(m_scroll->contentOffset().y, 400);
  EXPECT_LE(m_scroll->contentOffset().y, 600);
  EXPECT_THAT(m_recorder->events, ElementsAre("begin drag", "end drag, decelerate", "end decelerating",
                                              "begin drag", "end drag, decelerate", "end decelerating"));

  // A list gone mid-gesture is let go of.
  window.wheelGestureBegan({160, 200});
  window.wheelGestureMoved({0, 10});
  m_scroll->removeFromSuperview();
  m_scroll.reset();
  window.wheelGestureMoved({0, 10});
  window.wheelGestureEnded({0, 500});
  m_host->advance(1);
  EXPECT_EQ(m_recorder->events.size(), 7u);
}

}  // namespace
}  // namespace kdisk::test
