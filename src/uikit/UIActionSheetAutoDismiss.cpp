#include "uikit/UIActionSheetAutoDismiss.h"

#include "platform/NotificationCenter.h"
#include "uikit/UIApplication.h"

namespace kdisk {

void UIActionSheetAutoDismiss::willPresent() {
  std::weak_ptr<UIResponder> weak = weak_from_this();
  m_backgroundObservation = NotificationCenter::defaultCenter().addObserver(
      UIApplicationDidEnterBackgroundNotification, [weak](const Notification&) {
        auto strong = weak.lock();
        if (!strong) return;
        auto* self = static_cast<UIActionSheetAutoDismiss*>(strong.get());
        self->dismissWithClickedButtonIndexAnimated(self->cancelButtonIndex(), KMAnimated::No);
      });
  UIActionSheet::willPresent();
}

void UIActionSheetAutoDismiss::didDismissWithButtonIndex(int index) {
  m_backgroundObservation.reset();
  UIActionSheet::didDismissWithButtonIndex(index);
}

}  // namespace kdisk
