#include "uikit/preview/KMPreviewTextView.h"

#include <glib.h>

#include <cmath>
#include <fstream>

#include "platform/Bundle.h"
#include "platform/DispatchQueue.h"
#include "platform/GLibOwners.h"
#include "uikit/UILabel.h"

namespace kdisk {
namespace {

constexpr std::size_t kBlockBytes = 4096;
constexpr CGFloat kMargin = 10;

std::string validUTF8(const char* bytes, std::size_t length) {
  return glib::Text(g_utf8_make_valid(bytes, gssize(length))).get();
}

std::string fromUTF16(const std::string& bytes, const char* encoding) {
  gsize written = 0;
  glib::Text converted(
      g_convert_with_fallback(bytes.data() + 2, gssize(bytes.size() - 2) & ~gssize(1), "UTF-8",
                              encoding, "\xEF\xBF\xBD", nullptr, &written, nullptr));
  if (!converted)
    return validUTF8(bytes.data(), bytes.size());
  return validUTF8(converted.get(), written);
}

// Blocks of whole lines of about kBlockBytes each (a longer line is cut at a
// character boundary).
std::vector<std::string> splitIntoBlocks(const std::string& text) {
  std::vector<std::string> blocks;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = std::min(text.size(), start + kBlockBytes);
    if (end < text.size()) {
      std::size_t newline = text.rfind('\n', end);
      if (newline != std::string::npos && newline > start) {
        end = newline + 1;
      } else {
        while (end > start && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
          --end;
      }
    }
    std::string block = text.substr(start, end - start);
    if (!block.empty() && block.back() == '\n')
      block.pop_back();
    blocks.push_back(std::move(block));
    start = end;
  }
  return blocks;
}

} // namespace

KMPreviewTextView::KMPreviewTextView(CGRect frame, std::string path)
    : KMPreviewContentView(frame), m_path(std::move(path)) {
  setBackgroundColor(UIColor::whiteColor());
}

KMPreviewTextView::~KMPreviewTextView() = default;

std::string KMPreviewTextView::displayableText(const std::string& bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
    return fromUTF16(bytes, "UTF-16LE");
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF')
    return fromUTF16(bytes, "UTF-16BE");
  std::size_t skip = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  return validUTF8(bytes.data() + skip, bytes.size() - skip);
}

void KMPreviewTextView::load() {
  if (m_loading || !m_blocks.empty())
    return;
  m_loading = true;
  showSpinner(true);
  std::weak_ptr<KMPreviewTextView> weak = weakSelf<KMPreviewTextView>();
  dispatchBackground([weak, path = m_path] {
    std::ifstream stream(path, std::ios::binary);
    std::string bytes(kMaximumBytes + 1, '\0');
    stream.read(bytes.data(), std::streamsize(bytes.size()));
    const bool failed = stream.bad() || (!stream && !stream.eof());
    bytes.resize(std::size_t(stream.gcount()));
    const bool truncated = bytes.size() > kMaximumBytes;
    if (truncated)
      bytes.resize(kMaximumBytes);
    auto blocks = splitIntoBlocks(displayableText(bytes));
    dispatchMain([weak, blocks = std::move(blocks), truncated, failed]() mutable {
      if (auto self = weak.lock())
        self->didRead(std::move(blocks), truncated, failed);
    });
  });
}

void KMPreviewTextView::didRead(std::vector<std::string> blocks, bool truncated, bool failed) {
  m_loading = false;
  showSpinner(false);
  if (failed) {
    showMessage(KMLocalizedString("PreviewTextUnreadable", "Не удалось прочитать файл.",
                                  "QLPreviewController"));
    return;
  }
  if (truncated)
    blocks.push_back(KMLocalizedString("PreviewTextTruncated",
                                       "… Файл слишком длинный, показано только начало.",
                                       "QLPreviewController"));
  if (blocks.empty())
    blocks.emplace_back();
  for (std::string& block : blocks) {
    auto label = std::make_shared<UILabel>();
    label->setNumberOfLines(0);
    label->setLineBreakMode(NSLineBreakMode::WordWrap);
    label->setFont(UIFont::systemFontOfSize(14));
    label->setBackgroundColor(UIColor::clearColor());
    label->setUserInteractionEnabled(false);
    label->setText(std::move(block));
    addSubview(label);
    m_blocks.push_back(std::move(label));
  }
  if (truncated)
    m_blocks.back()->setTextColor(UIColor::grayColor());
  layoutContentForWidth(bounds().size.width);
}

std::string KMPreviewTextView::text() const {
  std::string joined;
  for (const auto& block : m_blocks) {
    if (!joined.empty())
      joined += '\n';
    joined += block->text();
  }
  return joined;
}

void KMPreviewTextView::layoutContentForWidth(CGFloat width) {
  const CGFloat textWidth = std::max<CGFloat>(1, width - 2 * kMargin);
  CGFloat y = kMargin;
  for (const auto& label : m_blocks) {
    const CGSize fits = label->sizeThatFits(CGSizeMake(textWidth, 1e7));
    label->setFrame(CGRectMake(kMargin, y, textWidth, std::ceil(fits.height)));
    y += std::ceil(fits.height);
  }
  setContentSize(CGSizeMake(width, y + kMargin));
}

} // namespace kdisk
