#include "uikit/KMHeadlessImagePicker.h"

#include "platform/PhotoLibrary.h"

namespace kdisk {

KMHeadlessImagePicker::KMHeadlessImagePicker(std::set<UIImagePickerControllerSourceType> sources)
    : m_sources(std::move(sources)) {
  UIImagePickerController::setHost(this);
}

KMHeadlessImagePicker::~KMHeadlessImagePicker() {
  if (UIImagePickerController::host() == this) UIImagePickerController::setHost(nullptr);
}

bool KMHeadlessImagePicker::isSourceTypeAvailable(UIImagePickerControllerSourceType type) const {
  return m_sources.contains(type);
}

void KMHeadlessImagePicker::present(const std::shared_ptr<UIImagePickerController>& picker) {
  m_presented = picker;
  ++m_presentations;
}

std::shared_ptr<UIImagePickerController> KMHeadlessImagePicker::presentedPicker() const {
  auto picker = m_presented.lock();
  return picker && picker->isPresented() ? picker : nullptr;
}

bool KMHeadlessImagePicker::pickFile(const std::string& path) {
  auto picker = presentedPicker();
  if (!picker) return false;
  const auto extension = URL::fileURLWithPath(path).pathExtension();
  const auto type = PhotoLibrary::assetTypeForExtension(extension);
  picker->finishPickingMediaWithInfo(
      {type == PhotoAssetType::Video ? kUTTypeMovie : kUTTypeImage, URL::fileURLWithPath(path), nullptr});
  return true;
}

bool KMHeadlessImagePicker::pickImage(std::shared_ptr<UIImage> image) {
  auto picker = presentedPicker();
  if (!picker) return false;
  picker->finishPickingMediaWithInfo({kUTTypeImage, std::nullopt, std::move(image)});
  return true;
}

bool KMHeadlessImagePicker::cancel() {
  auto picker = presentedPicker();
  if (!picker) return false;
  picker->cancel();
  return true;
}

}  // namespace kdisk
