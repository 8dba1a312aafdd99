#pragma once
// The general pasteboard: one text the application can copy and paste. The
// host connects it to the desktop's clipboard; without a host it keeps the
// text to itself. Main thread.
#include <functional>
#include <optional>
#include <string>

namespace kdisk {

class UIPasteboard {
 public:
  static UIPasteboard& generalPasteboard();
  std::optional<std::string> string() const;
  void setString(std::string text);

  // The host's clipboard: `write` publishes a text, `read` answers the last
  // text the host knows of.
  struct Backend {
    std::function<void(const std::string&)> write;
    std::function<std::optional<std::string>()> read;
  };
  void setBackend(Backend backend) { m_backend = std::move(backend); }

 private:
  UIPasteboard() = default;
  std::optional<std::string> m_text;
  Backend m_backend;
};

}  // namespace kdisk
