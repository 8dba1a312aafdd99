#pragma once
// The drawing attributes a view keeps beside its geometry (corner radius,
// border) and the explicit animations added to it by key. Owned by its view.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "graphics/CGGeometry.h"
#include "graphics/UIColor.h"
#include "uikit/CABasicAnimation.h"

namespace kdisk {

class UIView;

class CALayer {
 public:
  explicit CALayer(UIView& view) : m_view(view) {}

  CGFloat cornerRadius() const { return m_cornerRadius; }
  void setCornerRadius(CGFloat radius);
  CGFloat borderWidth() const { return m_borderWidth; }
  void setBorderWidth(CGFloat width);
  const UIColor& borderColor() const { return m_borderColor; }
  void setBorderColor(UIColor color);
  bool masksToBounds() const;
  void setMasksToBounds(bool masks);

  // Replaces an animation with the same key.
  void addAnimationForKey(const CABasicAnimation& animation, const std::string& key);
  const CABasicAnimation* animationForKey(const std::string& key) const;
  void removeAnimationForKey(const std::string& key);
  void removeAllAnimations();
  std::vector<std::string> animationKeys() const;

  // What drawing shows now: the extra rotation and the opacity factor of the
  // running (or kept) animations.
  CGFloat presentationRotation() const;
  CGFloat presentationOpacity() const;

 private:
  struct Running {
    CABasicAnimation animation;
    double from = 0;
    double value = 0;
  };
  double currentValue(const std::string& keyPath) const;
  UIView& m_view;
  CGFloat m_cornerRadius = 0;
  CGFloat m_borderWidth = 0;
  UIColor m_borderColor = UIColor::blackColor();
  std::map<std::string, Running> m_animations;
};

}  // namespace kdisk
