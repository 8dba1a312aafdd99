#pragma once
// A stack of screens with a navigation bar over them and an optional
// toolbar under them. Push slides the new screen in from the right, pop
// slides it out; the screens hear their appearance calls in the platform's
// order (the new one loads, the old one will disappear, the new one will
// appear, then did disappear, did appear). The stack changes at once; the
// transition only moves views. Main thread.
#include <memory>
#include <vector>

#include "uikit/UINavigationBar.h"
#include "uikit/UIToolbar.h"
#include "uikit/UIViewController.h"

namespace kdisk {

class UINavigationController;
class KMLayoutView;

class UINavigationControllerDelegate {
 public:
  virtual ~UINavigationControllerDelegate() = default;
  virtual void navigationControllerWillShowViewControllerAnimated(UINavigationController& navigation,
                                                                  UIViewController& controller,
                                                                  KMAnimated animated) {
    (void)navigation, (void)controller, (void)animated;
  }
  virtual void navigationControllerDidShowViewControllerAnimated(UINavigationController& navigation,
                                                                 UIViewController& controller,
                                                                 KMAnimated animated) {
    (void)navigation, (void)controller, (void)animated;
  }
};

inline constexpr double kKMNavigationTransitionDuration = 0.35;

class UINavigationController : public UIViewController {
 public:
  explicit UINavigationController(std::shared_ptr<UIViewController> rootViewController = nullptr);
  ~UINavigationController() override;

  const std::vector<std::shared_ptr<UIViewController>>& viewControllers() const {
    return childViewControllers();
  }
  void setViewControllersAnimated(std::vector<std::shared_ptr<UIViewController>> controllers,
                                  KMAnimated animated);
  UIViewController* topViewController() const;
  // The top screen, or the screen it presents modally.
  UIViewController* visibleViewController() const;

  void pushViewControllerAnimated(std::shared_ptr<UIViewController> controller, KMAnimated animated);
  std::shared_ptr<UIViewController> popViewControllerAnimated(KMAnimated animated);
  std::vector<std::shared_ptr<UIViewController>> popToRootViewControllerAnimated(KMAnimated animated);
  std::vector<std::shared_ptr<UIViewController>> popToViewControllerAnimated(UIViewController* controller,
                                                                             KMAnimated animated);
  bool isTransitioning() const { return m_transitions > 0; }

  UINavigationBar& navigationBar();
  bool isNavigationBarHidden() const { return m_navigationBarHidden; }
  void setNavigationBarHiddenAnimated(bool hidden, KMAnimated animated);
  UIToolbar& toolbar();
  bool isToolbarHidden() const { return m_toolbarHidden; }
  void setToolbarHiddenAnimated(bool hidden, KMAnimated animated);

  std::shared_ptr<UINavigationControllerDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<UINavigationControllerDelegate> delegate) { m_delegate = std::move(delegate); }

  // The area a screen's view fills under the bars.
  CGRect contentFrameForViewController(const UIViewController& controller) const;
  void toolbarItemsDidChange(KMAnimated animated);
  bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const override;

 protected:
  void loadView() override;
  std::vector<UIViewController*> childrenReceivingAppearance() const override;

 private:
  enum class Direction { Push, Pop };
  void transition(std::shared_ptr<UIViewController> from, std::shared_ptr<UIViewController> to,
                  Direction direction, KMAnimated animated);
  void updateBars();
  void layoutContainer();
  bool toolbarShownFor(const UIViewController& controller) const;

  std::shared_ptr<KMLayoutView> m_container;
  std::shared_ptr<UINavigationBar> m_navigationBar;
  std::shared_ptr<UIToolbar> m_toolbar;
  bool m_navigationBarHidden = false;
  bool m_toolbarHidden = true;
  int m_transitions = 0;
  std::weak_ptr<UINavigationControllerDelegate> m_delegate;
};

}  // namespace kdisk
