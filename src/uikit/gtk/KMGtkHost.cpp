#include "uikit/gtk/KMGtkHost.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <optional>

#include "graphics/Screen.h"
#include "platform/Bundle.h"
#include "platform/GLibOwners.h"
#include "platform/RunLoop.h"
#include "uikit/AudioServices.h"
#include "uikit/KMAnimator.h"
#include "uikit/KMFileDropTarget.h"
#include "uikit/UIApplication.h"
#include "uikit/UIPasteboard.h"
#include "uikit/UIScreen.h"
#include "uikit/UIView.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"
#ifdef KDISK_HAVE_WEBKIT
#include "platform/Paths.h"
#include "uikit/gtk/KMWebKitEngine.h"
#include "webdav/KMHTTPTransfer.h"
#endif
#include "uikit/gtk/KMGtkImagePicker.h"

namespace kdisk {

struct KMGtkHost::Implementation {
  GtkWidget* gtkWindow = nullptr;
  GtkWidget* area = nullptr;
  // Holds the drawing area and, laid over it, the web engines' views.
  GtkWidget* overlay = nullptr;
  glib::Object<GtkIMContext> im;
  std::shared_ptr<UIWindow> window;
  std::optional<std::string> clipboardText;
  std::function<void()> firstFrame;
  std::function<void()> afterPaint;
  std::function<bool(KMKeyCommand)> keyCommand;
  bool drewOnce = false;
  bool running = false;
  bool fillsWindow = false;
  // The pointer, in drawing-area pixels: scroll events carry no position.
  double pointerX = 0, pointerY = 0;
  // A touchpad gesture in surface units is open; its end waits for the
  // velocity that follows.
  bool wheelGesture = false;
  bool wheelGestureEnding = false;
  guint inhibitCookie = 0;
#ifdef KDISK_HAVE_WEBKIT
  std::shared_ptr<KMWebKitPlacementHost> webHost;
#endif
  std::unique_ptr<KMGtkImagePicker> imagePicker;

  // The toolkit window fitted into the drawing area, aspect kept.
  double fitScale() const {
    if (fillsWindow) return 1;
    const double w = gtk_widget_get_width(area), h = gtk_widget_get_height(area);
    const CGRect b = window->bounds();
    return std::max(0.1, std::min(w / b.size.width, h / b.size.height));
  }
  CGPoint toWindow(double x, double y) const {
    const double s = fitScale();
    return {x / s, y / s};
  }

  static void draw(GtkDrawingArea*, cairo_t* context, int, int, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    const double s = self->fitScale();
    cairo_save(context);
    cairo_scale(context, s, s);
    self->window->render(context);
    cairo_restore(context);
#ifdef KDISK_HAVE_WEBKIT
    for (UIWebViewEngine* engine : self->webHost->engines) engine->placementChanged();
#endif
    if (!self->drewOnce) {
      self->drewOnce = true;
      if (self->firstFrame) RunLoop::main().post(self->firstFrame);
    }
  }

  static void resized(GtkDrawingArea*, int width, int height, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    if (!self->fillsWindow || width <= 0 || height <= 0) return;
    UIScreen::mainScreen().setSize({static_cast<CGFloat>(width), static_cast<CGFloat>(height)});
    self->window->setFrame(CGRectMake(0, 0, width, height));
    if (auto* root = self->window->rootViewController())
      root->view()->setFrame(UIScreen::mainScreen().applicationFrame());
    self->window->setNeedsUpdate();
  }

  static void dragBegin(GtkGestureDrag*, double x, double y, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    self->window->touchDown(self->toWindow(x, y));
    gtk_widget_grab_focus(self->area);
  }
  static void dragUpdate(GtkGestureDrag* gesture, double dx, double dy, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    double x = 0, y = 0;
    gtk_gesture_drag_get_start_point(gesture, &x, &y);
    self->window->touchMove(self->toWindow(x + dx, y + dy));
  }
  static void dragEnd(GtkGestureDrag* gesture, double dx, double dy, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    double x = 0, y = 0;
    gtk_gesture_drag_get_start_point(gesture, &x, &y);
    self->window->touchUp(self->toWindow(x + dx, y + dy));
  }
  static void dragCancel(GtkGesture*, GdkEventSequence*, gpointer data) {
    static_cast<Implementation*>(data)->window->touchCancel();
  }

  static void pointerMoved(GtkEventControllerMotion*, double x, double y, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    self->pointerX = x, self->pointerY = y;
  }
  static void wheelGestureBegan(GtkEventControllerScroll*, gpointer data) {
    static_cast<Implementation*>(data)->finishWheelGesture({0, 0});
  }
  static gboolean scrolled(GtkEventControllerScroll* controller, double dx, double dy, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    const CGPoint at = self->toWindow(self->pointerX, self->pointerY);
    // Wheels (and touchpads under X11) count in notches, touchpads under
    // Wayland in pixels with a begin and an end.
    if (gtk_event_controller_scroll_get_unit(controller) == GDK_SCROLL_UNIT_WHEEL) {
      self->window->scrollWheel(at, {dx, dy});
      return TRUE;
    }
    const double s = self->fitScale();
    if (!self->wheelGesture) {
      self->wheelGesture = true;
      self->window->wheelGestureBegan(at);
    }
    self->window->wheelGestureMoved({dx / s, dy / s});
    return TRUE;
  }
  static void wheelGestureEnded(GtkEventControllerScroll*, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    if (!self->wheelGesture) return;
    // GTK reports the fingers' velocity right after, in the same event.
    self->wheelGestureEnding = true;
  }
  static void wheelDecelerate(GtkEventControllerScroll*, double vx, double vy, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    const double s = self->fitScale();
    if (self->wheelGestureEnding) self->finishWheelGesture({vx / s, vy / s});
  }
  void finishWheelGesture(CGPoint velocity) {
    if (!wheelGesture) return;
    wheelGesture = wheelGestureEnding = false;
    window->wheelGestureEnded(velocity);
  }

  static std::vector<URL> droppedURLs(const GValue* value) {
    std::vector<URL> urls;
    auto* list = static_cast<GdkFileList*>(g_value_get_boxed(value));
    // The list is ours, the files in it the drop's.
    const std::unique_ptr<GSList, decltype(&g_slist_free)> files(
        list ? gdk_file_list_get_files(list) : nullptr, &g_slist_free);
    for (GSList* item = files.get(); item; item = item->next) {
      GFile* file = G_FILE(item->data);
      if (const glib::Text path{g_file_get_path(file)}) {
        urls.push_back(URL::fileURLWithPath(path.get()));
      } else if (const glib::Text uri{g_file_get_uri(file)}) {
        // A remote place of the file manager; the screen says it cannot read it.
        if (auto url = URL::fromString(uri.get())) urls.push_back(*url);
      }
    }
    return urls;
  }
  static GdkDragAction dropMotion(GtkDropTarget*, double x, double y, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    auto* target = self->window->fileDropTargetAtPoint(self->toWindow(x, y));
    return target && target->canAcceptDroppedFiles() ? GDK_ACTION_COPY : static_cast<GdkDragAction>(0);
  }
  static gboolean dropped(GtkDropTarget*, const GValue* value, double x, double y, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    return self->window->dropFilesAtPoint(self->toWindow(x, y), droppedURLs(value));
  }

  void inhibitIdle(bool inhibit) {
    GApplication* application = g_application_get_default();
    if (!application || !GTK_IS_APPLICATION(application)) return;
    if (inhibit && !inhibitCookie) {
      const std::string reason =
          KMLocalizedString("IdleInhibitReason", "Идёт передача файлов", "Localizable");
      inhibitCookie = gtk_application_inhibit(
          GTK_APPLICATION(application), GTK_WINDOW(gtkWindow),
          static_cast<GtkApplicationInhibitFlags>(GTK_APPLICATION_INHIBIT_IDLE | GTK_APPLICATION_INHIBIT_SUSPEND),
          reason.c_str());
    } else if (!inhibit && inhibitCookie) {
      gtk_application_uninhibit(GTK_APPLICATION(application), inhibitCookie);
      inhibitCookie = 0;
    }
  }

  static gboolean keyPressed(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    if (keyval == GDK_KEY_BackSpace) {
      self->window->deleteBackward();
      return TRUE;
    }
    if (keyval == GDK_KEY_Return || keyval == GDK_KEY_KP_Enter) {
      self->window->returnKeyPressed();
      return TRUE;
    }
    if (self->keyCommand) {
      std::optional<KMKeyCommand> command;
      if (keyval == GDK_KEY_Escape) command = KMKeyCommand::Back;
      else if ((state & GDK_CONTROL_MASK) && (keyval == GDK_KEY_f || keyval == GDK_KEY_F)) command = KMKeyCommand::Find;
      else if (keyval == GDK_KEY_F5) command = KMKeyCommand::Refresh;
      else if (keyval == GDK_KEY_Delete || keyval == GDK_KEY_KP_Delete) command = KMKeyCommand::Delete;
      if (command && self->keyCommand(*command)) return TRUE;
    }
    if ((state & GDK_CONTROL_MASK) && keyval == GDK_KEY_v) {
      if (auto text = UIPasteboard::generalPasteboard().string()) self->window->insertText(*text);
      return TRUE;
    }
    return FALSE;
  }
  static void commit(GtkIMContext*, const char* text, gpointer data) {
    static_cast<Implementation*>(data)->window->insertText(text);
  }

  static void activeChanged(GObject*, GParamSpec*, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    auto& application = UIApplication::sharedApplication();
    if (gtk_window_is_active(GTK_WINDOW(self->gtkWindow)))
      application.enterForeground(), application.becomeActive();
    else
      application.resignActive();
  }
  static void stateChanged(GObject* surface, GParamSpec*, gpointer) {
    const auto state = gdk_toplevel_get_state(GDK_TOPLEVEL(surface));
    auto& application = UIApplication::sharedApplication();
    if (state & GDK_TOPLEVEL_STATE_MINIMIZED)
      application.enterBackground();
    else
      application.enterForeground();
  }
  static void painted(GdkFrameClock*, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    if (self->afterPaint) self->afterPaint();
  }
  static void realized(GtkWidget* widget, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    setMainScreenScale(gtk_widget_get_scale_factor(widget));
    if (GdkFrameClock* clock = gtk_widget_get_frame_clock(widget))
      g_signal_connect(clock, "after-paint", G_CALLBACK(painted), self);
    if (auto* surface = gtk_native_get_surface(GTK_NATIVE(widget)); surface && GDK_IS_TOPLEVEL(surface))
      g_signal_connect(surface, "notify::state", G_CALLBACK(stateChanged), self);
  }
  static gboolean closeRequest(GtkWindow*, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    UIApplication::sharedApplication().terminate();
    if (self->running) RunLoop::main().quit();
    return FALSE;
  }
  static void clipboardRead(GObject* source, GAsyncResult* result, gpointer data) {
    auto* self = static_cast<Implementation*>(data);
    if (const glib::Text text{gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr)})
      self->clipboardText = text.get();
  }
  static void clipboardChanged(GdkClipboard* clipboard, gpointer data) {
    gdk_clipboard_read_text_async(clipboard, nullptr, clipboardRead, data);
  }
};

KMGtkHost::KMGtkHost(std::string title) : m_implementation(std::make_unique<Implementation>()) {
  gtk_init();
  auto& self = *m_implementation;
  self.window = std::make_shared<UIWindow>(UIScreen::mainScreen().bounds());
  self.gtkWindow = gtk_window_new();
  gtk_window_set_title(GTK_WINDOW(self.gtkWindow), title.c_str());
  gtk_window_set_default_size(GTK_WINDOW(self.gtkWindow), 320, 480);
  self.area = gtk_drawing_area_new();
  gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(self.area), 320);
  gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(self.area), 480);
  gtk_widget_set_focusable(self.area, TRUE);
  gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(self.area), Implementation::draw, &self, nullptr);
  g_signal_connect(self.area, "resize", G_CALLBACK(Implementation::resized), &self);
  self.overlay = gtk_overlay_new();
  gtk_overlay_set_child(GTK_OVERLAY(self.overlay), self.area);
  gtk_window_set_child(GTK_WINDOW(self.gtkWindow), self.overlay);
#ifdef KDISK_HAVE_WEBKIT
  self.webHost = std::make_shared<KMWebKitPlacementHost>();
  self.webHost->overlay = GTK_OVERLAY(self.overlay);
  self.webHost->scale = [implementation = &self] { return implementation->fitScale(); };
  self.webHost->extraCertificateAuthorityFile = [] { return webdav::additionalCertificateAuthorityFile(); };
  self.webHost->profileDirectory = [] { return paths::libraryDirectory() + "/WebProfile"; };
  UIWebView::setEngineFactory([host = self.webHost](UIWebView& view) { return makeWebKitEngine(view, host); });
#endif

  GtkGesture* drag = gtk_gesture_drag_new();
  gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(drag), GDK_BUTTON_PRIMARY);
  g_signal_connect(drag, "drag-begin", G_CALLBACK(Implementation::dragBegin), &self);
  g_signal_connect(drag, "drag-update", G_CALLBACK(Implementation::dragUpdate), &self);
  g_signal_connect(drag, "drag-end", G_CALLBACK(Implementation::dragEnd), &self);
  g_signal_connect(drag, "cancel", G_CALLBACK(Implementation::dragCancel), &self);
  gtk_widget_add_controller(self.area, GTK_EVENT_CONTROLLER(drag));

  GtkEventController* motion = gtk_event_controller_motion_new();
  g_signal_connect(motion, "enter", G_CALLBACK(Implementation::pointerMoved), &self);
  g_signal_connect(motion, "motion", G_CALLBACK(Implementation::pointerMoved), &self);
  gtk_widget_add_controller(self.area, motion);
  GtkEventController* scroll = gtk_event_controller_scroll_new(static_cast<GtkEventControllerScrollFlags>(
      GTK_EVENT_CONTROLLER_SCROLL_BOTH_AXES | GTK_EVENT_CONTROLLER_SCROLL_KINETIC));
  g_signal_connect(scroll, "scroll-begin", G_CALLBACK(Implementation::wheelGestureBegan), &self);
  g_signal_connect(scroll, "scroll", G_CALLBACK(Implementation::scrolled), &self);
  g_signal_connect(scroll, "scroll-end", G_CALLBACK(Implementation::wheelGestureEnded), &self);
  g_signal_connect(scroll, "decelerate", G_CALLBACK(Implementation::wheelDecelerate), &self);
  gtk_widget_add_controller(self.area, scroll);

  GtkDropTarget* drop = gtk_drop_target_new(GDK_TYPE_FILE_LIST, GDK_ACTION_COPY);
  g_signal_connect(drop, "motion", G_CALLBACK(Implementation::dropMotion), &self);
  g_signal_connect(drop, "drop", G_CALLBACK(Implementation::dropped), &self);
  gtk_widget_add_controller(self.area, GTK_EVENT_CONTROLLER(drop));

  self.im.reset(gtk_im_multicontext_new());
  gtk_im_context_set_client_widget(self.im.get(), self.area);
  g_signal_connect(self.im.get(), "commit", G_CALLBACK(Implementation::commit), &self);
  GtkEventController* keys = gtk_event_controller_key_new();
  gtk_event_controller_key_set_im_context(GTK_EVENT_CONTROLLER_KEY(keys), self.im.get());
  g_signal_connect(keys, "key-pressed", G_CALLBACK(Implementation::keyPressed), &self);
  gtk_widget_add_controller(self.gtkWindow, keys);

  g_signal_connect(self.gtkWindow, "notify::is-active", G_CALLBACK(Implementation::activeChanged), &self);
  g_signal_connect(self.gtkWindow, "close-request", G_CALLBACK(Implementation::closeRequest), &self);
  g_signal_connect(self.gtkWindow, "realize", G_CALLBACK(Implementation::realized), &self);

  GdkClipboard* clipboard = gtk_widget_get_clipboard(self.area);
  g_signal_connect(clipboard, "changed", G_CALLBACK(Implementation::clipboardChanged), &self);
  UIPasteboard::generalPasteboard().setBackend(
      {[clipboard, implementation = &self](const std::string& text) {
         implementation->clipboardText = text;
         gdk_clipboard_set_text(clipboard, text.c_str());
       },
       [implementation = &self]() { return implementation->clipboardText; }});

  GtkWidget* gtkWindow = self.gtkWindow;
  UIApplication::sharedApplication().setOpenURLHandler([gtkWindow](const URL& url) {
    gtk_show_uri(GTK_WINDOW(gtkWindow), url.absoluteString().c_str(), GDK_CURRENT_TIME);
    return true;
  });

  setSystemSoundHandler([gtkWindow](SystemSoundID) { gtk_widget_error_bell(gtkWindow); });
  auto& application = UIApplication::sharedApplication();
  application.setIdleTimerHandler([implementation = &self](bool disabled) { implementation->inhibitIdle(disabled); });
  if (application.isIdleTimerDisabled()) self.inhibitIdle(true);
  self.imagePicker = std::make_unique<KMGtkImagePicker>(GTK_WINDOW(self.gtkWindow));

  GtkWidget* area = self.area;
  self.window->setUpdateHandler([area] { gtk_widget_queue_draw(area); });
  KMAnimator::shared().setFrameObserver([area] { gtk_widget_queue_draw(area); });
  self.window->makeKeyAndVisible();
}

KMGtkHost::~KMGtkHost() {
  auto& self = *m_implementation;
  KMAnimator::shared().setFrameObserver(nullptr);
  UIPasteboard::generalPasteboard().setBackend({});
  UIApplication::sharedApplication().setOpenURLHandler(nullptr);
  UIApplication::sharedApplication().setIdleTimerHandler(nullptr);
  self.inhibitIdle(false);
  setSystemSoundHandler({});
#ifdef KDISK_HAVE_WEBKIT
  UIWebView::setEngineFactory({});
  self.webHost->overlay = nullptr;
#endif
  self.imagePicker.reset();
  self.window->setUpdateHandler(nullptr);
  self.window->setRootViewController(nullptr);
  // Before the window: the input method still points at its drawing area.
  self.im.reset();
  if (self.gtkWindow) gtk_window_destroy(GTK_WINDOW(self.gtkWindow));
}

UIWindow& KMGtkHost::window() { return *m_implementation->window; }

void KMGtkHost::setRootViewController(std::shared_ptr<UIViewController> controller) {
  m_implementation->window->setRootViewController(std::move(controller));
}

void KMGtkHost::setFillsWindow(bool fills) {
  auto& self = *m_implementation;
  self.fillsWindow = fills;
  // A desktop draws its own status bar.
  UIApplication::sharedApplication().setStatusBarHidden(fills);
  // Small enough for a phone's screen; the default size stays 320 × 480.
  const int width = fills ? 0 : 320, height = fills ? 0 : 480;
  gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(self.area), width);
  gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(self.area), height);
  gtk_widget_set_size_request(self.area, fills ? 280 : -1, fills ? 360 : -1);
}

void KMGtkHost::setKeyCommandHandler(std::function<bool(KMKeyCommand)> handler) {
  m_implementation->keyCommand = std::move(handler);
}

void* KMGtkHost::gtkWindow() const { return m_implementation->gtkWindow; }

void KMGtkHost::setFirstFrameHandler(std::function<void()> handler) {
  m_implementation->firstFrame = std::move(handler);
}

void KMGtkHost::setAfterPaintHandler(std::function<void()> handler) {
  m_implementation->afterPaint = std::move(handler);
}

int KMGtkHost::run() {
  auto& self = *m_implementation;
  gtk_window_present(GTK_WINDOW(self.gtkWindow));
  gtk_im_context_focus_in(self.im.get());
  gtk_widget_grab_focus(self.area);
  self.running = true;
  RunLoop::main().run();
  self.running = false;
  return 0;
}

}  // namespace kdisk
