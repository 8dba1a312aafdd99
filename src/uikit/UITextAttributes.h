#pragma once
// How bars draw a title: each part is optional, a missing part keeps the
// bar's own default.
#include <optional>

#include "graphics/UIColor.h"
#include "graphics/UIFont.h"

namespace kdisk {

struct UITextAttributes {
  std::optional<UIFont> font;
  std::optional<UIColor> textColor;
  std::optional<UIColor> textShadowColor;
  std::optional<CGSize> textShadowOffset;
  bool operator==(const UITextAttributes&) const = default;
};

}  // namespace kdisk
