#include "app/KMStartupMark.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/KalumoDiskAppDelegate.h"
#include "screens/browsing/KMDirectoryViewController.h"
#include "uikit/UINavigationController.h"
#include "uikit/UITableView.h"

namespace kdisk {

bool isStartupMarkRequested() {
  const char* value = std::getenv("KDISK_FIRST_FRAME_MARK");
  return value && *value && *value != '0';
}

bool rootListingIsShown(const KalumoDiskAppDelegate& delegate) {
  const auto& root = delegate.rootDirectoryController();
  const auto& navigation = delegate.mainNavigationController();
  if (!root || !navigation || !root->isViewLoaded() || navigation->presentedViewController() ||
      navigation->topViewController() != root.get())
    return false;
  const auto& table = root->tableView();
  return table && !root->contents().empty() && !table->visibleCells().empty();
}

bool printStartupMark() {
  static bool printed = false;
  if (printed) return false;
  printed = true;
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  std::printf("first-frame %.6f\n", std::chrono::duration<double>(now).count());
  std::fflush(stdout);
  return true;
}

}  // namespace kdisk
