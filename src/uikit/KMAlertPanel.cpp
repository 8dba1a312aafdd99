#include "uikit/KMAlertPanel.h"

#include <algorithm>

#include "uikit/UIButton.h"
#include "uikit/UIScreen.h"
#include "uikit/UIWindow.h"

namespace kdisk {

namespace {
std::vector<std::shared_ptr<KMAlertPanel>>& shownPanels() {
  static std::vector<std::shared_ptr<KMAlertPanel>> panels;
  return panels;
}
}  // namespace

KMAlertPanel::KMAlertPanel(std::string title) : m_title(std::move(title)) {}
KMAlertPanel::~KMAlertPanel() = default;

int KMAlertPanel::addButtonWithTitle(std::string title) {
  m_buttonTitles.push_back(std::move(title));
  return int(m_buttonTitles.size()) - 1;
}

std::string KMAlertPanel::buttonTitleAtIndex(int index) const {
  if (index < 0 || index >= int(m_buttonTitles.size())) return {};
  return m_buttonTitles[std::size_t(index)];
}

int KMAlertPanel::firstOtherButtonIndex() const {
  for (int i = 0; i < numberOfButtons(); ++i)
    if (i != m_cancelButtonIndex && i != m_destructiveButtonIndex) return i;
  return -1;
}

std::vector<std::shared_ptr<KMAlertPanel>> KMAlertPanel::visiblePanels() { return shownPanels(); }

std::shared_ptr<UIButton> KMAlertPanel::makeButton(int index) {
  auto button = UIButton::buttonWithType(UIButtonType::Custom);
  button->setTitleForState(buttonTitleAtIndex(index), UIControlStateNormal);
  std::weak_ptr<UIResponder> weak = weak_from_this();
  button->addActionForControlEvents(
      [weak, index](UIControl&) {
        if (auto strong = weak.lock()) static_cast<KMAlertPanel*>(strong.get())->buttonTapped(index);
      },
      UIControlEventTouchUpInside);
  return button;
}

void KMAlertPanel::show() {
  if (m_visible) return;
  UIWindow* window = UIWindow::keyWindow();
  const CGRect bounds = window ? window->bounds() : UIScreen::mainScreen().bounds();
  m_visible = true;
  m_dismissing = false;
  shownPanels().push_back(std::static_pointer_cast<KMAlertPanel>(shared_from_this()));
  m_overlay = std::make_shared<UIView>(bounds);
  m_overlay->setBackgroundColor(UIColor::colorWithWhiteAlpha(0, 0.4));
  m_overlay->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  for (auto& subview : std::vector(subviews())) subview->removeFromSuperview();
  buildContent(bounds);
  m_overlay->addSubview(sharedView());
  willPresent();
  if (window) window->addSubview(m_overlay);
  animateIn(KMAnimated::Yes);
  didPresent();
}

void KMAlertPanel::animateIn(KMAnimated animated) {
  if (!isAnimated(animated)) return;
  m_overlay->setAlpha(0);
  UIView::animateWithDurationAnimations(0.2, [this] { m_overlay->setAlpha(1); });
}

void KMAlertPanel::animateOut(KMAnimated animated, std::function<void()> done) {
  if (!isAnimated(animated)) {
    done();
    return;
  }
  UIView::animateWithDurationAnimationsCompletion(0.2, [this] { m_overlay->setAlpha(0); },
                                                  [done](bool) { done(); });
}

void KMAlertPanel::buttonTapped(int index) {
  if (!m_visible || m_dismissing) return;
  auto keepAlive = shared_from_this();
  clickedButtonAtIndex(index);
  dismissWithClickedButtonIndexAnimated(index, KMAnimated::Yes);
}

void KMAlertPanel::dismissWithClickedButtonIndexAnimated(int index, KMAnimated animated) {
  if (!m_visible || m_dismissing) return;
  m_dismissing = true;
  auto self = std::static_pointer_cast<KMAlertPanel>(shared_from_this());
  willDismissWithButtonIndex(index);
  // Touches stop reaching the panel as soon as it starts to go.
  m_overlay->setUserInteractionEnabled(false);
  animateOut(animated, [self, index] {
    self->m_overlay->removeFromSuperview();
    self->removeFromSuperview();
    self->m_visible = false;
    self->m_dismissing = false;
    auto& panels = shownPanels();
    panels.erase(std::remove(panels.begin(), panels.end(), self), panels.end());
    self->didDismissWithButtonIndex(index);
  });
}

}  // namespace kdisk
