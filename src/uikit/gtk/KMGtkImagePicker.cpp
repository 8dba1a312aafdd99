#include "uikit/gtk/KMGtkImagePicker.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <string>

namespace kdisk {

namespace {

// One chooser on screen: the picker it answers and the native dialog, freed
// together when the answer comes.
struct PendingChoice {
  std::shared_ptr<UIImagePickerController> picker;
  GtkFileChooserNative* chooser = nullptr;
};

bool wants(const UIImagePickerController& picker, const char* type) {
  const auto& types = picker.mediaTypes();
  return std::find(types.begin(), types.end(), type) != types.end();
}

// The type the desktop gives the file, from its name and first bytes.
std::string mediaTypeOfFile(const char* path) {
  gboolean uncertain = FALSE;
  gchar* contentType = g_content_type_guess(path, nullptr, 0, &uncertain);
  gchar* mime = contentType ? g_content_type_get_mime_type(contentType) : nullptr;
  const bool movie = mime && g_str_has_prefix(mime, "video/");
  g_free(mime);
  g_free(contentType);
  return movie ? kUTTypeMovie : kUTTypeImage;
}

void onResponse(GtkNativeDialog* dialog, int response, gpointer data) {
  auto* pending = static_cast<PendingChoice*>(data);
  std::optional<UIImagePickerMediaInfo> picked;
  if (response == GTK_RESPONSE_ACCEPT) {
    if (GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog))) {
      // Portal files arrive as local paths under the document store; a file
      // without one (a remote location) cannot be read in place.
      if (char* path = g_file_get_path(file)) {
        picked = UIImagePickerMediaInfo{mediaTypeOfFile(path), URL::fileURLWithPath(path), nullptr};
        g_free(path);
      }
      g_object_unref(file);
    }
  }
  auto picker = std::move(pending->picker);
  g_object_unref(pending->chooser);
  delete pending;
  if (picked)
    picker->finishPickingMediaWithInfo(*picked);
  else
    picker->cancel();
}

}  // namespace

KMGtkImagePicker::KMGtkImagePicker(GtkWindow* parent) : m_parent(parent) { UIImagePickerController::setHost(this); }

KMGtkImagePicker::~KMGtkImagePicker() {
  if (UIImagePickerController::host() == this) UIImagePickerController::setHost(nullptr);
}

bool KMGtkImagePicker::isSourceTypeAvailable(UIImagePickerControllerSourceType type) const {
  return type != UIImagePickerControllerSourceType::Camera;
}

void KMGtkImagePicker::present(const std::shared_ptr<UIImagePickerController>& picker) {
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
      picker->title().c_str(), m_parent, GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
  gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), FALSE);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, picker->title().c_str());
  if (wants(*picker, kUTTypeImage)) gtk_file_filter_add_mime_type(filter, "image/*");
  if (wants(*picker, kUTTypeMovie)) gtk_file_filter_add_mime_type(filter, "video/*");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
  gtk_file_chooser_set_filter(GTK_FILE_CHOOSER(chooser), filter);
  g_object_unref(filter);
  if (const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES)) {
    GFile* folder = g_file_new_for_path(pictures);
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder, nullptr);
    g_object_unref(folder);
  }
  auto* pending = new PendingChoice{picker, chooser};
  g_signal_connect(chooser, "response", G_CALLBACK(onResponse), pending);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

}  // namespace kdisk
