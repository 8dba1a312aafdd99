#include "uikit/UIToolbar.h"

#include <cmath>

#include "platform/RunLoop.h"
#include "uikit/CGContext.h"
#include "uikit/KMBarButton.h"

namespace kdisk {

namespace {
bool g_acceptsBackgroundImages = true;
constexpr CGFloat kMargin = 6;
constexpr CGFloat kGap = 8;
}  // namespace

KMToolbarAppearance& UIToolbar::appearance() {
  static KMToolbarAppearance shared;
  return shared;
}
bool UIToolbar::acceptsBackgroundImages() { return g_acceptsBackgroundImages; }
void UIToolbar::setAcceptsBackgroundImagesForTesting(bool accepts) { g_acceptsBackgroundImages = accepts; }

UIToolbar::UIToolbar(CGRect frame) : UIView(frame) {
  setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
}

void UIToolbar::setItemsAnimated(std::vector<std::shared_ptr<UIBarButtonItem>> items, KMAnimated) {
  m_items = std::move(items);
  reloadItems();
}

void UIToolbar::setBarStyle(UIBarStyle style) {
  m_barStyle = style;
  reloadItems();
}
std::optional<UIColor> UIToolbar::tintColor() const {
  return m_tintColor ? m_tintColor : appearance().tintColor;
}
void UIToolbar::setTintColor(std::optional<UIColor> color) {
  m_tintColor = std::move(color);
  reloadItems();
}

void UIToolbar::setBackgroundImageForToolbarPositionBarMetrics(std::shared_ptr<UIImage> image,
                                                               UIToolbarPosition position,
                                                               UIBarMetrics metrics) {
  if (image)
    m_backgroundImages[{position, metrics}] = std::move(image);
  else
    m_backgroundImages.erase({position, metrics});
  setNeedsDisplay();
}

std::shared_ptr<UIImage> UIToolbar::backgroundImageForToolbarPositionBarMetrics(UIToolbarPosition position,
                                                                                UIBarMetrics metrics) const {
  for (auto candidate : {position, UIToolbarPosition::Any}) {
    if (auto found = m_backgroundImages.find({candidate, metrics}); found != m_backgroundImages.end())
      return found->second;
    const auto& shared = appearance().backgroundImages;
    if (auto found = shared.find({candidate, metrics}); found != shared.end()) return found->second;
  }
  return nullptr;
}

void UIToolbar::reloadItems() {
  for (auto& view : m_itemViews)
    if (view) view->removeFromSuperview();
  m_itemViews.clear();
  std::weak_ptr<UIResponder> weak = weak_from_this();
  for (auto& item : m_items) {
    std::shared_ptr<UIView> view;
    if (item->customView())
      view = item->customView();
    else if (!item->isSpace())
      view = std::make_shared<KMBarButton>(item, KMBarButtonKind::Item, UIBarMetrics::Default, tintColor());
    if (!item->customView() || item->isSpace()) {
      item->setChangeHandler([weak] {
        RunLoop::main().post([weak] {
          if (auto strong = weak.lock()) static_cast<UIToolbar*>(strong.get())->reloadItems();
        });
      });
    }
    m_itemViews.push_back(view);
    if (view) addSubview(view);
  }
  setNeedsLayout();
  setNeedsDisplay();
}

void UIToolbar::layoutSubviews() {
  const CGRect b = bounds();
  std::vector<CGFloat> widths(m_items.size(), 0);
  CGFloat used = 0;
  int flexible = 0;
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    const auto& item = m_items[i];
    if (item->isFlexibleSpace()) {
      flexible++;
      continue;
    }
    if (item->isSpace()) {
      widths[i] = item->width();
    } else if (m_itemViews[i]) {
      CGSize size = m_itemViews[i]->sizeThatFits({b.size.width, b.size.height});
      if (size.width <= 0) size = m_itemViews[i]->frame().size;
      widths[i] = size.width;
    }
    used += widths[i];
  }
  const CGFloat gaps = m_items.empty() ? 0 : kGap * CGFloat(m_items.size() - 1);
  const CGFloat spare = std::max<CGFloat>(0, b.size.width - 2 * kMargin - used - gaps);
  CGFloat x = kMargin;
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    if (m_items[i]->isFlexibleSpace()) widths[i] = flexible ? spare / flexible : 0;
    if (auto& view = m_itemViews[i]) {
      CGSize size = view->sizeThatFits({widths[i], b.size.height});
      if (size.height <= 0) size = view->frame().size;
      view->setFrame(CGRectMake(std::round(x), std::round((b.size.height - size.height) / 2), widths[i],
                                size.height));
    }
    x += widths[i] + kGap;
  }
}

void UIToolbar::drawRect(cairo_t* context, CGRect rect) {
  if (acceptsBackgroundImages()) {
    if (auto image = backgroundImageForToolbarPositionBarMetrics(m_position, UIBarMetrics::Default)) {
      image->drawInRect(context, rect);
      return;
    }
  }
  const UIColor tint = m_barStyle == UIBarStyle::Default
                           ? tintColor().value_or(UIColor::colorWithRGB255(110, 133, 162))
                           : UIColor::colorWithWhiteAlpha(0.1, 1);
  CGContextFillRect(context, rect, tint);
  CGContextFillRect(context, CGRectMake(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height / 2),
                    UIColor::colorWithWhiteAlpha(1, 0.12));
  CGContextFillRect(context, CGRectMake(rect.origin.x, rect.origin.y, rect.size.width, 1),
                    UIColor::colorWithWhiteAlpha(0, 0.4));
}

}  // namespace kdisk
