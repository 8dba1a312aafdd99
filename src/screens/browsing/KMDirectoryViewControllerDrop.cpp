// Files dragged onto a folder screen from the desktop's file manager.
#include <filesystem>
#include <fstream>

#include "platform/Bundle.h"
#include "platform/Log.h"
#include "platform/StringFormat.h"
#include "screens/browsing/KMDirectoryViewController.h"
#include "uikit/UIAlertViewAutoDismiss.h"

namespace kdisk {

namespace {
auto log() { return logger("KMDirectoryViewController", LogLevel::Info); }

std::string quotedList(const std::vector<std::string>& names) {
  const std::string format = KMLocalizedString("QuotedNameFormat", "«%@»");
  std::string list;
  for (const auto& name : names) list += (list.empty() ? "" : ", ") + KMStringWithFormat(format, {name});
  return list;
}
}  // namespace

bool KMDirectoryViewController::canAcceptDroppedFiles() const {
  // A folder picker lists no uploads, so a drop there would vanish from sight.
  return m_listsUploads && isViewLoaded() && m_manager;
}

bool KMDirectoryViewController::acceptDroppedFiles(const std::vector<kdisk::URL>& urls) {
  if (!canAcceptDroppedFiles()) return false;
  auto keepAlive = sharedController();
  std::vector<std::string> folders, unreadable, failures;
  int queued = 0;
  for (const auto& url : urls) {
    const std::string name = url.lastPathComponent();
    if (!url.isFileURL()) {
      unreadable.push_back(name.empty() ? url.absoluteString() : name);
      continue;
    }
    const std::filesystem::path path = url.path();
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      folders.push_back(name);
      continue;
    }
    // Refused now rather than failing later in the queue with nothing to retry.
    if (!std::filesystem::is_regular_file(path, error) || !std::ifstream(path, std::ios::binary).good()) {
      unreadable.push_back(name);
      continue;
    }
    auto added = m_manager->uploadFileForFileURLTo(url, m_URL.appendingPathComponent(name));
    if (added.hasValue()) {
      ++queued;
    } else {
      log()->warn("Cannot queue the dropped file {}: {}", name, added.error().localizedDescription);
      failures.push_back(added.error().localizedDescription);
    }
  }
  // The uploads section is at the top, where the new rows show.
  if (queued > 0 && tableView()) tableView()->setContentOffset(CGPointZero);

  std::string message;
  auto line = [&message](const std::string& text) { message += (message.empty() ? "" : "\n") + text; };
  if (!folders.empty())
    line(KMStringWithFormat(KMLocalizedString("DroppedFoldersRefusedFormat",
                                              "Папки загрузить нельзя: %@. Перетащите файлы из них.",
                                              "Localizable"),
                            {quotedList(folders)}));
  if (!unreadable.empty())
    line(KMStringWithFormat(KMLocalizedString("DroppedFilesUnreadableFormat", "Не удалось прочитать: %@.",
                                              "Localizable"),
                            {quotedList(unreadable)}));
  for (const auto& failure : failures) line(failure);
  if (!message.empty()) {
    auto alert = std::make_shared<UIAlertViewAutoDismiss>(std::string(), message, std::weak_ptr<UIAlertViewDelegate>(),
                                                          KMLocalizedString("OK", "OK"), std::vector<std::string>{});
    alert->show();
  }
  return queued > 0;
}

}  // namespace kdisk
