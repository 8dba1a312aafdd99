#include "uikit/UIAlertViewAutoDismiss.h"

#include "platform/NotificationCenter.h"
#include "uikit/UIApplication.h"

namespace kdisk {

void UIAlertViewAutoDismiss::willPresent() {
  std::weak_ptr<UIResponder> weak = weak_from_this();
  m_backgroundObservation = NotificationCenter::defaultCenter().addObserver(
      UIApplicationDidEnterBackgroundNotification, [weak](const Notification&) {
        auto strong = weak.lock();
        if (!strong) return;
        auto* self = static_cast<UIAlertViewAutoDismiss*>(strong.get());
        self->dismissWithClickedButtonIndexAnimated(self->cancelButtonIndex(), KMAnimated::No);
      });
  UIAlertView::willPresent();
}

void UIAlertViewAutoDismiss::didDismissWithButtonIndex(int index) {
  m_backgroundObservation.reset();
  UIAlertView::didDismissWithButtonIndex(index);
}

}  // namespace kdisk
