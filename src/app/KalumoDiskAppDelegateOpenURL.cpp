// The (OpenURL) half: files other programs hand over, uploaded into a folder
// the person picks.
#include <filesystem>
#include <system_error>

#include "app/KalumoDiskAppDelegate.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/Log.h"
#include "settings/KMSettings.h"
#include "uikit/UINavigationController.h"

namespace kdisk {

namespace {
auto& log() {
  static auto instance = logger("app");
  return instance;
}
}  // namespace

bool KalumoDiskAppDelegate::canOpenURL(const URL& url) const { return url.scheme() == "file"; }

bool KalumoDiskAppDelegate::openURLApplicationDidFinishLaunchingWithOptions(const Dictionary& options) const {
  const auto* launchURL = find(options, UIApplicationLaunchOptionsURLKey);
  if (!launchURL) return true;
  const auto* text = launchURL->stringValue();
  const auto url = text ? URL::fromString(*text) : std::nullopt;
  return url && canOpenURL(*url);
}

bool KalumoDiskAppDelegate::applicationOpenURLSourceApplicationAnnotation(UIApplication& application,
                                                                          const URL& url, const std::string&,
                                                                          const Value&) {
  return applicationHandleOpenURL(application, url);
}

bool KalumoDiskAppDelegate::applicationHandleOpenURL(UIApplication&, const URL& url) {
  if (!canOpenURL(url)) return true;
  // Not from inside the caller's turn: it may be in the middle of a
  // transition the picker would replace.
  std::weak_ptr<KalumoDiskAppDelegate> weak = weak_from_this();
  RunLoop::main().post([weak, url] {
    if (auto self = weak.lock()) self->openURL(url);
  });
  return true;
}

void KalumoDiskAppDelegate::openURL(const URL& url) {
  if (!KMSettings::mainSettings().wasSuccessfullyAuthorized() || url.scheme() != "file") {
    log()->debug("Dropped a handed-over {}: nobody is signed in or it is no local file.", url.absoluteString());
    return;
  }
  // A folder or a file gone by now would only fail in the queue.
  std::error_code error;
  if (!std::filesystem::is_regular_file(url.path(), error)) {
    log()->warn("Dropped a handed-over {}: not a readable file.", url.absoluteString());
    return;
  }
  // Several files handed over together (one "Open With" on a selection) go
  // into the same folder.
  if (presentedOpenInSelection()) {
    m_joinedFileURLs.push_back(url);
    return;
  }
  openDirectorySelectionDialogForFileURL(url);
}

void KalumoDiskAppDelegate::openDirectorySelectionDialogForFileURL(const URL& fileURL) {
  auto& navigation = *m_mainNavigationController;
  if (navigation.presentedViewController()) navigation.dismissViewControllerAnimatedCompletion(KMAnimated::No);
  auto picker = std::make_shared<KMDirectorySelectionViewController>(std::nullopt, m_dependencies.manager);
  picker->setDelegate(std::static_pointer_cast<KMDirectorySelectionViewControllerDelegate>(shared_from_this()));
  picker->setFileURL(fileURL);
  auto holder = std::make_shared<UINavigationController>(picker);
  m_openInSelection = holder;
  m_joinedFileURLs.clear();
  navigation.presentViewControllerAnimatedCompletion(holder, KMAnimated::Yes);
}

UIViewController* KalumoDiskAppDelegate::presentedOpenInSelection() const {
  auto selection = m_openInSelection.lock();
  if (!selection || !m_mainNavigationController) return nullptr;
  return m_mainNavigationController->presentedViewController() == selection.get() ? selection.get() : nullptr;
}

void KalumoDiskAppDelegate::directorySelectionViewControllerDidSelectDirectoryWithURL(
    KMDirectorySelectionViewController& controller, const URL& url) {
  std::vector<URL> files;
  if (controller.fileURL()) files.push_back(*controller.fileURL());
  if (presentedOpenInSelection()) files.insert(files.end(), m_joinedFileURLs.begin(), m_joinedFileURLs.end());
  auto manager = fileManager();
  for (const auto& file : files) {
    // Taken names get a number from the queue.
    auto queued = manager->uploadFileForFileURLTo(file, url.appendingPathComponent(file.lastPathComponent()));
    if (!queued.hasValue())
      log()->error("Could not queue {} for upload: {}", file.absoluteString(), queued.error().localizedDescription);
  }
  m_joinedFileURLs.clear();
  m_mainNavigationController->dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
}

void KalumoDiskAppDelegate::directorySelectionViewControllerDidCancel(KMDirectorySelectionViewController&) {
  m_joinedFileURLs.clear();
  m_mainNavigationController->dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
}

}  // namespace kdisk
