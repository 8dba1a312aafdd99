#include "uikit/UIImagePickerController.h"

namespace kdisk {

namespace {
UIImagePickerController::Host* g_host = nullptr;
}

void UIImagePickerController::setHost(Host* host) { g_host = host; }
UIImagePickerController::Host* UIImagePickerController::host() { return g_host; }

bool UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceType type) {
  return g_host && g_host->isSourceTypeAvailable(type);
}

bool UIImagePickerController::present() {
  if (m_presented || !isSourceTypeAvailable(m_sourceType)) return false;
  m_presented = true;
  m_keepAlive = shared_from_this();
  g_host->present(m_keepAlive);
  return true;
}

std::shared_ptr<UIImagePickerController> UIImagePickerController::finish() {
  m_presented = false;
  return std::move(m_keepAlive);
}

void UIImagePickerController::finishPickingMediaWithInfo(const UIImagePickerMediaInfo& info) {
  if (!m_presented) return;
  auto keepAlive = finish();
  if (auto delegate = m_delegate.lock()) delegate->imagePickerControllerDidFinishPickingMediaWithInfo(*this, info);
}

void UIImagePickerController::cancel() {
  if (!m_presented) return;
  auto keepAlive = finish();
  if (auto delegate = m_delegate.lock()) delegate->imagePickerControllerDidCancel(*this);
}

}  // namespace kdisk
