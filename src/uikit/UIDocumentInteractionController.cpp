#include "uikit/UIDocumentInteractionController.h"

#include "platform/Bundle.h"
#include "platform/Log.h"
#include "uikit/UIActionSheetAutoDismiss.h"

namespace kdisk {

std::shared_ptr<UIDocumentInteractionController> UIDocumentInteractionController::interactionControllerWithURL(
    URL fileURL) {
  return std::make_shared<UIDocumentInteractionController>(std::move(fileURL));
}

UIDocumentInteractionController::UIDocumentInteractionController(URL fileURL) : m_fileURL(std::move(fileURL)) {}

std::vector<DesktopApplication> UIDocumentInteractionController::applications() const {
  if (!m_fileURL.isFileURL()) return {};
  return applicationsForContentType(contentTypeOfFile(m_fileURL.path()));
}

bool UIDocumentInteractionController::presentOpenInMenuFromRectInViewAnimated(CGRect rect, UIView& view,
                                                                              KMAnimated animated) {
  (void)rect, (void)animated;
  m_offered = applications();
  if (m_offered.empty()) return false;
  std::vector<std::string> names;
  for (const auto& application : m_offered) names.push_back(application.name);
  m_sheet = std::make_shared<UIActionSheetAutoDismiss>(std::string(), weak_from_this(),
                                                       KMLocalizedString("Cancel", "Отмена"), std::nullopt,
                                                       std::move(names));
  m_sheet->showInView(view);
  return true;
}

void UIDocumentInteractionController::dismissMenuAnimated(KMAnimated animated) {
  if (m_sheet && m_sheet->isVisible()) m_sheet->dismissWithClickedButtonIndexAnimated(m_sheet->cancelButtonIndex(), animated);
}

void UIDocumentInteractionController::actionSheetClickedButtonAtIndex(UIActionSheet& sheet, int buttonIndex) {
  if (buttonIndex == sheet.cancelButtonIndex() || buttonIndex < 0 || buttonIndex >= int(m_offered.size())) return;
  // The sheet may be the last owner of this controller's caller; keep both.
  auto self = shared_from_this();
  const DesktopApplication application = m_offered[std::size_t(buttonIndex)];
  Status launched = launchApplicationWithFile(application, m_fileURL.path());
  auto listener = delegate();
  if (!launched.hasValue()) {
    logger("UIDocumentInteractionController", LogLevel::Warning)
        ->warn("Cannot start {} with {}: {}", application.identifier, m_fileURL.path(),
               launched.error().localizedDescription);
    if (listener) listener->documentInteractionControllerDidFailToSendToApplication(*this, application, launched.error());
    return;
  }
  if (listener) listener->documentInteractionControllerDidEndSendingToApplication(*this, application);
}

void UIDocumentInteractionController::actionSheetDidDismissWithButtonIndex(UIActionSheet& sheet, int buttonIndex) {
  (void)sheet, (void)buttonIndex;
  m_sheet.reset();
  if (auto listener = delegate()) listener->documentInteractionControllerDidDismissOpenInMenu(*this);
}

}  // namespace kdisk
