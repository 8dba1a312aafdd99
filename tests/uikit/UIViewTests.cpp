#include <gmock/gmock.h>

#include <cmath>

#include "UIKitTestSupport.h"
#include "uikit/CALayer.h"
#include "uikit/UIButton.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {
namespace {

class UIViewTest : public UIKitTest {
 protected:
  std::shared_ptr<UIView> addView(CGRect frame, UIView* parent = nullptr) {
    auto view = std::make_shared<UIView>(frame);
    (parent ? parent : &m_host->window())->addSubview(view);
    return view;
  }
};

TEST_F(UIViewTest, HitTestingFindsTheFrontMostDeepestView) {
  auto back = addView(CGRectMake(0, 0, 200, 200));
  auto child = addView(CGRectMake(10, 10, 50, 50), back.get());
  auto front = addView(CGRectMake(40, 40, 50, 50));
  EXPECT_EQ(m_host->window().hitTest({20, 20}), child.get());
  EXPECT_EQ(m_host->window().hitTest({45, 45}), front.get());
  EXPECT_EQ(m_host->window().hitTest({150, 150}), back.get());
}

TEST_F(UIViewTest, HiddenTransparentAndDisabledViewsAreSkippedWithTheirSubviews) {
  auto back = addView(CGRectMake(0, 0, 200, 200));
  auto cover = addView(CGRectMake(0, 0, 200, 200));
  auto inner = addView(CGRectMake(0, 0, 100, 100), cover.get());
  cover->setHidden(true);
  EXPECT_EQ(m_host->window().hitTest({50, 50}), back.get());
  cover->setHidden(false);
  cover->setAlpha(0);
  EXPECT_EQ(m_host->window().hitTest({50, 50}), back.get());
  cover->setAlpha(1);
  cover->setUserInteractionEnabled(false);
  EXPECT_EQ(m_host->window().hitTest({50, 50}), back.get());
  cover->setUserInteractionEnabled(true);
  EXPECT_EQ(m_host->window().hitTest({50, 50}), inner.get());
}

TEST_F(UIViewTest, HitTestingFollowsARotatedAndScaledTransform) {
  // A 100×20 bar centred at (100, 100), turned a quarter: it now stands
  // upright, 20 wide and 100 tall.
  auto bar = addView(CGRectMake(50, 90, 100, 20));
  bar->setTransform(CGAffineTransformMakeRotation(M_PI / 2));
  EXPECT_EQ(m_host->window().hitTest({100, 60}), bar.get());
  EXPECT_NE(m_host->window().hitTest({60, 100}), bar.get());
  auto local = bar->convertPointFromView({100, 60}, nullptr);
  // Turned clockwise, the bar's left end points up: 40 above the centre is
  // 40 from the middle towards the left end.
  EXPECT_NEAR(local.x, 10, 1e-9);
  EXPECT_NEAR(local.y, 10, 1e-9);

  bar->setTransform(CGAffineTransformMakeScale(2, 2));
  EXPECT_EQ(m_host->window().hitTest({5, 100}), bar.get());  // 200 wide now
  EXPECT_NEAR(bar->frame().size.width, 200, 1e-9);
}

TEST_F(UIViewTest, SubviewsOfAScrolledParentAreHitThroughItsBoundsOrigin) {
  auto parent = addView(CGRectMake(0, 100, 100, 100));
  auto child = addView(CGRectMake(0, 300, 100, 50), parent.get());
  parent->setBounds(CGRectMake(0, 280, 100, 100));
  EXPECT_EQ(m_host->window().hitTest({50, 130}), child.get());
  EXPECT_EQ(child->convertPointToView({0, 0}, nullptr), (CGPoint{0, 120}));
}

TEST_F(UIViewTest, FlexibleWidthAndMarginsShareTheChange) {
  auto parent = addView(CGRectMake(0, 0, 300, 100));
  auto stretch = addView(CGRectMake(10, 0, 280, 20), parent.get());
  stretch->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  auto pinnedRight = addView(CGRectMake(250, 30, 40, 20), parent.get());
  pinnedRight->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
  auto bottom = addView(CGRectMake(0, 80, 300, 20), parent.get());
  bottom->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin);
  parent->setFrame(CGRectMake(0, 0, 200, 150));
  EXPECT_EQ(stretch->frame(), CGRectMake(10, 0, 180, 20));
  EXPECT_EQ(pinnedRight->frame(), CGRectMake(150, 30, 40, 20));
  EXPECT_EQ(bottom->frame(), CGRectMake(0, 130, 300, 20));
}

TEST_F(UIViewTest, RemovingAViewResignsTheFirstResponderInsideIt) {
  class Focusable : public UIView {
   public:
    bool canBecomeFirstResponder() const override { return true; }
  };
  auto parent = addView(CGRectMake(0, 0, 100, 100));
  auto field = std::make_shared<Focusable>();
  parent->addSubview(field);
  ASSERT_TRUE(field->becomeFirstResponder());
  parent->removeFromSuperview();
  EXPECT_FALSE(field->isFirstResponder());
  EXPECT_EQ(UIResponder::currentFirstResponder(), nullptr);
}

TEST_F(UIViewTest, AnAnimatedFrameMovesTheModelAtOnceAndTheDrawingOverTheDuration) {
  auto view = addView(CGRectMake(0, 0, 100, 100));
  bool finished = false;
  double finishedAt = -1;
  const double start = RunLoop::main().now();
  UIView::animateWithDurationDelayOptionsAnimationsCompletion(
      0.5, 0.25, UIViewAnimationOptionCurveLinear,
      [&] { view->setFrame(CGRectMake(100, 0, 100, 100)); },
      [&](bool done) {
        finished = done;
        finishedAt = RunLoop::main().now() - start;
      });
  EXPECT_EQ(view->frame().origin.x, 100);
  EXPECT_EQ(view->presentationFrame().origin.x, 0);
  m_host->advance(0.25 + 0.25);  // through the delay, then half way
  EXPECT_NEAR(view->presentationFrame().origin.x, 50, 2);
  EXPECT_LT(finishedAt, 0);
  m_host->advance(0.2);
  EXPECT_LT(finishedAt, 0);
  m_host->advance(0.05);
  EXPECT_TRUE(finished);
  EXPECT_NEAR(finishedAt, 0.75, 1e-9);
  EXPECT_EQ(view->presentationFrame().origin.x, 100);
}

TEST_F(UIViewTest, ANewerAnimationOfTheSamePropertyEndsTheOlderOneUnfinished) {
  auto view = addView(CGRectMake(0, 0, 100, 100));
  std::vector<std::string> events;
  UIView::animateWithDurationAnimationsCompletion(
      1, [&] { view->setAlpha(0); }, [&](bool done) { events.push_back(done ? "first done" : "first cut"); });
  m_host->advance(0.5);
  UIView::animateWithDurationAnimationsCompletion(
      0.3, [&] { view->setAlpha(1); }, [&](bool done) { events.push_back(done ? "second done" : "second cut"); });
  m_host->advance(0.01);
  EXPECT_THAT(events, ::testing::ElementsAre("first cut"));
  m_host->advance(0.3);
  EXPECT_THAT(events, ::testing::ElementsAre("first cut", "second done"));
  EXPECT_EQ(view->presentationAlpha(), 1);
}

TEST_F(UIViewTest, AChangeOutsideABlockStopsTheAnimationAtTheNewValue) {
  auto view = addView(CGRectMake(0, 0, 100, 100));
  UIView::animateWithDurationAnimations(1, [&] { view->setCenter({300, 50}); });
  m_host->advance(0.4);
  view->setCenter({10, 10});
  EXPECT_EQ(view->presentationFrame().origin, (CGPoint{-40, -40}));
  m_host->advance(1);
  EXPECT_EQ(view->center(), (CGPoint{10, 10}));
}

TEST_F(UIViewTest, ABlockWithoutChangesCompletesOnTheNextTurn) {
  bool finished = false;
  UIView::animateWithDurationAnimationsCompletion(0.3, [] {}, [&](bool done) { finished = done; });
  EXPECT_FALSE(finished);
  m_host->settle();
  EXPECT_TRUE(finished);
}

TEST_F(UIViewTest, ALayerRotationByKeyTurnsTheDrawingAndEndsAtItsDuration) {
  auto arrow = addView(CGRectMake(0, 0, 10, 10));
  auto rotation = CABasicAnimation::animationWithKeyPath("transform.rotation");
  rotation.fromValue = 0;
  rotation.toValue = -M_PI / 2;
  rotation.duration = 0.2;
  rotation.removedOnCompletion = false;
  rotation.fillMode = CAFillMode::Forwards;
  arrow->layer().addAnimationForKey(rotation, "rotateAnimation");
  EXPECT_NE(arrow->layer().animationForKey("rotateAnimation"), nullptr);
  m_host->advance(0.1);
  EXPECT_NEAR(arrow->layer().presentationRotation(), -M_PI / 4, 0.1);
  m_host->advance(0.15);
  EXPECT_NEAR(arrow->layer().presentationRotation(), -M_PI / 2, 1e-9);
  arrow->layer().removeAnimationForKey("rotateAnimation");
  EXPECT_EQ(arrow->layer().presentationRotation(), 0);
}

TEST_F(UIViewTest, ATapOnAButtonSendsTouchUpInsideOnlyWhenLiftedInside) {
  auto button = UIButton::buttonWithType(UIButtonType::RoundedRect);
  button->setFrame(CGRectMake(20, 100, 100, 40));
  button->setTitleForState("Press", UIControlStateNormal);
  m_host->window().addSubview(button);
  int presses = 0;
  button->addActionForControlEvents([&](UIControl&) { presses++; }, UIControlEventTouchUpInside);
  EXPECT_TRUE(m_host->tapText("Press"));
  EXPECT_EQ(presses, 1);
  m_host->drag({{50, 120}, {50, 400}}, 0.3);  // lifted far outside
  EXPECT_EQ(presses, 1);
  button->setEnabled(false);
  m_host->tapPoint({50, 120});
  EXPECT_EQ(presses, 1);
}

TEST_F(UIViewTest, ButtonsShowTheirStateOwnTitleOrFallBackToNormal) {
  auto button = UIButton::buttonWithType(UIButtonType::Custom);
  button->setTitleForState("Normal", UIControlStateNormal);
  button->setTitleForState("Pressed", UIControlStateHighlighted);
  EXPECT_EQ(button->currentTitle(), "Normal");
  button->setHighlighted(true);
  EXPECT_EQ(button->currentTitle(), "Pressed");
  button->setHighlighted(false);
  button->setEnabled(false);
  EXPECT_EQ(button->currentTitle(), "Normal");
}

}  // namespace
}  // namespace kdisk::test
