#include "uikit/UINavigationController.h"

#include <algorithm>

#include "uikit/KMLayoutView.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIScreen.h"

namespace kdisk {

UINavigationController::UINavigationController(std::shared_ptr<UIViewController> rootViewController) {
  m_navigationBar = std::make_shared<UINavigationBar>(CGRectMake(0, 0, 320, UINavigationBar::kHeight));
  m_toolbar = std::make_shared<UIToolbar>(CGRectMake(0, 0, 320, UIToolbar::kHeight));
  if (rootViewController) addChildViewController(std::move(rootViewController));
}

UINavigationController::~UINavigationController() {
  m_navigationBar->setItems({});
}

void UINavigationController::loadView() {
  m_container = std::make_shared<KMLayoutView>(UIScreen::mainScreen().applicationFrame());
  m_container->setBackgroundColor(UIColor::whiteColor());
  m_container->setClipsToBounds(true);
  m_container->addSubview(m_navigationBar);
  m_container->addSubview(m_toolbar);
  m_container->setLayoutHandler([this](KMLayoutView&) { layoutContainer(); });
  std::weak_ptr<UIResponder> weak = weak_from_this();
  m_navigationBar->setBackAction([weak] {
    auto strong = weak.lock();
    if (!strong) return;
    auto* navigation = static_cast<UINavigationController*>(strong.get());
    // A back tap during a transition would pop a screen not yet shown.
    if (!navigation->isTransitioning()) navigation->popViewControllerAnimated(KMAnimated::Yes);
  });
  setView(m_container);
  if (auto* top = topViewController()) m_container->insertSubviewAtIndex(top->view(), 0);
  updateBars();
}

UINavigationBar& UINavigationController::navigationBar() { return *m_navigationBar; }
UIToolbar& UINavigationController::toolbar() { return *m_toolbar; }

UIViewController* UINavigationController::topViewController() const {
  const auto& stack = viewControllers();
  return stack.empty() ? nullptr : stack.back().get();
}

UIViewController* UINavigationController::visibleViewController() const {
  if (auto* presented = presentedViewController()) return presented;
  return topViewController();
}

std::vector<UIViewController*> UINavigationController::childrenReceivingAppearance() const {
  if (auto* top = topViewController()) return {top};
  return {};
}

bool UINavigationController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const {
  auto* top = topViewController();
  return top ? top->shouldAutorotateToInterfaceOrientation(orientation)
             : UIViewController::shouldAutorotateToInterfaceOrientation(orientation);
}

bool UINavigationController::toolbarShownFor(const UIViewController& controller) const {
  return !m_toolbarHidden && !controller.hidesBottomBarWhenPushed();
}

CGRect UINavigationController::contentFrameForViewController(const UIViewController& controller) const {
  const CGRect b = m_container ? m_container->bounds() : UIScreen::mainScreen().applicationFrame();
  const CGFloat top = m_navigationBarHidden ? 0 : m_navigationBar->sizeThatFits({b.size.width, 0}).height;
  const CGFloat bottom = toolbarShownFor(controller) ? UIToolbar::kHeight : 0;
  return CGRectMake(0, top, b.size.width, std::max<CGFloat>(0, b.size.height - top - bottom));
}

void UINavigationController::layoutContainer() {
  const CGRect b = m_container->bounds();
  const CGFloat barHeight = m_navigationBar->sizeThatFits({b.size.width, 0}).height;
  m_navigationBar->setFrame(CGRectMake(0, m_navigationBarHidden ? -barHeight : 0, b.size.width, barHeight));
  m_navigationBar->setHidden(m_navigationBarHidden);
  auto* top = topViewController();
  const bool toolbarShown = top && toolbarShownFor(*top);
  m_toolbar->setFrame(CGRectMake(0, toolbarShown ? b.size.height - UIToolbar::kHeight : b.size.height,
                                 b.size.width, UIToolbar::kHeight));
  m_toolbar->setHidden(!toolbarShown);
  m_container->bringSubviewToFront(m_navigationBar.get());
  m_container->bringSubviewToFront(m_toolbar.get());
  if (top && !isTransitioning() && top->isViewLoaded() && top->view()->superview() == m_container.get())
    top->view()->setFrame(contentFrameForViewController(*top));
}

void UINavigationController::updateBars() {
  std::vector<UINavigationItem*> items;
  for (auto& controller : viewControllers()) items.push_back(&controller->navigationItem());
  m_navigationBar->setItems(std::move(items));
  auto* top = topViewController();
  m_toolbar->setItemsAnimated(top ? top->toolbarItems() : std::vector<std::shared_ptr<UIBarButtonItem>>{});
  if (m_container) m_container->setNeedsLayout();
}

void UINavigationController::toolbarItemsDidChange(KMAnimated) { updateBars(); }

void UINavigationController::setNavigationBarHiddenAnimated(bool hidden, KMAnimated animated) {
  if (m_navigationBarHidden == hidden) return;
  m_navigationBarHidden = hidden;
  if (!m_container) return;
  UIView::animateWithDurationAnimations(isAnimated(animated) ? 0.2 : 0, [this] {
    m_container->setNeedsLayout();
    m_container->layoutIfNeeded();
  });
}

void UINavigationController::setToolbarHiddenAnimated(bool hidden, KMAnimated animated) {
  if (m_toolbarHidden == hidden) return;
  m_toolbarHidden = hidden;
  if (!m_container) return;
  UIView::animateWithDurationAnimations(isAnimated(animated) ? 0.2 : 0, [this] {
    m_container->setNeedsLayout();
    m_container->layoutIfNeeded();
  });
}

// ---- Stack changes -----------------------------------------------------------

void UINavigationController::pushViewControllerAnimated(std::shared_ptr<UIViewController> controller,
                                                        KMAnimated animated) {
  if (!controller) return;
  const auto& stack = viewControllers();
  if (std::find(stack.begin(), stack.end(), controller) != stack.end()) return;
  std::shared_ptr<UIViewController> from = stack.empty() ? nullptr : stack.back();
  addChildViewController(controller);
  updateBars();
  transition(from, controller, Direction::Push, animated);
}

std::shared_ptr<UIViewController> UINavigationController::popViewControllerAnimated(KMAnimated animated) {
  const auto& stack = viewControllers();
  if (stack.size() < 2) return nullptr;
  auto popped = stack.back();
  auto to = stack[stack.size() - 2];
  popped->removeFromParentViewController();
  updateBars();
  transition(popped, to, Direction::Pop, animated);
  return popped;
}

std::vector<std::shared_ptr<UIViewController>> UINavigationController::popToViewControllerAnimated(
    UIViewController* controller, KMAnimated animated) {
  std::vector<std::shared_ptr<UIViewController>> popped;
  const auto& stack = viewControllers();
  auto found = std::find_if(stack.begin(), stack.end(),
                            [&](const auto& candidate) { return candidate.get() == controller; });
  if (found == stack.end() || found + 1 == stack.end()) return popped;
  auto to = *found;
  popped.assign(found + 1, stack.end());
  auto from = popped.back();
  for (auto& each : popped) each->removeFromParentViewController();
  updateBars();
  transition(from, to, Direction::Pop, animated);
  return popped;
}

std::vector<std::shared_ptr<UIViewController>> UINavigationController::popToRootViewControllerAnimated(
    KMAnimated animated) {
  const auto& stack = viewControllers();
  if (stack.empty()) return {};
  return popToViewControllerAnimated(stack.front().get(), animated);
}

void UINavigationController::setViewControllersAnimated(std::vector<std::shared_ptr<UIViewController>> controllers,
                                                        KMAnimated animated) {
  std::shared_ptr<UIViewController> from = viewControllers().empty() ? nullptr : viewControllers().back();
  for (auto& old : std::vector(viewControllers())) old->removeFromParentViewController();
  for (auto& controller : controllers) addChildViewController(controller);
  updateBars();
  auto to = controllers.empty() ? nullptr : controllers.back();
  if (from == to) return;
  const bool wasInStack = from && std::find(controllers.begin(), controllers.end(), from) != controllers.end();
  transition(from, to, wasInStack ? Direction::Push : Direction::Pop, animated);
}

void UINavigationController::transition(std::shared_ptr<UIViewController> from,
                                        std::shared_ptr<UIViewController> to, Direction direction,
                                        KMAnimated animated) {
  if (!to) return;
  if (!m_container) return;  // The stack shows when the view loads.
  const bool visible = appearanceState() != KMAppearanceState::Disappeared;
  if (!visible) animated = KMAnimated::No;
  auto toView = to->view();
  if (auto delegate = m_delegate.lock())
    delegate->navigationControllerWillShowViewControllerAnimated(*this, *to, animated);
  if (visible) {
    if (from) from->beginAppearanceTransition(KMAppearance::Disappearing, animated);
    to->beginAppearanceTransition(KMAppearance::Appearing, animated);
  }
  const CGRect content = contentFrameForViewController(*to);
  const CGFloat width = m_container->bounds().size.width;
  std::shared_ptr<UIView> fromView = from && from->isViewLoaded() ? from->view() : nullptr;
  if (direction == Direction::Push || !fromView)
    m_container->insertSubviewBelowSubview(toView, m_navigationBar.get());
  else
    m_container->insertSubviewBelowSubview(toView, fromView.get());

  std::weak_ptr<UIResponder> weak = weak_from_this();
  auto finish = [weak, from, to, fromView, visible, animated](bool) {
    auto strong = weak.lock();
    auto* navigation = static_cast<UINavigationController*>(strong.get());
    if (fromView && (!navigation || navigation->topViewController() != from.get()))
      fromView->removeFromSuperview();
    if (visible) {
      if (from) from->endAppearanceTransition();
      to->endAppearanceTransition();
    }
    if (!navigation) return;
    if (isAnimated(animated)) navigation->m_transitions--;
    navigation->m_container->setNeedsLayout();
    if (auto delegate = navigation->m_delegate.lock())
      delegate->navigationControllerDidShowViewControllerAnimated(*navigation, *to, animated);
  };
  if (!isAnimated(animated)) {
    toView->setFrame(content);
    finish(true);
    return;
  }
  m_transitions++;
  const CGFloat startX = direction == Direction::Push ? width : -width / 3;
  const CGFloat leaveX = direction == Direction::Push ? -width / 3 : width;
  toView->setFrame(CGRectOffset(content, startX, 0));
  UIView::animateWithDurationDelayOptionsAnimationsCompletion(
      kKMNavigationTransitionDuration, 0, UIViewAnimationOptionCurveEaseInOut,
      [&] {
        toView->setFrame(content);
        if (fromView) fromView->setFrame(CGRectOffset(fromView->frame(), leaveX, 0));
      },
      finish);
}

}  // namespace kdisk
