#pragma once
// What a screen that shares files hears from its KAShareManager. Every
// operation but the last has a do-nothing default; the last must be
// answered. Called on the main thread.
#include <memory>

#include "platform/URL.h"

namespace kdisk {

class KAShareManager;
class UIViewController;

class KAShareManagerDelegate {
public:
  virtual ~KAShareManagerDelegate() = default;

  // A batch began publishing (the screen shows its sharing overlay).
  virtual void shareManagerDidStartPublishingFiles(KAShareManager& manager) { (void)manager; }
  virtual void shareManagerDidPublishFileWithURL(KAShareManager& manager, const URL& file) {
    (void)manager, (void)file;
  }
  // Every link of the batch is in; sending follows at once.
  virtual void shareManagerDidPublishAllFiles(KAShareManager& manager) { (void)manager; }
  virtual void shareManagerDidFailToPublishFileWithURL(KAShareManager& manager, const URL& file) {
    (void)manager, (void)file;
  }
  // The batch was given up: cancelled, or one of its files failed.
  virtual void shareManagerDidStopPublishingFiles(KAShareManager& manager) { (void)manager; }
  // The links were handed over (the screen may drop its selection).
  virtual void shareManagerDidSuccessfullySharedFiles(KAShareManager& manager) { (void)manager; }
  // The screen a message composer would be presented from. The desktop's
  // messaging application is a window of its own, so nothing is pushed onto
  // it; answering nothing (the screen is closing) puts the links on the
  // clipboard instead.
  virtual std::shared_ptr<UIViewController>
  shareManagerViewControllerToShowCompose(KAShareManager& manager) = 0;
};

} // namespace kdisk
