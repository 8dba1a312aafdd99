#pragma once
// Picks a target folder of the storage: the folder browser reduced to
// folders. Files show dimmed and cannot be opened; the plus button makes a
// folder here; Cancel and Done sit in a toolbar at the bottom. Presented
// modally in a navigation controller of its own; each opened folder pushes
// another selection screen whose delegate is the screen below it, so the
// creator hears exactly once, from the first screen, whichever screen the
// user answers on. Main thread.
#include <memory>
#include <optional>

#include "screens/browsing/KMCreateDirectoryDialog.h"
#include "screens/browsing/KMDirectoryViewController.h"
#include "uikit/UIToolbar.h"

namespace kdisk {

class KMDirectorySelectionViewController;

class KMDirectorySelectionViewControllerDelegate {
 public:
  virtual ~KMDirectorySelectionViewControllerDelegate() = default;
  virtual void directorySelectionViewControllerDidSelectDirectoryWithURL(
      KMDirectorySelectionViewController& controller, const kdisk::URL& url) {
    (void)controller, (void)url;
  }
  virtual void directorySelectionViewControllerDidCancel(KMDirectorySelectionViewController& controller) {
    (void)controller;
  }
};

class KMDirectorySelectionViewController : public KMDirectoryViewController,
                                           public KMDirectorySelectionViewControllerDelegate,
                                           public KMCreateDirectoryDialogDelegate {
 public:
  static constexpr CGFloat kToolbarHeight = 44;
  static constexpr CGFloat kDimmedFileAlpha = 0.5;

  explicit KMDirectorySelectionViewController(std::optional<kdisk::URL> url,
                                              std::shared_ptr<KMWebDAVFileManager> manager = nullptr);

  std::shared_ptr<KMDirectorySelectionViewControllerDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<KMDirectorySelectionViewControllerDelegate> delegate) {
    m_delegate = std::move(delegate);
  }
  // The local file the selection is for; set on the first screen only.
  const std::optional<kdisk::URL>& fileURL() const { return m_fileURL; }
  void setFileURL(std::optional<kdisk::URL> url) { m_fileURL = std::move(url); }
  UIToolbar* toolbar() const { return m_toolbar.get(); }

  void viewDidLoad() override;
  // No group editing here: no toolbar for it, no buttons in it.
  void initializeGroupEditViews() override {}
  int numberOfGroupEditButtons() const override { return 0; }
  void layoutGroupEditButtons() override {}

  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView& tableView,
                                                                  const NSIndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;

  void putButtonTouched();
  void cancelButtonTouched() override;
  void plusButtonTouched() override;

  // Screens pushed from here answer through this one.
  void directorySelectionViewControllerDidSelectDirectoryWithURL(KMDirectorySelectionViewController& controller,
                                                                 const kdisk::URL& url) override;
  void directorySelectionViewControllerDidCancel(KMDirectorySelectionViewController& controller) override;

  void createDirectoryDialogDidCreateDirectoryWithName(KMCreateDirectoryDialog& dialog,
                                                       const std::string& name) override;
  void createDirectoryDialogDidCancel(KMCreateDirectoryDialog& dialog) override;

 private:
  std::shared_ptr<KMDirectorySelectionViewController> sharedSelf() {
    return std::static_pointer_cast<KMDirectorySelectionViewController>(sharedController());
  }

  std::weak_ptr<KMDirectorySelectionViewControllerDelegate> m_delegate;
  std::optional<kdisk::URL> m_fileURL;
  std::shared_ptr<UIToolbar> m_toolbar;
};

}  // namespace kdisk
