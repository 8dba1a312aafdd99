#pragma once
// One finger on the screen for the length of one touch sequence. The window
// keeps it current while the sequence runs; views receive it in their touch
// hooks. Main thread.
#include <memory>
#include <vector>

#include "graphics/CGGeometry.h"

namespace kdisk {

class UIView;
class UIWindow;

enum class UITouchPhase { Began, Moved, Stationary, Ended, Cancelled };

class UITouch {
 public:
  UITouchPhase phase() const { return m_phase; }
  double timestamp() const { return m_timestamp; }
  int tapCount() const { return m_tapCount; }
  // The view the sequence began in (the hit-test result); it keeps receiving
  // the sequence even when the finger leaves it.
  UIView* view() const { return m_view.get(); }
  UIWindow* window() const { return m_window; }
  // In `view`'s coordinates; null means the window's.
  CGPoint locationInView(const UIView* view) const;
  CGPoint previousLocationInView(const UIView* view) const;

  // Maintained by the window.
  void setPhase(UITouchPhase phase) { m_phase = phase; }
  void setTimestamp(double timestamp) { m_timestamp = timestamp; }
  void setTapCount(int count) { m_tapCount = count; }
  void setView(std::shared_ptr<UIView> view) { m_view = std::move(view); }
  void setWindow(UIWindow* window) { m_window = window; }
  void moveToWindowLocation(CGPoint location);
  CGPoint windowLocation() const { return m_location; }

 private:
  UITouchPhase m_phase = UITouchPhase::Began;
  double m_timestamp = 0;
  int m_tapCount = 1;
  std::shared_ptr<UIView> m_view;
  UIWindow* m_window = nullptr;
  CGPoint m_location;
  CGPoint m_previousLocation;
};

using UITouchSet = std::vector<std::shared_ptr<UITouch>>;

}  // namespace kdisk
