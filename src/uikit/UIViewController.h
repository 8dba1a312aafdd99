#pragma once
// A screen: owns its root view (made on first use by loadView, released on a
// memory warning while off screen), hears its appearance changes in order
// (will appear → did appear, will disappear → did disappear), owns child
// controllers (containers) and presents others modally. Main thread; held
// by std::shared_ptr, parents own children, children point back without
// owning.
//
// Appearance states and the calls between them:
//   Disappeared --begin(Appearing)--> Appearing --end--> Appeared
//   Appeared --begin(Disappearing)--> Disappearing --end--> Disappeared
//   a begin that reverses a transition in flight is allowed (a cancelled pop).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/SequenceChecker.h"
#include "uikit/UIKitDefines.h"
#include "uikit/UIResponder.h"

namespace kdisk {

class UIBarButtonItem;
class UINavigationController;
class UINavigationItem;
class UISearchDisplayController;
class UIView;

enum class KMAppearance { Appearing, Disappearing };
enum class KMAppearanceState { Disappeared, Appearing, Appeared, Disappearing };

inline constexpr double kKMModalTransitionDuration = 0.3;

class UIViewController : public UIResponder {
 public:
  UIViewController();
  ~UIViewController() override;
  UIViewController(const UIViewController&) = delete;
  UIViewController& operator=(const UIViewController&) = delete;

  std::shared_ptr<UIViewController> sharedController() {
    return std::static_pointer_cast<UIViewController>(shared_from_this());
  }

  // The view, loaded (loadView, then viewDidLoad) on first use.
  std::shared_ptr<UIView> view();
  bool isViewLoaded() const { return m_view != nullptr; }
  void setView(std::shared_ptr<UIView> view);

  // Life cycle hooks; default no-ops except loadView (a plain view).
  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewWillUnload() {}
  virtual void viewDidUnload() {}
  virtual void viewWillAppear(KMAnimated animated) { (void)animated; }
  virtual void viewDidAppear(KMAnimated animated) { (void)animated; }
  virtual void viewWillDisappear(KMAnimated animated) { (void)animated; }
  virtual void viewDidDisappear(KMAnimated animated) { (void)animated; }
  // Default: unloads the view when it is not in a window.
  virtual void didReceiveMemoryWarning();

  KMAppearanceState appearanceState() const { return m_appearanceState; }
  bool isVisible() const { return m_appearanceState == KMAppearanceState::Appeared; }
  // Containers call these to pass appearance to the children they show.
  void beginAppearanceTransition(KMAppearance appearance, KMAnimated animated);
  void endAppearanceTransition();

  const std::string& title() const { return m_title; }
  void setTitle(std::string title);
  UINavigationItem& navigationItem();
  bool hidesBottomBarWhenPushed() const { return m_hidesBottomBarWhenPushed; }
  void setHidesBottomBarWhenPushed(bool hides) { m_hidesBottomBarWhenPushed = hides; }
  const std::vector<std::shared_ptr<UIBarButtonItem>>& toolbarItems() const { return m_toolbarItems; }
  void setToolbarItems(std::vector<std::shared_ptr<UIBarButtonItem>> items, KMAnimated animated = KMAnimated::No);

  // Portrait only unless a screen says more.
  virtual bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const {
    return orientation == UIInterfaceOrientation::Portrait;
  }
  UIInterfaceOrientation interfaceOrientation() const { return m_interfaceOrientation; }

  // Containment.
  UIViewController* parentViewController() const { return m_parent; }
  const std::vector<std::shared_ptr<UIViewController>>& childViewControllers() const {
    return m_children;
  }
  void addChildViewController(std::shared_ptr<UIViewController> child);
  void removeFromParentViewController();
  // The nearest navigation controller among this controller and its parents.
  UINavigationController* navigationController() const;
  UISearchDisplayController* searchDisplayController() const { return m_searchDisplayController; }
  void setSearchDisplayController(UISearchDisplayController* controller) {
    m_searchDisplayController = controller;
  }

  // Modal presentation over the whole window. The presenter is the root of
  // this controller's parent chain; presenting while it already presents is
  // refused with a warning. Dismissal called on the presented screen is passed
  // to its presenter. The completion runs after the transition.
  void presentViewControllerAnimatedCompletion(std::shared_ptr<UIViewController> controller,
                                               KMAnimated animated,
                                               std::function<void()> completion = {});
  void dismissViewControllerAnimatedCompletion(KMAnimated animated,
                                               std::function<void()> completion = {});
  void presentModalViewControllerAnimated(std::shared_ptr<UIViewController> controller,
                                          KMAnimated animated) {
    presentViewControllerAnimatedCompletion(std::move(controller), animated);
  }
  void dismissModalViewControllerAnimated(KMAnimated animated) {
    dismissViewControllerAnimatedCompletion(animated);
  }
  UIViewController* presentedViewController() const { return m_presented.get(); }
  std::shared_ptr<UIViewController> presentedViewControllerShared() const { return m_presented; }
  UIViewController* modalViewController() const { return m_presented.get(); }
  UIViewController* presentingViewController() const;
  bool isBeingPresented() const { return m_beingPresented; }

  UIResponder* nextResponder() const override;

 protected:
  // Containers pass appearance on to the children they show; the default
  // passes it to every child.
  virtual std::vector<UIViewController*> childrenReceivingAppearance() const;
  // Called when the child list changes hands (containers update bars).
  void setParentForChild(UIViewController* child, UIViewController* parent) { child->m_parent = parent; }

 private:
  UIViewController* rootAncestor();
  void unloadView();

  std::shared_ptr<UIView> m_view;
  bool m_loadingView = false;
  KMAppearanceState m_appearanceState = KMAppearanceState::Disappeared;
  KMAnimated m_transitionAnimated = KMAnimated::No;
  std::string m_title;
  std::unique_ptr<UINavigationItem> m_navigationItem;
  bool m_hidesBottomBarWhenPushed = false;
  std::vector<std::shared_ptr<UIBarButtonItem>> m_toolbarItems;
  UIInterfaceOrientation m_interfaceOrientation = UIInterfaceOrientation::Portrait;
  UIViewController* m_parent = nullptr;
  std::vector<std::shared_ptr<UIViewController>> m_children;
  std::shared_ptr<UIViewController> m_presented;
  std::weak_ptr<UIResponder> m_presenting;
  bool m_beingPresented = false;
  UISearchDisplayController* m_searchDisplayController = nullptr;
  SequenceChecker m_sequence;
};

}  // namespace kdisk
