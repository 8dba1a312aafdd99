#include "uikit/UIScreen.h"

#include "graphics/Screen.h"
#include "uikit/UIApplication.h"

namespace kdisk {

UIScreen& UIScreen::mainScreen() {
  static UIScreen screen;
  return screen;
}

CGRect UIScreen::applicationFrame() const {
  if (UIApplication::sharedApplication().isStatusBarHidden()) return bounds();
  return CGRectMake(0, kStatusBarHeight, m_size.width, m_size.height - kStatusBarHeight);
}

double UIScreen::scale() const { return mainScreenScale(); }

}  // namespace kdisk
