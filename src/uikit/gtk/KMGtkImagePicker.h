#pragma once
// The platform picker on a desktop: GTK's native file chooser (the desktop
// portal's where one runs), one file, limited to pictures and videos. A
// local file is handed over as it is, so the bytes sent are the user's own.
// There is no camera: GTK offers no capture. Installed as the picker host
// for its lifetime. Main thread.
#include <memory>

#include "uikit/UIImagePickerController.h"

typedef struct _GtkWindow GtkWindow;

namespace kdisk {

class KMGtkImagePicker : public UIImagePickerController::Host {
 public:
  explicit KMGtkImagePicker(GtkWindow* parent);
  ~KMGtkImagePicker() override;
  KMGtkImagePicker(const KMGtkImagePicker&) = delete;
  KMGtkImagePicker& operator=(const KMGtkImagePicker&) = delete;

  bool isSourceTypeAvailable(UIImagePickerControllerSourceType type) const override;
  void present(const std::shared_ptr<UIImagePickerController>& picker) override;

 private:
  GtkWindow* m_parent;
};

}  // namespace kdisk
