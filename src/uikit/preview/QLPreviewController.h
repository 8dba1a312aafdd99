#pragma once
// The document preview: shows one local file of its data source (the current
// item) fitted to the screen's width and scrollable: pictures, PDF documents
// page by page, and text. Whether a file can be shown at all is
// canPreviewItem, decided from the file's content type and header. A file
// that claims a kind it then fails to decode shows a message in its place.
// Main thread; decoding runs on background queues.
#include <cstddef>
#include <memory>
#include <optional>

#include "platform/URL.h"
#include "uikit/UIViewController.h"
#include "uikit/preview/KMPreviewKind.h"
#include "uikit/preview/QLPreviewControllerDataSource.h"

namespace kdisk {

class KMPreviewContentView;

class QLPreviewController : public UIViewController {
 public:
  QLPreviewController();
  ~QLPreviewController() override;

  // Whether a local file (a file URL) can be previewed.
  static bool canPreviewItem(const URL& fileURL);

  std::shared_ptr<QLPreviewControllerDataSource> dataSource() const { return m_dataSource.lock(); }
  void setDataSource(std::weak_ptr<QLPreviewControllerDataSource> dataSource) {
    m_dataSource = std::move(dataSource);
  }
  std::size_t currentPreviewItemIndex() const { return m_currentIndex; }
  void setCurrentPreviewItemIndex(std::size_t index);
  // The current item's file URL, as the data source gives it.
  std::optional<URL> currentPreviewItem();
  // Asks the data source again and shows the current item afresh.
  void reloadData();

  // What shows the current item; null before the view loads or without an item.
  KMPreviewContentView* contentView() const { return m_contentView.get(); }
  KMPreviewKind currentKind() const { return m_kind; }
  // Whether the item's content (not a spinner or a message) is on screen.
  bool isShowingContent() const;

  void loadView() override;
  void viewWillAppear(KMAnimated animated) override;

 private:
  void showCurrentItem();
  std::weak_ptr<QLPreviewControllerDataSource> m_dataSource;
  std::size_t m_currentIndex = 0;
  std::shared_ptr<KMPreviewContentView> m_contentView;
  KMPreviewKind m_kind = KMPreviewKind::None;
  bool m_needsReload = true;
};

}  // namespace kdisk
