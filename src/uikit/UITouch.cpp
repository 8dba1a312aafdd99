#include "uikit/UITouch.h"

#include "uikit/UIView.h"

namespace kdisk {

CGPoint UITouch::locationInView(const UIView* view) const {
  return view ? view->convertPointFromView(m_location, nullptr) : m_location;
}

CGPoint UITouch::previousLocationInView(const UIView* view) const {
  return view ? view->convertPointFromView(m_previousLocation, nullptr) : m_previousLocation;
}

void UITouch::moveToWindowLocation(CGPoint location) {
  m_previousLocation = m_location;
  m_location = location;
}

}  // namespace kdisk
