#include "screens/browsing/KMTableViewGroupHeader.h"

#include <cmath>
#include <numbers>

#include "graphics/NSStringDrawing.h"
#include "uikit/CALayer.h"

namespace kdisk {

namespace {
const UIFont& titleFont() {
  static const UIFont font = UIFont::boldSystemFontOfSize(17);
  return font;
}
}  // namespace

KMTableViewGroupHeader::KMTableViewGroupHeader(CGRect frame) : UIControl(frame) {
  setBackgroundColor(UIColor::clearColor());
  setOpaque(false);
  m_background = UIImage::imageNamed("headerView-bg.png");
  m_arrow = std::make_shared<UIImageView>(UIImage::imageNamed("roster-header-arrow.png"));
  m_arrow->setContentMode(UIViewContentMode::Center);
  addSubview(m_arrow);
}

CGFloat KMTableViewGroupHeader::titleX() const {
  if (m_arrowHidden) return kTitleX;
  return kArrowX + m_arrow->bounds().size.width + kTitleX;
}

void KMTableViewGroupHeader::setTitleText(std::string text) {
  if (text == m_titleText) return;
  m_titleText = std::move(text);
  setNeedsDisplay();
}

void KMTableViewGroupHeader::setArrowHidden(bool hidden) {
  m_arrowHidden = hidden;
  m_arrow->setHidden(hidden);
  setNeedsDisplay();
}

void KMTableViewGroupHeader::setExposedAnimated(bool exposed, KMAnimated animated) {
  m_exposed = exposed;
  const double angle = exposed ? 0 : -std::numbers::pi / 2;
  m_arrow->layer().removeAnimationForKey(kRotateAnimationKey);
  m_arrow->setTransform(CGAffineTransformMakeRotation(angle));
  if (!isAnimated(animated)) return;
  // The model already holds the end angle; the animation turns the drawing
  // from the old angle to it on top of that.
  auto rotation = CABasicAnimation::animationWithKeyPath("transform.rotation");
  rotation.fromValue = exposed ? -std::numbers::pi / 2 : std::numbers::pi / 2;
  rotation.toValue = 0;
  rotation.duration = kRotationDuration;
  m_arrow->layer().addAnimationForKey(rotation, kRotateAnimationKey);
}

void KMTableViewGroupHeader::layoutSubviews() {
  const CGSize arrow = m_arrow->bounds().size;
  m_arrow->setCenter(CGPointMake(kArrowX + arrow.width / 2, bounds().size.height / 2));
}

void KMTableViewGroupHeader::drawRect(cairo_t* context, CGRect) {
  ++m_redrawCount;
  const CGRect b = bounds();
  if (m_background) m_background->drawInRect(context, CGRectMake(0, 0, b.size.width, b.size.height));
  const CGFloat lineHeight = std::ceil(sizeWithFont("Ag", titleFont()).height);
  const CGRect line = CGRectMake(titleX(), std::round((b.size.height - lineHeight) / 2),
                                 std::max<CGFloat>(0, b.size.width - titleX() - kTitleX), lineHeight);
  UIColor::colorWithWhiteAlpha(0, 0.5).setFill(context);
  drawInRectWithFontLineBreakModeAlignment(context, m_titleText, CGRectOffset(line, 0, 1), titleFont(),
                                           NSLineBreakMode::TruncatingTail, NSTextAlignment::Left);
  UIColor::whiteColor().setFill(context);
  drawInRectWithFontLineBreakModeAlignment(context, m_titleText, line, titleFont(),
                                           NSLineBreakMode::TruncatingTail, NSTextAlignment::Left);
}

}  // namespace kdisk
