#include "uikit/UIBarButtonItem.h"

namespace kdisk {

namespace {
bool g_acceptsBackgroundImages = true;

template <typename Map, typename Key>
auto findIn(const Map& own, const Map& shared, const Key& key) -> typename Map::mapped_type {
  if (auto found = own.find(key); found != own.end()) return found->second;
  if (auto found = shared.find(key); found != shared.end()) return found->second;
  return {};
}

// A state without its own image borrows the normal one.
std::shared_ptr<UIImage> imageFor(const std::map<std::pair<unsigned, UIBarMetrics>, std::shared_ptr<UIImage>>& own,
                                  const std::map<std::pair<unsigned, UIBarMetrics>, std::shared_ptr<UIImage>>& shared,
                                  unsigned state, UIBarMetrics metrics) {
  if (auto image = findIn(own, shared, std::make_pair(state, metrics))) return image;
  if (metrics != UIBarMetrics::Default)
    if (auto image = findIn(own, shared, std::make_pair(state, UIBarMetrics::Default))) return image;
  if (state != UIControlStateNormal) return imageFor(own, shared, UIControlStateNormal, metrics);
  return nullptr;
}
}  // namespace

KMBarButtonItemAppearance& UIBarButtonItem::appearance() {
  static KMBarButtonItemAppearance shared;
  return shared;
}

bool UIBarButtonItem::acceptsBackgroundImages() { return g_acceptsBackgroundImages; }
void UIBarButtonItem::setAcceptsBackgroundImagesForTesting(bool accepts) {
  g_acceptsBackgroundImages = accepts;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::itemWithTitleStyleAction(std::string title,
                                                                           UIBarButtonItemStyle style,
                                                                           Action action) {
  auto item = std::make_shared<UIBarButtonItem>();
  item->m_title = std::move(title);
  item->m_style = style;
  item->m_action = std::move(action);
  return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::itemWithImageStyleAction(
    std::shared_ptr<UIImage> image, UIBarButtonItemStyle style, Action action) {
  auto item = std::make_shared<UIBarButtonItem>();
  item->m_image = std::move(image);
  item->m_style = style;
  item->m_action = std::move(action);
  return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::itemWithBarButtonSystemItemAction(
    UIBarButtonSystemItem systemItem, Action action) {
  auto item = std::make_shared<UIBarButtonItem>();
  item->m_systemItem = systemItem;
  item->m_style = systemItem == UIBarButtonSystemItem::Done ? UIBarButtonItemStyle::Done
                                                             : UIBarButtonItemStyle::Bordered;
  item->m_action = std::move(action);
  return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::itemWithCustomView(std::shared_ptr<UIView> view) {
  auto item = std::make_shared<UIBarButtonItem>();
  item->m_customView = std::move(view);
  return item;
}

std::string UIBarButtonItem::title() const {
  if (m_title) return *m_title;
  if (!m_systemItem) return {};
  switch (*m_systemItem) {
    case UIBarButtonSystemItem::Done: return "Done";
    case UIBarButtonSystemItem::Cancel: return "Cancel";
    case UIBarButtonSystemItem::Edit: return "Edit";
    case UIBarButtonSystemItem::Save: return "Save";
    case UIBarButtonSystemItem::Add: return "+";
    case UIBarButtonSystemItem::Search: return "Search";
    case UIBarButtonSystemItem::Refresh: return "Refresh";
    case UIBarButtonSystemItem::Stop: return "Stop";
    case UIBarButtonSystemItem::Trash: return "Trash";
    case UIBarButtonSystemItem::Action: return "Action";
    default: return {};
  }
}

void UIBarButtonItem::changed() {
  if (m_changeHandler) m_changeHandler();
}

void UIBarButtonItem::setTitle(std::string title) {
  m_title = std::move(title);
  changed();
}
void UIBarButtonItem::setImage(std::shared_ptr<UIImage> image) {
  m_image = std::move(image);
  changed();
}
void UIBarButtonItem::setStyle(UIBarButtonItemStyle style) {
  m_style = style;
  changed();
}
void UIBarButtonItem::setCustomView(std::shared_ptr<UIView> view) {
  m_customView = std::move(view);
  changed();
}
void UIBarButtonItem::setWidth(CGFloat width) {
  m_width = width;
  changed();
}
void UIBarButtonItem::setEnabled(bool enabled) {
  if (m_enabled == enabled) return;
  m_enabled = enabled;
  changed();
}
std::optional<UIColor> UIBarButtonItem::tintColor() const {
  return m_tintColor ? m_tintColor : appearance().tintColor;
}
void UIBarButtonItem::setTintColor(std::optional<UIColor> color) {
  m_tintColor = std::move(color);
  changed();
}

void UIBarButtonItem::performAction() {
  if (!m_enabled || !m_action) return;
  auto keepAlive = shared_from_this();
  auto action = m_action;
  action(*this);
}

void UIBarButtonItem::setBackgroundImageForStateBarMetrics(std::shared_ptr<UIImage> image,
                                                           unsigned state, UIBarMetrics metrics) {
  if (image)
    m_own.backgroundImages[{state, metrics}] = std::move(image);
  else
    m_own.backgroundImages.erase({state, metrics});
  changed();
}

std::shared_ptr<UIImage> UIBarButtonItem::backgroundImageForStateBarMetrics(unsigned state,
                                                                            UIBarMetrics metrics) const {
  return imageFor(m_own.backgroundImages, appearance().backgroundImages, state, metrics);
}

void UIBarButtonItem::setBackButtonBackgroundImageForStateBarMetrics(std::shared_ptr<UIImage> image,
                                                                     unsigned state,
                                                                     UIBarMetrics metrics) {
  if (image)
    m_own.backButtonBackgroundImages[{state, metrics}] = std::move(image);
  else
    m_own.backButtonBackgroundImages.erase({state, metrics});
  changed();
}

std::shared_ptr<UIImage> UIBarButtonItem::backButtonBackgroundImageForStateBarMetrics(
    unsigned state, UIBarMetrics metrics) const {
  return imageFor(m_own.backButtonBackgroundImages, appearance().backButtonBackgroundImages, state,
                  metrics);
}

void UIBarButtonItem::setBackgroundVerticalPositionAdjustmentForBarMetrics(CGFloat adjustment,
                                                                           UIBarMetrics metrics) {
  m_own.backgroundVerticalPositionAdjustments[metrics] = adjustment;
  changed();
}

CGFloat UIBarButtonItem::backgroundVerticalPositionAdjustmentForBarMetrics(UIBarMetrics metrics) const {
  return findIn(m_own.backgroundVerticalPositionAdjustments,
                appearance().backgroundVerticalPositionAdjustments, metrics);
}

void UIBarButtonItem::setTitleTextAttributesForState(std::optional<UITextAttributes> attributes,
                                                     unsigned state) {
  if (attributes)
    m_own.titleTextAttributes[state] = *attributes;
  else
    m_own.titleTextAttributes.erase(state);
  changed();
}

std::optional<UITextAttributes> UIBarButtonItem::titleTextAttributesForState(unsigned state) const {
  if (auto found = m_own.titleTextAttributes.find(state); found != m_own.titleTextAttributes.end())
    return found->second;
  const auto& shared = appearance().titleTextAttributes;
  if (auto found = shared.find(state); found != shared.end()) return found->second;
  return std::nullopt;
}

}  // namespace kdisk
