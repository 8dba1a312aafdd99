#pragma once
// An explicit layer animation of one scalar key path from one value to
// another. Supported key paths: "transform.rotation" (radians, drawn on top of
// the view's transform) and "opacity" (multiplies the view's alpha).
#include <optional>
#include <string>

#include "uikit/KMAnimator.h"

namespace kdisk {

enum class CAFillMode { Removed, Forwards };

struct CABasicAnimation {
  static CABasicAnimation animationWithKeyPath(std::string keyPath) {
    CABasicAnimation animation;
    animation.keyPath = std::move(keyPath);
    return animation;
  }
  std::string keyPath;
  // Nothing means the layer's current value of the key path.
  std::optional<double> fromValue;
  double toValue = 0;
  double duration = 0.25;
  KMAnimationCurve timingFunction = KMAnimationCurve::Linear;
  // After the end: Removed drops back to the model value, Forwards (with
  // removedOnCompletion false) keeps showing toValue.
  bool removedOnCompletion = true;
  CAFillMode fillMode = CAFillMode::Removed;
};

}  // namespace kdisk
