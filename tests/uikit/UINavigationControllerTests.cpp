#include <gmock/gmock.h>

#include "UIKitTestSupport.h"
#include "uikit/UIApplication.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> g_log;

class Screen : public UIViewController {
 public:
  explicit Screen(std::string name) : m_name(std::move(name)) { setTitle(m_name); }
  void viewDidLoad() override { g_log.push_back(m_name + " did load"); }
  void viewWillAppear(KMAnimated) override { g_log.push_back(m_name + " will appear"); }
  void viewDidAppear(KMAnimated) override { g_log.push_back(m_name + " did appear"); }
  void viewWillDisappear(KMAnimated) override { g_log.push_back(m_name + " will disappear"); }
  void viewDidDisappear(KMAnimated) override { g_log.push_back(m_name + " did disappear"); }
  void viewDidUnload() override { g_log.push_back(m_name + " did unload"); }

 private:
  std::string m_name;
};

class UINavigationControllerTest : public UIKitTest {
 protected:
  void SetUp() override {
    g_log.clear();
    m_root = std::make_shared<Screen>("A");
    m_navigation = std::make_shared<UINavigationController>(m_root);
    m_host->setRootViewController(m_navigation);
    g_log.clear();
  }
  std::shared_ptr<Screen> m_root;
  std::shared_ptr<UINavigationController> m_navigation;
};

TEST_F(UINavigationControllerTest, TheRootAppearsWithTheWindow) {
  auto root = std::make_shared<Screen>("R");
  m_host->setRootViewController(std::make_shared<UINavigationController>(root));
  EXPECT_THAT(g_log, ElementsAre("A will disappear", "A did disappear", "R did load", "R will appear",
                                 "R did appear"));
}

TEST_F(UINavigationControllerTest, AnAnimatedPushCallsEachStepInOrderAndFinishesAfterTheTransition) {
  auto b = std::make_shared<Screen>("B");
  m_navigation->pushViewControllerAnimated(b, KMAnimated::Yes);
  EXPECT_THAT(g_log, ElementsAre("B did load", "A will disappear", "B will appear"));
  EXPECT_EQ(m_navigation->topViewController(), b.get());
  EXPECT_TRUE(m_navigation->isTransitioning());
  m_host->advance(kKMNavigationTransitionDuration - 0.01);
  EXPECT_EQ(g_log.size(), 3u);
  m_host->advance(0.01);
  EXPECT_THAT(g_log, ElementsAre("B did load", "A will disappear", "B will appear", "A did disappear",
                                 "B did appear"));
  EXPECT_EQ(b->view()->frame(), m_navigation->contentFrameForViewController(*b));
  EXPECT_EQ(m_root->view()->superview(), nullptr);
  EXPECT_EQ(b->navigationController(), m_navigation.get());
}

TEST_F(UINavigationControllerTest, TheBackButtonPopsAndTheScreensHearItInOrder) {
  auto b = std::make_shared<Screen>("B");
  m_navigation->pushViewControllerAnimated(b, KMAnimated::No);
  g_log.clear();
  ASSERT_TRUE(m_host->tapText("A"));  // the back button carries the title below
  m_host->advance(1);
  EXPECT_THAT(g_log, ElementsAre("B will disappear", "A will appear", "B did disappear", "A did appear"));
  EXPECT_EQ(m_navigation->viewControllers().size(), 1u);
  EXPECT_EQ(b->navigationController(), nullptr);
  EXPECT_EQ(b->view()->superview(), nullptr);
}

TEST_F(UINavigationControllerTest, PopToRootTellsOnlyTheTopAndTheRoot) {
  m_navigation->pushViewControllerAnimated(std::make_shared<Screen>("B"), KMAnimated::No);
  m_navigation->pushViewControllerAnimated(std::make_shared<Screen>("C"), KMAnimated::No);
  g_log.clear();
  auto popped = m_navigation->popToRootViewControllerAnimated(KMAnimated::No);
  EXPECT_EQ(popped.size(), 2u);
  EXPECT_THAT(g_log, ElementsAre("C will disappear", "A will appear", "C did disappear", "A did appear"));
}

TEST_F(UINavigationControllerTest, AModalScreenCoversTheStackAndReturnsItOnDismissal) {
  auto modal = std::make_shared<Screen>("M");
  bool presented = false, dismissed = false;
  m_root->presentViewControllerAnimatedCompletion(modal, KMAnimated::Yes, [&] { presented = true; });
  // The navigation controller is the presenter; its top screen hears it.
  EXPECT_EQ(m_navigation->presentedViewController(), modal.get());
  EXPECT_EQ(modal->presentingViewController(), m_navigation.get());
  EXPECT_THAT(g_log, ElementsAre("M did load", "A will disappear", "M will appear"));
  m_host->advance(kKMModalTransitionDuration);
  EXPECT_TRUE(presented);
  EXPECT_THAT(g_log, ElementsAre("M did load", "A will disappear", "M will appear", "A did disappear",
                                 "M did appear"));
  EXPECT_EQ(m_navigation->view()->superview(), nullptr);
  g_log.clear();
  modal->dismissViewControllerAnimatedCompletion(KMAnimated::Yes, [&] { dismissed = true; });
  EXPECT_THAT(g_log, ElementsAre("M will disappear", "A will appear"));
  m_host->advance(kKMModalTransitionDuration);
  EXPECT_TRUE(dismissed);
  EXPECT_THAT(g_log, ElementsAre("M will disappear", "A will appear", "M did disappear", "A did appear"));
  EXPECT_EQ(m_navigation->view()->superview(), &m_host->window());
  EXPECT_EQ(m_navigation->presentedViewController(), nullptr);
}

TEST_F(UINavigationControllerTest, PresentingWhileAlreadyPresentingIsRefused) {
  m_navigation->presentViewControllerAnimatedCompletion(std::make_shared<Screen>("M"), KMAnimated::No);
  bool completed = false;
  m_navigation->presentViewControllerAnimatedCompletion(std::make_shared<Screen>("N"), KMAnimated::No,
                                                        [&] { completed = true; });
  EXPECT_FALSE(completed);
  EXPECT_EQ(g_log.back(), "M did appear");
}

TEST_F(UINavigationControllerTest, AScreenThatHidesTheBottomBarGetsTheToolbarSpace) {
  m_navigation->setToolbarHiddenAnimated(false, KMAnimated::No);
  m_host->settle();
  EXPECT_EQ(m_root->view()->frame().size.height, 460 - 44 - 44);
  auto web = std::make_shared<Screen>("W");
  web->setHidesBottomBarWhenPushed(true);
  m_navigation->pushViewControllerAnimated(web, KMAnimated::No);
  m_host->settle();
  EXPECT_EQ(web->view()->frame().size.height, 460 - 44);
  EXPECT_TRUE(m_navigation->toolbar().isHidden());
}

TEST_F(UINavigationControllerTest, TheBarShowsTheTopItemsTitleAndButtons) {
  int taps = 0;
  m_root->navigationItem().setRightBarButtonItemAnimated(UIBarButtonItem::itemWithBarButtonSystemItemAction(
      UIBarButtonSystemItem::Done, [&](UIBarButtonItem&) { taps++; }));
  m_root->navigationItem().setTitle("Files");
  m_host->advance(0.01);
  EXPECT_NE(m_host->findViewWithText("Files"), nullptr);
  ASSERT_TRUE(m_host->tapText("Done"));
  EXPECT_EQ(taps, 1);
}

TEST_F(UINavigationControllerTest, AMemoryWarningUnloadsOnlyScreensOffTheWindow) {
  m_navigation->pushViewControllerAnimated(std::make_shared<Screen>("B"), KMAnimated::No);
  g_log.clear();
  UIApplication::sharedApplication().receiveMemoryWarning();
  EXPECT_THAT(g_log, ElementsAre("A did unload"));
  EXPECT_FALSE(m_root->isViewLoaded());
  m_navigation->popViewControllerAnimated(KMAnimated::No);
  // Reloaded before anything else of the transition, as on a push.
  EXPECT_EQ(g_log[1], "A did load");
  EXPECT_EQ(g_log[2], "B will disappear");
}

}  // namespace
}  // namespace kdisk::test
