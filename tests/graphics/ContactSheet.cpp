#include "ContactSheet.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "graphics/NSStringDrawing.h"
#include "graphics/UIColor.h"
#include "graphics/UIGraphicsImageContext.h"
#include "graphics/UIImage.h"

namespace kdisk {
namespace {

constexpr double kCellWidth = 170;
constexpr double kImageArea = 110;
constexpr double kLabelHeight = 26;
constexpr int kColumns = 8;

// Caps the screens use, so stretched forms can be checked by eye.
std::map<std::string, UIEdgeInsets> knownCaps() {
  std::map<std::string, UIEdgeInsets> caps;
  caps["regular_navbar"] = UIEdgeInsetsMake(21, 5, 21, 5);
  for (const char* name :
       {"regular_navbar_landscape", "grey_navbar", "grey_navbar_landscape", "bottom_bar"}) {
    caps[name] = UIEdgeInsetsMake(5, 5, 2, 5);
  }
  for (const char* look : {"regular", "grey"}) {
    for (const char* state : {"", "_pressed"}) {
      caps[std::string("back_") + look + "_btn" + state] = UIEdgeInsetsMake(3, 14, 3, 4);
      caps[std::string("back_") + look + "_btn" + state + "_landscape"] =
          UIEdgeInsetsMake(3, 11, 3, 3);
    }
  }
  for (const char* look : {"regular", "grey", "blue"}) {
    for (const char* state : {"", "_pressed", "_landscape", "_pressed_landscape"}) {
      caps[std::string(look) + "_btn" + state] = UIEdgeInsetsMake(4, 4, 4, 4);
    }
  }
  for (const char* name : {"red_btn", "red_btn_pressed"})
    caps[name] = UIEdgeInsetsMake(4, 10, 4, 10);
  for (const char* name :
       {"login_btn", "register_btn", "text_box", "text_box_active", "folder_name_bg"}) {
    caps[name] = UIEdgeInsetsMake(10, 10, 10, 10);
  }
  for (const char* name :
       {"group_top", "group_top_pressed", "group_center", "group_center_pressed", "group_bottom",
        "group_bottom_pressed", "mtv-group_single", "mtv-group_single_pressed"}) {
    caps[name] = UIEdgeInsetsMake(10, 10, 10, 10);
  }
  caps["small_bottom_bar"] = UIEdgeInsetsMake(4, 5, 4, 5);
  caps["search_bar_bg"] = UIEdgeInsetsMake(1, 1, 1, 1);
  caps["search_text_field"] = UIEdgeInsetsMake(2, 15, 2, 15);
  caps["list_cell"] = caps["list_cell_sellected"] = UIEdgeInsetsMake(1, 1, 1, 1);
  caps["headerView-bg"] = UIEdgeInsetsMake(1, 1, 1, 1);
  return caps;
}

// White glyphs meant for the tinted bars are shown on the tint.
bool drawnOnTheBar(const std::string& name) {
  return name == "add_icon" || name == "settings_icon" || name == "share_icon" ||
         name == "back_icon" || name == "back_icon_ios6" || name == "search_icon" ||
         name == "navbar_logo" || name == "roster-header-arrow";
}

} // namespace

std::vector<std::string> KMCatalogueImageNames(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    const std::filesystem::path path = entry.path();
    if (path.extension() != ".png")
      continue;
    const std::string stem = path.stem().string();
    if (stem.size() > 3 && stem.ends_with("@2x"))
      continue;
    names.push_back(stem);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::shared_ptr<UIImage> KMRenderContactSheet(const std::string& directory, double scale) {
  const auto names = KMCatalogueImageNames(directory);
  const auto caps = knownCaps();
  const int rows = int((names.size() + kColumns - 1) / kColumns);
  const double cellHeight = kImageArea + kLabelHeight;
  UIGraphicsImageContext canvas({kColumns * kCellWidth, 40 + rows * cellHeight},
                                KMImageContextOpacity::Opaque, scale);
  cairo_t* context = canvas.context();
  UIColor::colorWithRGB255(228, 232, 234).setFill(context);
  cairo_paint(context);
  UIColor::colorWithRGB255(58, 78, 93).setFill(context);
  drawAtPointWithFont(context, "Image catalogue: " + std::to_string(names.size()) + " images",
                      {12, 10}, UIFont::boldSystemFontOfSize(16));

  for (std::size_t index = 0; index < names.size(); ++index) {
    const std::string& name = names[index];
    const double left = double(index % kColumns) * kCellWidth;
    const double top = 40 + double(index / kColumns) * cellHeight;
    const CGRect area = CGRectMake(left + 6, top + 4, kCellWidth - 12, kImageArea - 8);
    const bool dark = drawnOnTheBar(name);
    (dark ? UIColor::colorWithRGB255(35, 104, 149) : UIColor::whiteColor()).setFill(context);
    cairo_rectangle(context, area.origin.x, area.origin.y, area.size.width, area.size.height);
    cairo_fill(context);

    auto image = UIImage::imageNamedInDirectory(name, directory, scale);
    if (image) {
      CGSize size = image->size();
      const double fit =
          std::min({1.0, (area.size.width - 8) / size.width, (area.size.height - 8) / size.height});
      size = {std::round(size.width * fit), std::round(size.height * fit)};
      if (auto found = caps.find(name); found != caps.end()) {
        // The image as it is, and stretched to the cell's width below it.
        const auto resizable = image->resizableImageWithCapInsets(found->second);
        const double height = std::min(size.height, area.size.height / 2 - 6);
        image->drawInRect(context, CGRectMake(area.origin.x + 4, area.origin.y + 4,
                                              std::min(size.width, area.size.width / 3), height));
        resizable->drawInRect(context,
                              CGRectMake(area.origin.x + 4, CGRectGetMaxY(area) - height - 4,
                                         area.size.width - 8, height));
      } else {
        image->drawInRect(context, KMRectCenteredInRect(size, area));
      }
    }
    UIColor::colorWithRGB255(58, 78, 93).setFill(context);
    drawInRectWithFontLineBreakModeAlignment(
        context, name, CGRectMake(left + 4, top + kImageArea - 2, kCellWidth - 8, kLabelHeight),
        UIFont::systemFontOfSize(10), NSLineBreakMode::TruncatingMiddle, NSTextAlignment::Center);
  }
  return canvas.image();
}

} // namespace kdisk
