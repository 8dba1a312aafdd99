#pragma once
// An alert view that closes itself with its cancel button when the
// application goes to the background, so no stale question waits for the
// person on return. Its delegate hears only the dismissal (will and did
// dismiss with the cancel button's index, -1 when it has none).
#include "platform/ObserverToken.h"
#include "uikit/UIAlertView.h"

namespace kdisk {

class UIAlertViewAutoDismiss : public UIAlertView {
 public:
  using UIAlertView::UIAlertView;

 protected:
  void willPresent() override;
  void didDismissWithButtonIndex(int index) override;

 private:
  ObserverToken m_backgroundObservation;
};

}  // namespace kdisk
