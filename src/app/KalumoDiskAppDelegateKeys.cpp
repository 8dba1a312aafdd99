// The desktop's keyboard commands.
#include "app/KalumoDiskAppDelegate.h"

#include "screens/auth/KMAuthViewController.h"
#include "screens/browsing/KMDirectoryViewController.h"
#include "uikit/KMAlertPanel.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIResponder.h"
#include "uikit/UISearchBar.h"
#include "uikit/UISearchDisplayController.h"
#include "uikit/UITextField.h"

namespace kdisk {

bool KalumoDiskAppDelegate::handleKeyCommand(KMKeyCommand command) {
  if (!m_mainNavigationController) return false;
  auto& navigation = *m_mainNavigationController;
  // An open question takes the keys: Escape answers it with its cancel button.
  const auto panels = KMAlertPanel::visiblePanels();
  if (!panels.empty()) {
    if (command != KMKeyCommand::Back) return false;
    const auto& panel = panels.back();
    panel->dismissWithClickedButtonIndexAnimated(panel->cancelButtonIndex(), KMAnimated::Yes);
    return true;
  }
  if (auto* modal = navigation.presentedViewController()) {
    // Nothing closes the login screen but signing in.
    if (command != KMKeyCommand::Back || dynamic_cast<KMAuthViewController*>(modal)) return false;
    navigation.dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
    return true;
  }
  auto* folder = dynamic_cast<KMDirectoryViewController*>(navigation.topViewController());
  auto* search = folder ? folder->searchDisplay() : nullptr;
  switch (command) {
    case KMKeyCommand::Back:
      if (search && search->isActive()) {
        search->setActiveAnimated(false, KMAnimated::Yes);
        return true;
      }
      if (navigation.viewControllers().size() < 2) return false;
      navigation.popViewControllerAnimated(KMAnimated::Yes);
      return true;
    case KMKeyCommand::Find:
      if (!folder || !folder->searchBar() || !folder->searchBarEnabled()) return false;
      return folder->searchBar()->searchField().becomeFirstResponder();
    case KMKeyCommand::Refresh:
      if (!folder) return false;
      folder->updateData();
      return true;
    case KMKeyCommand::Delete:
      // In a text field the key edits the text.
      if (dynamic_cast<UITextField*>(UIResponder::currentFirstResponder())) return false;
      if (!folder || !folder->isSelecting()) return false;
      folder->touchedRemoveGroupEditButton();
      return true;
  }
  return false;
}

}  // namespace kdisk
