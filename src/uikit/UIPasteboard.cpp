#include "uikit/UIPasteboard.h"

namespace kdisk {

UIPasteboard& UIPasteboard::generalPasteboard() {
  static UIPasteboard pasteboard;
  return pasteboard;
}

std::optional<std::string> UIPasteboard::string() const {
  if (m_backend.read) return m_backend.read();
  return m_text;
}

void UIPasteboard::setString(std::string text) {
  if (m_backend.write) m_backend.write(text);
  m_text = std::move(text);
}

}  // namespace kdisk
