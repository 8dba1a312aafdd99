#include "uikit/UINavigationBar.h"

#include <algorithm>
#include <cmath>

#include "platform/RunLoop.h"
#include "uikit/CGContext.h"
#include "uikit/KMBarButton.h"
#include "uikit/UILabel.h"
#include "uikit/UINavigationItem.h"

namespace kdisk {

namespace {
bool g_acceptsBackgroundImages = true;
const UIColor kDefaultTint = UIColor::colorWithRGB255(110, 133, 162);
constexpr CGFloat kMargin = 5;

std::shared_ptr<UIView> viewForItem(const std::shared_ptr<UIBarButtonItem>& item, UIBarMetrics metrics,
                                    std::optional<UIColor> tint) {
  if (item->customView()) return item->customView();
  return std::make_shared<KMBarButton>(item, KMBarButtonKind::Item, metrics, tint);
}
}  // namespace

KMNavigationBarAppearance& UINavigationBar::appearance() {
  static KMNavigationBarAppearance shared;
  return shared;
}
bool UINavigationBar::acceptsBackgroundImages() { return g_acceptsBackgroundImages; }
void UINavigationBar::setAcceptsBackgroundImagesForTesting(bool accepts) {
  g_acceptsBackgroundImages = accepts;
}

UINavigationBar::UINavigationBar(CGRect frame) : UIView(frame) {
  setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  setClipsToBounds(false);
}

UINavigationBar::~UINavigationBar() {
  for (auto* item : m_items) item->setChangeHandler(nullptr);
}

void UINavigationBar::setItems(std::vector<UINavigationItem*> items, KMAnimated) {
  for (auto* item : m_items) item->setChangeHandler(nullptr);
  m_items = std::move(items);
  if (auto* top = topItem()) {
    top->setChangeHandler([this] { reloadItems(); });
  }
  reloadItems();
}

void UINavigationBar::setBarStyle(UIBarStyle style) {
  m_barStyle = style;
  reloadItems();
}
std::optional<UIColor> UINavigationBar::tintColor() const {
  return m_tintColor ? m_tintColor : appearance().tintColor;
}
void UINavigationBar::setTintColor(std::optional<UIColor> color) {
  m_tintColor = std::move(color);
  reloadItems();
}
void UINavigationBar::setBackgroundImageForBarMetrics(std::shared_ptr<UIImage> image, UIBarMetrics metrics) {
  if (image)
    m_backgroundImages[metrics] = std::move(image);
  else
    m_backgroundImages.erase(metrics);
  setNeedsDisplay();
}
std::shared_ptr<UIImage> UINavigationBar::backgroundImageForBarMetrics(UIBarMetrics metrics) const {
  if (auto found = m_backgroundImages.find(metrics); found != m_backgroundImages.end()) return found->second;
  const auto& shared = appearance().backgroundImages;
  if (auto found = shared.find(metrics); found != shared.end()) return found->second;
  return nullptr;
}
void UINavigationBar::setTitleTextAttributes(std::optional<UITextAttributes> attributes) {
  m_titleTextAttributes = std::move(attributes);
  reloadItems();
}
std::optional<UITextAttributes> UINavigationBar::titleTextAttributes() const {
  return m_titleTextAttributes ? m_titleTextAttributes : appearance().titleTextAttributes;
}
void UINavigationBar::setBarMetrics(UIBarMetrics metrics) {
  m_metrics = metrics;
  reloadItems();
}

void UINavigationBar::reloadItems() {
  for (auto& view : m_leftViews) view->removeFromSuperview();
  for (auto& view : m_rightViews) view->removeFromSuperview();
  if (m_backButton) m_backButton->removeFromSuperview();
  if (m_titleView) m_titleView->removeFromSuperview();
  if (m_titleLabel) m_titleLabel->removeFromSuperview();
  if (m_promptLabel) m_promptLabel->removeFromSuperview();
  m_leftViews.clear();
  m_rightViews.clear();
  m_backButton.reset();
  m_titleView.reset();
  m_titleLabel.reset();
  m_promptLabel.reset();
  UINavigationItem* top = topItem();
  if (!top) {
    setNeedsLayout();
    return;
  }
  const auto tint = tintColor();
  // Items may outlive the bar; a change reaches it only while it lives.
  std::weak_ptr<UIResponder> weakBar = weak_from_this();
  auto reloadLater = [weakBar] {
    RunLoop::main().post([weakBar] {
      if (auto strong = weakBar.lock()) static_cast<UINavigationBar*>(strong.get())->reloadItems();
    });
  };
  for (auto& item : top->leftBarButtonItems()) {
    auto view = viewForItem(item, m_metrics, tint);
    item->setChangeHandler(reloadLater);
    m_leftViews.push_back(view);
    addSubview(view);
  }
  if (m_leftViews.empty() && !top->hidesBackButton()) {
    if (auto* back = backItem()) {
      auto item = back->backBarButtonItem();
      if (!item) {
        const std::string title = back->title().empty() || back->title().size() > 12 ? "Back" : back->title();
        item = UIBarButtonItem::itemWithTitleStyleAction(title, UIBarButtonItemStyle::Bordered, nullptr);
      } else {
        // A back item given by the screen below is shown with back-button looks.
        item = UIBarButtonItem::itemWithTitleStyleAction(item->title(), item->style(), nullptr);
      }
      std::weak_ptr<UIResponder> weak = weak_from_this();
      item->setAction([weak](UIBarButtonItem&) {
        if (auto strong = weak.lock()) {
          auto* bar = static_cast<UINavigationBar*>(strong.get());
          if (bar->m_backAction) bar->m_backAction();
        }
      });
      m_backButton = std::make_shared<KMBarButton>(item, KMBarButtonKind::Back, m_metrics, tint);
      addSubview(m_backButton);
    }
  }
  for (auto& item : top->rightBarButtonItems()) {
    auto view = viewForItem(item, m_metrics, tint);
    item->setChangeHandler(reloadLater);
    m_rightViews.push_back(view);
    addSubview(view);
  }
  if (top->titleView()) {
    m_titleView = top->titleView();
    addSubview(m_titleView);
  } else {
    m_titleLabel = std::make_shared<UILabel>();
    m_titleLabel->setText(top->title());
    m_titleLabel->setTextAlignment(NSTextAlignment::Center);
    m_titleLabel->setFont(UIFont::boldSystemFontOfSize(20));
    m_titleLabel->setTextColor(UIColor::whiteColor());
    m_titleLabel->setShadowColor(UIColor::colorWithWhiteAlpha(0, 0.5));
    m_titleLabel->setShadowOffset({0, -1});
    m_titleLabel->setAdjustsFontSizeToFitWidth(true);
    m_titleLabel->setMinimumFontSize(14);
    if (auto attributes = titleTextAttributes()) {
      if (attributes->font) m_titleLabel->setFont(*attributes->font);
      if (attributes->textColor) m_titleLabel->setTextColor(*attributes->textColor);
      if (attributes->textShadowColor) m_titleLabel->setShadowColor(*attributes->textShadowColor);
      if (attributes->textShadowOffset) m_titleLabel->setShadowOffset(*attributes->textShadowOffset);
    }
    addSubview(m_titleLabel);
  }
  if (top->prompt()) {
    m_promptLabel = std::make_shared<UILabel>();
    m_promptLabel->setText(*top->prompt());
    m_promptLabel->setTextAlignment(NSTextAlignment::Center);
    m_promptLabel->setFont(UIFont::systemFontOfSize(13));
    m_promptLabel->setTextColor(UIColor::whiteColor());
    addSubview(m_promptLabel);
  }
  setNeedsLayout();
  setNeedsDisplay();
}

CGSize UINavigationBar::sizeThatFits(CGSize size) const {
  const bool prompt = topItem() && topItem()->prompt();
  return {size.width > 0 ? size.width : 320, kHeight + (prompt ? kPromptHeight : 0)};
}

void UINavigationBar::layoutSubviews() {
  const CGRect b = bounds();
  const CGFloat top = m_promptLabel ? kPromptHeight : 0;
  if (m_promptLabel) m_promptLabel->setFrame(CGRectMake(0, 6, b.size.width, 20));
  const CGFloat rowHeight = b.size.height - top;
  auto place = [&](UIView& view, CGFloat x, CGFloat width) {
    CGSize size = view.sizeThatFits({width, rowHeight});
    if (size.width <= 0) size = view.frame().size;
    view.setFrame(CGRectMake(x, top + std::round((rowHeight - size.height) / 2), size.width, size.height));
    return size.width;
  };
  CGFloat left = kMargin;
  if (m_backButton) left += place(*m_backButton, left, 120) + kMargin;
  for (auto& view : m_leftViews) left += place(*view, left, 120) + kMargin;
  CGFloat right = b.size.width - kMargin;
  for (auto& view : m_rightViews) {
    CGSize size = view->sizeThatFits({120, rowHeight});
    if (size.width <= 0) size = view->frame().size;
    right -= size.width;
    place(*view, right, size.width);
    right -= kMargin;
  }
  // The title is centred on the bar when that leaves it clear of the buttons.
  const CGFloat room = std::max<CGFloat>(0, right - left);
  if (m_titleView) {
    CGSize size = m_titleView->frame().size;
    size.width = std::min(size.width, room);
    CGFloat x = std::round((b.size.width - size.width) / 2);
    x = std::clamp(x, left, std::max(left, right - size.width));
    m_titleView->setFrame(CGRectMake(x, top + std::round((rowHeight - size.height) / 2), size.width, size.height));
  } else if (m_titleLabel) {
    CGFloat width = std::min(m_titleLabel->sizeThatFits(CGSizeZero).width, room);
    CGFloat x = std::round((b.size.width - width) / 2);
    x = std::clamp(x, left, std::max(left, right - width));
    m_titleLabel->setFrame(CGRectMake(x, top, width, rowHeight));
  }
}

void UINavigationBar::drawRect(cairo_t* context, CGRect rect) {
  if (acceptsBackgroundImages()) {
    if (auto image = backgroundImageForBarMetrics(m_metrics)) {
      image->drawInRect(context, rect);
      return;
    }
  }
  UIColor tint = m_barStyle == UIBarStyle::Default ? tintColor().value_or(kDefaultTint)
                                                   : UIColor::colorWithWhiteAlpha(0.1, 1);
  CGContextFillRect(context, rect, tint);
  // A lighter upper half gives the bar its gloss.
  CGContextFillRect(context, CGRectMake(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height / 2),
                    UIColor::colorWithWhiteAlpha(1, 0.12));
  CGContextFillRect(context, CGRectMake(rect.origin.x, CGRectGetMaxY(rect) - 1, rect.size.width, 1),
                    UIColor::colorWithWhiteAlpha(0, 0.4));
}

}  // namespace kdisk
