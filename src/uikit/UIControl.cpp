#include "uikit/UIControl.h"

namespace kdisk {

UIControl::UIControl(CGRect frame) : UIView(frame) {}

void UIControl::addActionForControlEvents(Action action, unsigned events) {
  m_actions.push_back({std::move(action), events});
}

void UIControl::sendActionsForControlEvents(unsigned events) {
  // An action may remove the control or add actions; work on a copy and keep
  // the control alive.
  auto keepAlive = shared_from_this();
  auto actions = m_actions;
  for (auto& entry : actions)
    if ((entry.events & events) && entry.action) entry.action(*this);
}

bool UIControl::hasActionsForControlEvents(unsigned events) const {
  for (const auto& entry : m_actions)
    if (entry.events & events) return true;
  return false;
}

void UIControl::setEnabled(bool enabled) {
  if (m_enabled == enabled) return;
  m_enabled = enabled;
  if (!enabled) m_highlighted = false;
  setNeedsLayout();
  setNeedsDisplay();
}

void UIControl::setHighlighted(bool highlighted) {
  if (m_highlighted == highlighted) return;
  m_highlighted = highlighted;
  setNeedsLayout();
  setNeedsDisplay();
}

void UIControl::setSelected(bool selected) {
  if (m_selected == selected) return;
  m_selected = selected;
  setNeedsLayout();
  setNeedsDisplay();
}

unsigned UIControl::state() const {
  unsigned state = UIControlStateNormal;
  if (m_highlighted) state |= UIControlStateHighlighted;
  if (!m_enabled) state |= UIControlStateDisabled;
  if (m_selected) state |= UIControlStateSelected;
  return state;
}

void UIControl::setContentHorizontalAlignment(UIControlContentHorizontalAlignment alignment) {
  m_horizontalAlignment = alignment;
  setNeedsLayout();
}

void UIControl::setContentVerticalAlignment(UIControlContentVerticalAlignment alignment) {
  m_verticalAlignment = alignment;
  setNeedsLayout();
}

UIView* UIControl::hitTest(CGPoint point) {
  // A disabled control swallows touches without acting, like the platform.
  return UIView::hitTest(point);
}

bool UIControl::isTouchInside(const UITouch& touch) const {
  const CGPoint point = touch.locationInView(this);
  return CGRectContainsPoint(CGRectInset(bounds(), -kTrackingSlop, -kTrackingSlop), point);
}

void UIControl::touchesBegan(const UITouchSet& touches) {
  if (!m_enabled) return;
  m_tracking = true;
  m_touchInside = true;
  setHighlighted(true);
  sendActionsForControlEvents(touches.front()->tapCount() > 1
                                  ? (UIControlEventTouchDown | UIControlEventTouchDownRepeat)
                                  : UIControlEventTouchDown);
}

void UIControl::touchesMoved(const UITouchSet& touches) {
  if (!m_tracking) return;
  const bool inside = isTouchInside(*touches.front());
  m_touchInside = inside;
  setHighlighted(inside);
  sendActionsForControlEvents(inside ? UIControlEventTouchDragInside : UIControlEventTouchDragOutside);
}

void UIControl::touchesEnded(const UITouchSet& touches) {
  if (!m_tracking) return;
  m_tracking = false;
  const bool inside = isTouchInside(*touches.front());
  setHighlighted(false);
  sendActionsForControlEvents(inside ? UIControlEventTouchUpInside : UIControlEventTouchUpOutside);
}

void UIControl::touchesCancelled(const UITouchSet& touches) {
  (void)touches;
  if (!m_tracking) return;
  m_tracking = false;
  setHighlighted(false);
  sendActionsForControlEvents(UIControlEventTouchCancel);
}

}  // namespace kdisk
