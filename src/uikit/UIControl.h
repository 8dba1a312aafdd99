#pragma once
// A view that tracks a touch as a control (highlight while the finger is on
// it, with the platform's 70-point slop around it) and sends actions for
// control events. Main thread.
#include <functional>
#include <vector>

#include "uikit/UIView.h"

namespace kdisk {

enum UIControlEvents : unsigned {
  UIControlEventTouchDown = 1u << 0,
  UIControlEventTouchDownRepeat = 1u << 1,
  UIControlEventTouchDragInside = 1u << 2,
  UIControlEventTouchDragOutside = 1u << 3,
  UIControlEventTouchUpInside = 1u << 6,
  UIControlEventTouchUpOutside = 1u << 7,
  UIControlEventTouchCancel = 1u << 8,
  UIControlEventValueChanged = 1u << 12,
  UIControlEventEditingDidBegin = 1u << 16,
  UIControlEventEditingChanged = 1u << 17,
  UIControlEventEditingDidEnd = 1u << 18,
  UIControlEventEditingDidEndOnExit = 1u << 19,
};

enum class UIControlContentHorizontalAlignment { Center, Left, Right, Fill };
enum class UIControlContentVerticalAlignment { Center, Top, Bottom, Fill };

class UIControl : public UIView {
 public:
  using Action = std::function<void(UIControl& sender)>;
  explicit UIControl(CGRect frame = CGRectZero);

  // Actions run in the order they were added. Targets that may go away
  // capture themselves weakly.
  void addActionForControlEvents(Action action, unsigned events);
  void removeAllActions() { m_actions.clear(); }
  void sendActionsForControlEvents(unsigned events);
  bool hasActionsForControlEvents(unsigned events) const;

  bool isEnabled() const { return m_enabled; }
  virtual void setEnabled(bool enabled);
  bool isHighlighted() const { return m_highlighted; }
  virtual void setHighlighted(bool highlighted);
  bool isSelected() const { return m_selected; }
  virtual void setSelected(bool selected);
  bool isTracking() const { return m_tracking; }
  unsigned state() const;

  UIControlContentHorizontalAlignment contentHorizontalAlignment() const { return m_horizontalAlignment; }
  void setContentHorizontalAlignment(UIControlContentHorizontalAlignment alignment);
  UIControlContentVerticalAlignment contentVerticalAlignment() const { return m_verticalAlignment; }
  void setContentVerticalAlignment(UIControlContentVerticalAlignment alignment);

  UIView* hitTest(CGPoint point) override;
  void touchesBegan(const UITouchSet& touches) override;
  void touchesMoved(const UITouchSet& touches) override;
  void touchesEnded(const UITouchSet& touches) override;
  void touchesCancelled(const UITouchSet& touches) override;

  static constexpr CGFloat kTrackingSlop = 70;

 protected:
  bool isTouchInside(const UITouch& touch) const;

 private:
  struct Entry {
    Action action;
    unsigned events;
  };
  std::vector<Entry> m_actions;
  bool m_enabled = true;
  bool m_highlighted = false;
  bool m_selected = false;
  bool m_tracking = false;
  bool m_touchInside = false;
  UIControlContentHorizontalAlignment m_horizontalAlignment = UIControlContentHorizontalAlignment::Center;
  UIControlContentVerticalAlignment m_verticalAlignment = UIControlContentVerticalAlignment::Center;
};

}  // namespace kdisk
