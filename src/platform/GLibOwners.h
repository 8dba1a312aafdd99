#pragma once
// Owners of GLib's C resources for the files that call GLib themselves:
// memory and text from g_malloc, objects holding a reference, lists of
// objects. Include it only from sources (it brings GLib's headers along).

#include <glib-object.h>

#include <memory>

namespace kdisk::glib {

struct FreeDeleter {
  void operator()(void* memory) const { g_free(memory); }
};
struct ObjectDeleter {
  void operator()(void* object) const {
    if (object) g_object_unref(object);
  }
};
struct ObjectListDeleter {
  void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
struct StrvDeleter {
  void operator()(gchar** strings) const { g_strfreev(strings); }
};
struct ErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};
struct UriDeleter {
  void operator()(GUri* uri) const { g_uri_unref(uri); }
};
struct MainLoopDeleter {
  void operator()(GMainLoop* loop) const { g_main_loop_unref(loop); }
};

using Text = std::unique_ptr<gchar, FreeDeleter>;
template <typename T> using Object = std::unique_ptr<T, ObjectDeleter>;
using ObjectList = std::unique_ptr<GList, ObjectListDeleter>;
using Error = std::unique_ptr<GError, ErrorDeleter>;
using Uri = std::unique_ptr<GUri, UriDeleter>;
using MainLoop = std::unique_ptr<GMainLoop, MainLoopDeleter>;

}  // namespace kdisk::glib
