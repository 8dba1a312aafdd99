#include "RandomInput.h"

#include <cstdlib>
#include <optional>
#include <string_view>

#include "uikit/KMHeadlessHost.h"
#include "uikit/UIControl.h"
#include "uikit/UITableViewCell.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {

namespace {

std::optional<std::uint64_t> numberFromEnvironment(const char* name) {
  const char* text = std::getenv(name);
  if (!text || !*text) return std::nullopt;
  char* end = nullptr;
  const auto value = std::strtoull(text, &end, 10);
  if (!end || *end) return std::nullopt;
  return value;
}

constexpr std::string_view kPieces[] = {
    "a", "Отчёт", "report", " ", "  ", "/", "..", "../..", "%2F", "%00", "\\", "*?", "\"<>|", ".",
    "שלום", "مرحبا بالعالم", "\u200f", "\u202e", "e\u0301", "\u0300\u0301\u0302\u0303", "Z\u0351\u0352\u0353",
    "👍🏽", "👨‍👩‍👧‍👦", "🇷🇺", "\u200b", "\t", "\n", "日本語", "ﷺ", "𝕏", "alice", "~", "$HOME", "'; --",
    // What is left of "a<NUL>b" once the desktop has cut the NUL out.
    "ab",
};

}  // namespace

std::uint64_t randomRunSeed() {
  if (auto seed = numberFromEnvironment("KDISK_RANDOM_SEED")) return *seed;
  std::random_device device;
  return (std::uint64_t(device()) << 32) ^ device();
}

int randomRunEvents(int fallback) {
  const auto events = numberFromEnvironment("KDISK_RANDOM_EVENTS");
  return events && *events > 0 && *events < 10'000'000 ? int(*events) : fallback;
}

std::string oddText(RandomSource& random) {
  std::string text;
  const bool paste = random.chance(0.03);
  const std::size_t length = paste ? 10'000 : 1 + random.below(6);
  std::size_t characters = 0;
  while (characters < length) {
    const auto piece = kPieces[random.below(std::size(kPieces))];
    text += piece;
    for (unsigned char byte : piece) characters += (byte & 0xC0) != 0x80;
  }
  return text;
}

std::vector<ReachableView> reachableViews(KMHeadlessHost& host) {
  std::vector<ReachableView> found;
  // Depth first, in drawing order, so later entries lie in front.
  auto visit = [&](auto& self, UIView& view) -> void {
    if (view.isHidden() || view.alpha() <= 0.01 || !view.isUserInteractionEnabled()) return;
    auto* control = dynamic_cast<UIControl*>(&view);
    if ((control && control->isEnabled()) || dynamic_cast<UITableViewCell*>(&view)) {
      const CGRect visible = host.visibleRectOfView(view);
      if (!CGRectIsEmpty(visible)) found.push_back({&view, visible});
    }
    for (const auto& subview : view.subviews()) self(self, *subview);
  };
  visit(visit, host.window());
  return found;
}

}  // namespace kdisk::test
