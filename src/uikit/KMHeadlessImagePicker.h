#pragma once
// The headless host's platform picker: a stand-in a test installs to play
// the desktop's part. It says which sources exist, keeps the picker shown
// last, and picks files or cancels on the test's word. Installed for its
// lifetime. Main thread.
#include <memory>
#include <set>
#include <string>

#include "uikit/UIImagePickerController.h"

namespace kdisk {

class KMHeadlessImagePicker : public UIImagePickerController::Host {
 public:
  explicit KMHeadlessImagePicker(std::set<UIImagePickerControllerSourceType> sources);
  ~KMHeadlessImagePicker() override;
  KMHeadlessImagePicker(const KMHeadlessImagePicker&) = delete;
  KMHeadlessImagePicker& operator=(const KMHeadlessImagePicker&) = delete;

  bool isSourceTypeAvailable(UIImagePickerControllerSourceType type) const override;
  void present(const std::shared_ptr<UIImagePickerController>& picker) override;

  // The picker showing now, if any.
  std::shared_ptr<UIImagePickerController> presentedPicker() const;
  int presentations() const { return m_presentations; }
  // Picks the file at `path` in the showing picker, as a person would in the
  // file chooser: its type from the extension. False when none is showing.
  bool pickFile(const std::string& path);
  // Hands over a capture that exists only as pixels.
  bool pickImage(std::shared_ptr<UIImage> image);
  bool cancel();

 private:
  std::set<UIImagePickerControllerSourceType> m_sources;
  std::weak_ptr<UIImagePickerController> m_presented;
  int m_presentations = 0;
};

}  // namespace kdisk
