#pragma once
// The application's one window: the root of the view tree, the place touches
// enter (hit testing, gesture claims, the touch sequence), the holder of the
// root view controller and of overlays (modal screens, alerts), and the unit
// the hosts draw. Changes anywhere in the tree ask it for an update, which
// runs layout on a later turn of the run loop and then tells the host to
// redraw. Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/URL.h"
#include "uikit/UIView.h"

namespace kdisk {

class KMFileDropTarget;
class UIScrollView;
class UIViewController;

class UIWindow : public UIView {
 public:
  explicit UIWindow(CGRect frame);
  ~UIWindow() override;

  bool isWindow() const override { return true; }
  UIWindow* window() const override { return const_cast<UIWindow*>(this); }

  static UIWindow* keyWindow();
  void makeKeyAndVisible();
  bool isKeyWindow() const { return keyWindow() == this; }

  UIViewController* rootViewController() const { return m_rootViewController.get(); }
  void setRootViewController(std::shared_ptr<UIViewController> controller);

  // Input from a host, in window points. One finger at a time.
  void touchDown(CGPoint location);
  void touchMove(CGPoint location);
  void touchUp(CGPoint location);
  void touchCancel();
  bool isTouching() const { return m_touch != nullptr; }
  // Keyboard input, handed to the first responder.
  void insertText(std::string_view text) override;
  void deleteBackward() override;
  void returnKeyPressed() override;
  // A tap on the status bar: the one scroll view showing that scrolls to top.
  void statusBarTapped();
  // Files dragged in from the desktop: the drop target nearest the view at
  // `location` takes them; false when there is none or it refused.
  KMFileDropTarget* fileDropTargetAtPoint(CGPoint location);
  bool dropFilesAtPoint(CGPoint location, const std::vector<URL>& urls);
  // Wheel and touchpad input at `location`, deltas in content points
  // (positive towards the end). The innermost scroll view under the pointer
  // that moves along the delta scrolls; failing that, the innermost one that
  // takes it across. A touchpad gesture keeps the view its first move chose.
  UIScrollView* scrollViewForWheelAtPoint(CGPoint location, CGPoint delta);
  void wheelGestureBegan(CGPoint location);
  void wheelGestureMoved(CGPoint delta);
  // `velocity` in points per second, measured by the host; zero stops.
  void wheelGestureEnded(CGPoint velocity);
  void scrollWheel(CGPoint location, CGPoint notches);
  void scrollWheelPrecise(CGPoint location, CGPoint delta);

  // Update scheduling; `handler` runs after each layout pass (hosts redraw).
  void setNeedsUpdate();
  void setUpdateHandler(std::function<void()> handler) { m_updateHandler = std::move(handler); }
  // Lays out and draws the whole window, status bar included, in points.
  void render(cairo_t* context);

 private:
  void offerToGestures(const UITouchSet& touches);
  std::shared_ptr<UIViewController> m_rootViewController;
  std::shared_ptr<UITouch> m_touch;
  std::vector<std::weak_ptr<UIResponder>> m_gestureViews;
  std::weak_ptr<UIResponder> m_claimedBy;
  std::optional<CGPoint> m_wheelGestureLocation;
  std::weak_ptr<UIResponder> m_wheelGestureView;
  bool m_touchCancelledInView = false;
  bool m_updatePending = false;
  std::function<void()> m_updateHandler;
  double m_lastTapTime = -1;
  CGPoint m_lastTapLocation;
  int m_lastTapCount = 0;
};

}  // namespace kdisk
