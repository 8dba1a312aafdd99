// The reference of the cold-start benchmark: a GTK 4 application opening one
// window with a drawing area, the least a GTK program shows. Prints
// "first-frame <monotonic clock in seconds>" after its first painted frame
// and quits.
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>

namespace {

void draw(GtkDrawingArea*, cairo_t* context, int width, int height, gpointer) {
  cairo_set_source_rgb(context, 0.93, 0.94, 0.96);
  cairo_rectangle(context, 0, 0, width, height);
  cairo_fill(context);
}

void painted(GdkFrameClock* clock, gpointer application) {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  std::printf("first-frame %.6f\n", std::chrono::duration<double>(now).count());
  std::fflush(stdout);
  g_signal_handlers_disconnect_by_func(clock, reinterpret_cast<gpointer>(painted), application);
  g_application_quit(G_APPLICATION(application));
}

void realized(GtkWidget* window, gpointer application) {
  g_signal_connect(gtk_widget_get_frame_clock(window), "after-paint", G_CALLBACK(painted), application);
}

void activate(GtkApplication* application, gpointer) {
  GtkWidget* window = gtk_application_window_new(application);
  gtk_window_set_title(GTK_WINDOW(window), "Bare window");
  gtk_window_set_default_size(GTK_WINDOW(window), 320, 480);
  GtkWidget* area = gtk_drawing_area_new();
  gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(area), draw, nullptr, nullptr);
  gtk_window_set_child(GTK_WINDOW(window), area);
  g_signal_connect(window, "realize", G_CALLBACK(realized), application);
  gtk_window_present(GTK_WINDOW(window));
}

}  // namespace

int main(int argc, char** argv) {
  GtkApplication* application = gtk_application_new("ru.kalumo.DiskBenchBareWindow", G_APPLICATION_DEFAULT_FLAGS);
  g_signal_connect(application, "activate", G_CALLBACK(activate), nullptr);
  const int status = g_application_run(G_APPLICATION(application), argc, argv);
  g_object_unref(application);
  return status;
}
