// kalumo-disk: the application in a GTK window. One process per desktop
// session: a second launch (a file manager's "Open With" while it runs)
// hands its files to the first through GApplication and exits.
#include <gtk/gtk.h>

#include <cstdlib>
#include <memory>

#include "app/KMStartupMark.h"
#include "app/KalumoDiskAppDelegate.h"
#include "platform/GLibOwners.h"
#include "platform/URL.h"
#include "settings/KMSettings.h"
#include "uikit/UIApplication.h"
#include "uikit/UIWindow.h"
#include "uikit/gtk/KMGtkHost.h"

namespace {

constexpr const char* kApplicationId = "ru.kalumo.Disk";

struct Program {
  std::unique_ptr<kdisk::KMGtkHost> host;
  std::shared_ptr<kdisk::KalumoDiskAppDelegate> delegate;
};

gboolean closeRequested(GtkWindow*, gpointer application) {
  g_application_release(G_APPLICATION(application));
  return FALSE;
}

void activate(GApplication* application, gpointer data) {
  auto& program = *static_cast<Program*>(data);
  if (program.host) {
    gtk_window_present(GTK_WINDOW(program.host->gtkWindow()));
    return;
  }
  program.host = std::make_unique<kdisk::KMGtkHost>("Kalumo.Disk");
  program.host->setFillsWindow(true);
  auto* window = GTK_WINDOW(program.host->gtkWindow());
  // The host destroys its window itself when it goes, after the loop.
  g_object_ref(window);
  gtk_window_set_icon_name(window, kApplicationId);
  gtk_window_set_resizable(window, TRUE);
  g_signal_connect(window, "close-request", G_CALLBACK(closeRequested), application);
  g_application_hold(application);

  // A login to offer in the form when nobody has signed in yet.
  auto& settings = kdisk::KMSettings::mainSettings();
  if (const char* login = std::getenv("KDISK_LOGIN"); login && *login && !settings.login())
    settings.setLogin(std::string(login));

  // The window is the host's; the delegate only refers to it.
  std::shared_ptr<kdisk::UIWindow> uiWindow(std::shared_ptr<void>(), &program.host->window());
  kdisk::KalumoDiskAppDelegate::Dependencies dependencies;
  dependencies.makeWizard = &kdisk::KalumoDiskAppDelegate::makeFirstRunWizard;
  program.delegate = std::make_shared<kdisk::KalumoDiskAppDelegate>(uiWindow, std::move(dependencies));
  program.host->setKeyCommandHandler([&program](kdisk::KMKeyCommand command) {
    return program.delegate && program.delegate->handleKeyCommand(command);
  });
  auto& app = kdisk::UIApplication::sharedApplication();
  app.setDelegate(program.delegate);
  app.launchWithOptions({});
  if (kdisk::isStartupMarkRequested())
    program.host->setAfterPaintHandler([&program, application] {
      if (program.delegate && kdisk::rootListingIsShown(*program.delegate) && kdisk::printStartupMark())
        g_application_quit(application);
    });
  gtk_window_present(window);
}

void open(GApplication* application, GFile** files, gint count, const gchar*, gpointer data) {
  activate(application, data);
  for (gint i = 0; i < count; ++i) {
    const kdisk::glib::Text path(g_file_get_path(files[i]));
    if (!path) continue;
    kdisk::UIApplication::sharedApplication().handleOpenURL(kdisk::URL::fileURLWithPath(path.get()), "");
  }
}

}  // namespace

int main(int argc, char** argv) {
  Program program;
  const kdisk::glib::Object<GtkApplication> application(gtk_application_new(kApplicationId, static_cast<GApplicationFlags>(G_APPLICATION_HANDLES_OPEN | G_APPLICATION_CAN_OVERRIDE_APP_ID)));
  g_signal_connect(application.get(), "activate", G_CALLBACK(activate), &program);
  g_signal_connect(application.get(), "open", G_CALLBACK(open), &program);
  const int status = g_application_run(G_APPLICATION(application.get()), argc, argv);
  kdisk::UIApplication::sharedApplication().setDelegate({});
  program.delegate.reset();
  program.host.reset();
  return status;
}
