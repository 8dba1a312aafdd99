#pragma once
// What the settings screen needs of the application delegate: signing out.
// The delegate implements it; the screen finds it as the application's
// delegate and does nothing when the delegate does not implement it.
#include "platform/NotificationCenter.h"
#include "uikit/UIKitDefines.h"

namespace kdisk {

class KMApplicationLogout {
 public:
  virtual ~KMApplicationLogout() = default;
  // `notification`: the authentication failure that caused it, or null when
  // the person chose to sign out.
  virtual void logoutWithLoginErrorNotificationAnimated(const Notification* notification, KMAnimated animated) = 0;
};

}  // namespace kdisk
