#include "uikit/CALayer.h"

#include "uikit/UIView.h"

namespace kdisk {

void CALayer::setCornerRadius(CGFloat radius) {
  m_cornerRadius = radius;
  m_view.setNeedsDisplay();
}
void CALayer::setBorderWidth(CGFloat width) {
  m_borderWidth = width;
  m_view.setNeedsDisplay();
}
void CALayer::setBorderColor(UIColor color) {
  m_borderColor = std::move(color);
  m_view.setNeedsDisplay();
}
bool CALayer::masksToBounds() const { return m_view.clipsToBounds(); }
void CALayer::setMasksToBounds(bool masks) { m_view.setClipsToBounds(masks); }

double CALayer::currentValue(const std::string& keyPath) const {
  for (const auto& [key, running] : m_animations)
    if (running.animation.keyPath == keyPath) return running.value;
  return keyPath == "opacity" ? 1.0 : 0.0;
}

void CALayer::addAnimationForKey(const CABasicAnimation& animation, const std::string& key) {
  const double from = animation.fromValue.value_or(currentValue(animation.keyPath));
  removeAnimationForKey(key);
  m_animations[key] = Running{animation, from, from};
  const std::string trackKey = "layer." + key;
  KMAnimator::shared().addTimedTrack(
      m_view, trackKey, animation.duration, animation.timingFunction,
      [this, key](double progress) {
        auto found = m_animations.find(key);
        if (found == m_animations.end()) return;
        auto& running = found->second;
        running.value = running.from + (running.animation.toValue - running.from) * progress;
        m_view.setNeedsDisplay();
      },
      [this, key] {
        auto found = m_animations.find(key);
        if (found == m_animations.end()) return;
        const bool keep = !found->second.animation.removedOnCompletion &&
                          found->second.animation.fillMode == CAFillMode::Forwards;
        if (keep)
          found->second.value = found->second.animation.toValue;
        else
          m_animations.erase(found);
        m_view.setNeedsDisplay();
      });
}

const CABasicAnimation* CALayer::animationForKey(const std::string& key) const {
  auto found = m_animations.find(key);
  return found == m_animations.end() ? nullptr : &found->second.animation;
}

void CALayer::removeAnimationForKey(const std::string& key) {
  if (m_animations.erase(key) == 0) return;
  KMAnimator::shared().removeTrack(m_view, "layer." + key);
  m_view.setNeedsDisplay();
}

void CALayer::removeAllAnimations() {
  for (const auto& key : animationKeys()) removeAnimationForKey(key);
}

std::vector<std::string> CALayer::animationKeys() const {
  std::vector<std::string> keys;
  for (const auto& [key, running] : m_animations) keys.push_back(key);
  return keys;
}

CGFloat CALayer::presentationRotation() const {
  CGFloat rotation = 0;
  for (const auto& [key, running] : m_animations)
    if (running.animation.keyPath == "transform.rotation") rotation += running.value;
  return rotation;
}

CGFloat CALayer::presentationOpacity() const {
  CGFloat opacity = 1;
  for (const auto& [key, running] : m_animations)
    if (running.animation.keyPath == "opacity") opacity *= running.value;
  return opacity;
}

}  // namespace kdisk
