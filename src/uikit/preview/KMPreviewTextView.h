#pragma once
// A text file of the document preview, wrapped to the view's width. The file
// is read and decoded on the shared background queue: UTF-8 as it is, UTF-16
// by its byte order mark, anything else with replacement characters where
// its bytes are not UTF-8. The text is cut into blocks of whole lines, each
// its own label, so layout and drawing touch only what is on screen. Very
// long files show their beginning and say that the rest is left out.
#include <memory>
#include <string>
#include <vector>

#include "uikit/preview/KMPreviewContentView.h"

namespace kdisk {

class UILabel;

class KMPreviewTextView : public KMPreviewContentView {
 public:
  KMPreviewTextView(CGRect frame, std::string path);
  ~KMPreviewTextView() override;

  void load() override;
  bool isShowingContent() const override { return !m_blocks.empty(); }
  // The text shown, all blocks joined.
  std::string text() const;

  // Bytes of a file read at most.
  static constexpr std::size_t kMaximumBytes = 1u << 20;
  // Decodes `bytes` for showing: always valid UTF-8.
  static std::string displayableText(const std::string& bytes);

 protected:
  void layoutContentForWidth(CGFloat width) override;

 private:
  void didRead(std::vector<std::string> blocks, bool truncated, bool failed);
  std::string m_path;
  std::vector<std::shared_ptr<UILabel>> m_blocks;
  bool m_loading = false;
};

}  // namespace kdisk
