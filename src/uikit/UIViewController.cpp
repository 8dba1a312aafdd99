#include "uikit/UIViewController.h"

#include <algorithm>

#include "platform/Log.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIScreen.h"
#include "uikit/UIWindow.h"

namespace kdisk {

namespace {
std::shared_ptr<spdlog::logger> log() {
  static auto logger = kdisk::logger("UIViewController", LogLevel::Warning);
  return logger;
}
}  // namespace

UIViewController::UIViewController() = default;

UIViewController::~UIViewController() {
  for (auto& child : m_children) child->m_parent = nullptr;
  if (m_view) m_view->setViewControllerForResponderChain(nullptr);
}

std::shared_ptr<UIView> UIViewController::view() {
  KDISK_CHECK_SEQUENCE(m_sequence, SequenceChecker::typeName(typeid(*this)));
  if (!m_view && !m_loadingView) {
    m_loadingView = true;
    loadView();
    m_loadingView = false;
    if (!m_view) m_view = std::make_shared<UIView>(UIScreen::mainScreen().applicationFrame());
    m_view->setViewControllerForResponderChain(this);
    viewDidLoad();
  }
  return m_view;
}

void UIViewController::setView(std::shared_ptr<UIView> view) {
  KDISK_CHECK_SEQUENCE(m_sequence, SequenceChecker::typeName(typeid(*this)));
  if (m_view) m_view->setViewControllerForResponderChain(nullptr);
  m_view = std::move(view);
  if (m_view) m_view->setViewControllerForResponderChain(this);
}

void UIViewController::loadView() {
  auto view = std::make_shared<UIView>(UIScreen::mainScreen().applicationFrame());
  view->setBackgroundColor(UIColor::whiteColor());
  setView(std::move(view));
}

void UIViewController::didReceiveMemoryWarning() {
  if (m_view && !m_view->window() && m_appearanceState == KMAppearanceState::Disappeared)
    unloadView();
}

void UIViewController::unloadView() {
  viewWillUnload();
  m_view->setViewControllerForResponderChain(nullptr);
  m_view->removeFromSuperview();
  m_view.reset();
  viewDidUnload();
}

void UIViewController::beginAppearanceTransition(KMAppearance appearance, KMAnimated animated) {
  KDISK_CHECK_SEQUENCE(m_sequence, SequenceChecker::typeName(typeid(*this)));
  const bool appearing = appearance == KMAppearance::Appearing;
  if (appearing && (m_appearanceState == KMAppearanceState::Appeared ||
                    m_appearanceState == KMAppearanceState::Appearing))
    return;
  if (!appearing && (m_appearanceState == KMAppearanceState::Disappeared ||
                     m_appearanceState == KMAppearanceState::Disappearing))
    return;
  if (appearing) view();
  m_transitionAnimated = animated;
  m_appearanceState = appearing ? KMAppearanceState::Appearing : KMAppearanceState::Disappearing;
  if (appearing)
    viewWillAppear(animated);
  else
    viewWillDisappear(animated);
  for (auto* child : childrenReceivingAppearance()) child->beginAppearanceTransition(appearance, animated);
}

void UIViewController::endAppearanceTransition() {
  KDISK_CHECK_SEQUENCE(m_sequence, SequenceChecker::typeName(typeid(*this)));
  if (m_appearanceState == KMAppearanceState::Appearing) {
    m_appearanceState = KMAppearanceState::Appeared;
    viewDidAppear(m_transitionAnimated);
  } else if (m_appearanceState == KMAppearanceState::Disappearing) {
    m_appearanceState = KMAppearanceState::Disappeared;
    viewDidDisappear(m_transitionAnimated);
  } else {
    return;
  }
  for (auto* child : childrenReceivingAppearance()) child->endAppearanceTransition();
}

std::vector<UIViewController*> UIViewController::childrenReceivingAppearance() const {
  std::vector<UIViewController*> children;
  for (auto& child : m_children) children.push_back(child.get());
  return children;
}

void UIViewController::setTitle(std::string title) {
  m_title = std::move(title);
  navigationItem().setTitle(m_title);
}

UINavigationItem& UIViewController::navigationItem() {
  if (!m_navigationItem) {
    m_navigationItem = std::make_unique<UINavigationItem>(m_title);
  }
  return *m_navigationItem;
}

void UIViewController::setToolbarItems(std::vector<std::shared_ptr<UIBarButtonItem>> items,
                                       KMAnimated animated) {
  m_toolbarItems = std::move(items);
  if (auto* navigation = navigationController(); navigation && navigation->topViewController() == this)
    navigation->toolbarItemsDidChange(animated);
}

void UIViewController::addChildViewController(std::shared_ptr<UIViewController> child) {
  KDISK_CHECK_SEQUENCE(m_sequence, SequenceChecker::typeName(typeid(*this)));
  if (!child || child->m_parent == this) return;
  if (child->m_parent) child->removeFromParentViewController();
  child->m_parent = this;
  m_children.push_back(std::move(child));
}

void UIViewController::removeFromParentViewController() {
  KDISK_CHECK_SEQUENCE(m_sequence, SequenceChecker::typeName(typeid(*this)));
  if (!m_parent) return;
  auto keepAlive = sharedController();
  auto& siblings = m_parent->m_children;
  siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                [&](const auto& child) { return child.get() == this; }),
                 siblings.end());
  m_parent = nullptr;
}

UINavigationController* UIViewController::navigationController() const {
  for (UIViewController* current = m_parent; current; current = current->m_parent)
    if (auto* navigation = dynamic_cast<UINavigationController*>(current)) return navigation;
  return nullptr;
}

UIViewController* UIViewController::rootAncestor() {
  UIViewController* root = this;
  while (root->m_parent) root = root->m_parent;
  return root;
}

UIViewController* UIViewController::presentingViewController() const {
  for (const UIViewController* current = this; current; current = current->m_parent)
    if (auto presenting = current->m_presenting.lock())
      return static_cast<UIViewController*>(presenting.get());
  return nullptr;
}

UIResponder* UIViewController::nextResponder() const {
  if (m_view && m_view->superview()) return m_view->superview();
  return nullptr;
}

// ---- Modal presentation ------------------------------------------------------

void UIViewController::presentViewControllerAnimatedCompletion(
    std::shared_ptr<UIViewController> controller, KMAnimated animated,
    std::function<void()> completion) {
  KDISK_CHECK_SEQUENCE(m_sequence, SequenceChecker::typeName(typeid(*this)));
  if (!controller) return;
  UIViewController* presenter = rootAncestor();
  if (presenter->m_presented) {
    log()->warn("presenting {} while {} already presents a screen; ignored",
                static_cast<const void*>(controller.get()), static_cast<const void*>(presenter));
    return;
  }
  auto presenterView = presenter->isViewLoaded() ? presenter->m_view : nullptr;
  UIWindow* window = presenterView ? presenterView->window() : nullptr;
  if (!window) window = UIWindow::keyWindow();

  presenter->m_presented = controller;
  controller->m_presenting = presenter->weak_from_this();
  controller->m_beingPresented = true;

  auto view = controller->view();
  const CGRect frame = UIScreen::mainScreen().applicationFrame();
  view->setFrame(frame);
  view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  const bool presenterVisible = presenter->m_appearanceState != KMAppearanceState::Disappeared;
  if (presenterVisible) presenter->beginAppearanceTransition(KMAppearance::Disappearing, animated);
  controller->beginAppearanceTransition(KMAppearance::Appearing, animated);
  if (window) window->addSubview(view);

  std::weak_ptr<UIResponder> weakPresenter = presenter->weak_from_this();
  std::weak_ptr<UIResponder> weakPresented = controller->weak_from_this();
  auto finish = [weakPresenter, weakPresented, presenterVisible, completion](bool) {
    auto presenterStrong = std::static_pointer_cast<UIViewController>(weakPresenter.lock());
    auto presentedStrong = std::static_pointer_cast<UIViewController>(weakPresented.lock());
    if (presenterStrong && presentedStrong && presenterStrong->m_presented == presentedStrong) {
      // The screen underneath leaves the window while covered.
      if (presenterStrong->isViewLoaded()) presenterStrong->m_view->removeFromSuperview();
      if (presenterVisible) presenterStrong->endAppearanceTransition();
    }
    if (presentedStrong) {
      presentedStrong->m_beingPresented = false;
      presentedStrong->endAppearanceTransition();
    }
    if (completion) completion();
  };
  if (isAnimated(animated) && window) {
    view->setFrame(CGRectOffset(frame, 0, UIScreen::mainScreen().bounds().size.height));
    UIView::animateWithDurationAnimationsCompletion(
        kKMModalTransitionDuration, [view, frame] { view->setFrame(frame); }, finish);
  } else {
    finish(true);
  }
}

void UIViewController::dismissViewControllerAnimatedCompletion(KMAnimated animated,
                                                               std::function<void()> completion) {
  KDISK_CHECK_SEQUENCE(m_sequence, SequenceChecker::typeName(typeid(*this)));
  UIViewController* presenter = rootAncestor();
  if (!presenter->m_presented) {
    // Called on the presented screen itself: its presenter does the work.
    if (auto* presenting = presentingViewController())
      presenting->dismissViewControllerAnimatedCompletion(animated, std::move(completion));
    else if (completion)
      completion();
    return;
  }
  auto presented = presenter->m_presented;
  // Screens presented on top of the one going away leave with it, at once.
  if (presented->rootAncestor()->m_presented)
    presented->rootAncestor()->dismissViewControllerAnimatedCompletion(KMAnimated::No);

  presenter->m_presented.reset();
  presented->m_presenting.reset();
  auto window = presented->isViewLoaded() ? presented->m_view->window() : nullptr;
  if (!window) window = UIWindow::keyWindow();

  presented->beginAppearanceTransition(KMAppearance::Disappearing, animated);
  const bool presenterInWindow = window != nullptr;
  const bool presenterReappears = presenterInWindow && (presenter == window->rootViewController() ||
                                                        presenter->presentingViewController());
  if (presenterReappears) {
    auto presenterView = presenter->view();
    if (!presenterView->superview()) {
      presenterView->setFrame(UIScreen::mainScreen().applicationFrame());
      auto* presentedView = presented->isViewLoaded() ? presented->m_view.get() : nullptr;
      if (presentedView && presentedView->superview() == window)
        window->insertSubviewBelowSubview(presenterView, presentedView);
      else
        window->addSubview(presenterView);
    }
    presenter->beginAppearanceTransition(KMAppearance::Appearing, animated);
  }

  std::weak_ptr<UIResponder> weakPresenter = presenter->weak_from_this();
  auto finish = [weakPresenter, presented, presenterReappears, completion](bool) {
    if (presented->isViewLoaded()) presented->m_view->removeFromSuperview();
    presented->endAppearanceTransition();
    if (auto strong = std::static_pointer_cast<UIViewController>(weakPresenter.lock());
        strong && presenterReappears)
      strong->endAppearanceTransition();
    if (completion) completion();
  };
  if (isAnimated(animated) && presented->isViewLoaded() && presented->m_view->window()) {
    auto view = presented->m_view;
    const CGRect target =
        CGRectOffset(view->frame(), 0, UIScreen::mainScreen().bounds().size.height);
    UIView::animateWithDurationAnimationsCompletion(
        kKMModalTransitionDuration, [view, target] { view->setFrame(target); }, finish);
  } else {
    finish(true);
  }
}

}  // namespace kdisk
