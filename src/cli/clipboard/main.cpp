// kdisk-clipboard: takes the text on standard input onto the desktop's
// clipboard and answers one line on standard output:
//   "stored"    the desktop's clipboard manager has a copy; we are done,
//   "held"      no manager took it: we stay, detached, until another program
//               owns the clipboard or the display goes away,
//   "error: …"  nothing was copied.
// `kdisk-clipboard --print` writes the clipboard's text instead (for checks).
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>

#include <gtk/gtk.h>

namespace {

constexpr unsigned kStoreWaitSeconds = 5;
constexpr unsigned kReadWaitSeconds = 5;

// This program links no library of ours, so it has its own owners.
using MainLoop = std::unique_ptr<GMainLoop, decltype(&g_main_loop_unref)>;
using Text = std::unique_ptr<char, decltype(&g_free)>;

MainLoop newLoop() {
  return MainLoop(g_main_loop_new(nullptr, FALSE), &g_main_loop_unref);
}

struct Holder {
  MainLoop loop = newLoop();
  GdkClipboard* clipboard = nullptr;
  bool answered = false;
};

void answer(Holder& holder, const char* text) {
  if (holder.answered)
    return;
  holder.answered = true;
  std::printf("%s\n", text);
  std::fflush(stdout);
  // Nobody waits for more from us; leave the caller's pipes and terminal.
  const int quiet = ::open("/dev/null", O_RDWR);
  if (quiet >= 0) {
    ::dup2(quiet, STDIN_FILENO);
    ::dup2(quiet, STDOUT_FILENO);
    ::close(quiet);
  }
}

void keepHolding(Holder& holder) {
  answer(holder, "held");
  ::setsid(); // a closed terminal must not take the copy with it
}

void stored(GObject* source, GAsyncResult* result, gpointer data) {
  auto& holder = *static_cast<Holder*>(data);
  if (gdk_clipboard_store_finish(GDK_CLIPBOARD(source), result, nullptr)) {
    answer(holder, "stored");
    g_main_loop_quit(holder.loop.get());
  } else {
    keepHolding(holder);
  }
}

void changed(GdkClipboard* clipboard, gpointer data) {
  auto& holder = *static_cast<Holder*>(data);
  if (!gdk_clipboard_is_local(clipboard))
    g_main_loop_quit(holder.loop.get());
}

void displayClosed(GdkDisplay*, gboolean, gpointer data) {
  g_main_loop_quit(static_cast<Holder*>(data)->loop.get());
}

gboolean storeTookTooLong(gpointer data) {
  keepHolding(*static_cast<Holder*>(data));
  return G_SOURCE_REMOVE;
}

int hold(const std::string& text) {
  Holder holder;
  GdkDisplay* display = gdk_display_get_default();
  holder.clipboard = gdk_display_get_clipboard(display);
  gdk_clipboard_set_text(holder.clipboard, text.c_str());
  g_signal_connect(holder.clipboard, "changed", G_CALLBACK(changed), &holder);
  g_signal_connect(display, "closed", G_CALLBACK(displayClosed), &holder);
  gdk_clipboard_store_async(holder.clipboard, G_PRIORITY_DEFAULT, nullptr, stored, &holder);
  g_timeout_add_seconds(kStoreWaitSeconds, storeTookTooLong, &holder);
  g_main_loop_run(holder.loop.get());
  return 0;
}

struct Reading {
  MainLoop loop = newLoop();
  std::string text;
  bool found = false;
};

void textRead(GObject* source, GAsyncResult* result, gpointer data) {
  auto& reading = *static_cast<Reading*>(data);
  if (const Text text{gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr),
                      &g_free}) {
    reading.text = text.get();
    reading.found = true;
  }
  g_main_loop_quit(reading.loop.get());
}

gboolean readTookTooLong(gpointer data) {
  g_main_loop_quit(static_cast<Reading*>(data)->loop.get());
  return G_SOURCE_REMOVE;
}

int print() {
  Reading reading;
  GdkClipboard* clipboard = gdk_display_get_clipboard(gdk_display_get_default());
  gdk_clipboard_read_text_async(clipboard, nullptr, textRead, &reading);
  g_timeout_add_seconds(kReadWaitSeconds, readTookTooLong, &reading);
  g_main_loop_run(reading.loop.get());
  if (!reading.found) {
    std::fprintf(stderr, "kdisk-clipboard: the clipboard holds no text\n");
    return 1;
  }
  std::fwrite(reading.text.data(), 1, reading.text.size(), stdout);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  const bool printing = argc > 1 && std::strcmp(argv[1], "--print") == 0;
  // Nothing here draws: without GL no graphics driver is loaded (a start-up
  // cost, and allocations of its own it never frees).
  g_setenv("GDK_DEBUG", "gl-disable", FALSE);
  if (!gtk_init_check()) {
    std::printf("error: cannot open the display\n");
    return 1;
  }
  if (printing)
    return print();
  std::string text(std::istreambuf_iterator<char>(std::cin), {});
  return hold(text);
}
