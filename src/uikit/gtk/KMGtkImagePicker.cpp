#include "uikit/gtk/KMGtkImagePicker.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/GLibOwners.h"

namespace kdisk {

namespace {

// One chooser on screen: the picker it answers and the native dialog, freed
// together when the answer comes.
struct PendingChoice {
  std::shared_ptr<UIImagePickerController> picker;
  glib::Object<GtkFileChooserNative> chooser;
};

bool wants(const UIImagePickerController& picker, const char* type) {
  const auto& types = picker.mediaTypes();
  return std::find(types.begin(), types.end(), type) != types.end();
}

// The type the desktop gives the file, from its name and first bytes.
std::string mediaTypeOfFile(const char* path) {
  gboolean uncertain = FALSE;
  const glib::Text contentType(g_content_type_guess(path, nullptr, 0, &uncertain));
  const glib::Text mime(contentType ? g_content_type_get_mime_type(contentType.get()) : nullptr);
  const bool movie = mime && g_str_has_prefix(mime.get(), "video/");
  return movie ? kUTTypeMovie : kUTTypeImage;
}

void onResponse(GtkNativeDialog* dialog, int response, gpointer data) {
  std::unique_ptr<PendingChoice> pending(static_cast<PendingChoice*>(data));
  std::optional<UIImagePickerMediaInfo> picked;
  if (response == GTK_RESPONSE_ACCEPT) {
    if (const glib::Object<GFile> file{gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog))}) {
      // Portal files arrive as local paths under the document store; a file
      // without one (a remote location) cannot be read in place.
      if (const glib::Text path{g_file_get_path(file.get())})
        picked = UIImagePickerMediaInfo{mediaTypeOfFile(path.get()),
                                        URL::fileURLWithPath(path.get()), nullptr};
    }
  }
  auto picker = std::move(pending->picker);
  pending.reset();
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
  const glib::Object<GtkFileFilter> filter(gtk_file_filter_new());
  gtk_file_filter_set_name(filter.get(), picker->title().c_str());
  if (wants(*picker, kUTTypeImage)) gtk_file_filter_add_mime_type(filter.get(), "image/*");
  if (wants(*picker, kUTTypeMovie)) gtk_file_filter_add_mime_type(filter.get(), "video/*");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter.get());
  gtk_file_chooser_set_filter(GTK_FILE_CHOOSER(chooser), filter.get());
  if (const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES)) {
    const glib::Object<GFile> folder(g_file_new_for_path(pictures));
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder.get(), nullptr);
  }
  // The dialog's answer frees the pending choice, and the dialog with it.
  auto* pending = new PendingChoice{picker, glib::Object<GtkFileChooserNative>(chooser)};
  g_signal_connect(chooser, "response", G_CALLBACK(onResponse), pending);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

}  // namespace kdisk
