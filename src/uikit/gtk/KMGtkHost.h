#pragma once
// The toolkit's window on a desktop: one GTK 4 window whose drawing area
// shows the toolkit's window at the monitor's scale (fitted, aspect kept, if
// the window is resized). Mouse and touch become touches, the wheel and
// touchpad scroll the list under the pointer, files dropped from the desktop
// go to the screen under them, keys and input methods reach the first
// responder, the idle-timer flag inhibits idle and suspend through the GTK
// application, the pasteboard is GTK's clipboard,
// URLs open in the desktop's default handler, and web views show their pages
// with WebKitGTK laid over the window (where it is installed). The run loop is GLib's
// default context, the same one RunLoop::main() turns. Main thread.
#include <functional>
#include <memory>
#include <string>

#include "uikit/KMKeyCommand.h"

namespace kdisk {

class UIViewController;
class UIWindow;

class KMGtkHost {
 public:
  explicit KMGtkHost(std::string title);
  ~KMGtkHost();
  KMGtkHost(const KMGtkHost&) = delete;
  KMGtkHost& operator=(const KMGtkHost&) = delete;

  UIWindow& window();
  void setRootViewController(std::shared_ptr<UIViewController> controller);
  // Shows the window and runs the loop until the window closes.
  int run();
  // The toolkit's window takes the GTK window's size in points instead of
  // being fitted into it; the screen and the status bar follow.
  void setFillsWindow(bool fills);
  // The GtkWindow, for an application object to own.
  void* gtkWindow() const;
  // Escape, Ctrl+F, F5 and Delete; the handler answers whether it acted.
  void setKeyCommandHandler(std::function<bool(KMKeyCommand)> handler);
  // Called once after the first frame is on screen.
  void setFirstFrameHandler(std::function<void()> handler);
  // Called after every frame the window's frame clock paints.
  void setAfterPaintHandler(std::function<void()> handler);

 private:
  struct Implementation;
  std::unique_ptr<Implementation> m_implementation;
};

}  // namespace kdisk
