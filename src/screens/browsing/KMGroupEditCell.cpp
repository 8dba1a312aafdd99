#include "screens/browsing/KMGroupEditCell.h"

#include <algorithm>

#include <cmath>

namespace kdisk {

namespace {
std::shared_ptr<UIImage> stretched(const char* name) {
  auto image = UIImage::imageNamed(name);
  return image ? image->stretchableImageWithLeftCapWidthTopCapHeight(1, 1) : nullptr;
}
}  // namespace

KMGroupEditCell::KMGroupEditCell(UITableViewCellStyle style, std::optional<std::string> reuseIdentifier)
    : UITableViewCell(style, std::move(reuseIdentifier)) {
  textLabel().setTextColor(UIColor::colorWithRGB255(58, 78, 93));
  if (detailTextLabel()) detailTextLabel()->setTextColor(UIColor::colorWithRGB255(113, 139, 149));
  setBackgroundColor(UIColor::whiteColor());
  m_normalBackground = std::make_shared<UIImageView>(CGRectZero);
  m_normalBackground->setImage(stretched("list_cell"));
  m_selectedBackground = std::make_shared<UIImageView>(CGRectZero);
  m_selectedBackground->setImage(stretched("list_cell_sellected"));
  setBackgroundView(m_normalBackground);
  m_selectionImageView = std::make_shared<UIImageView>(UIImage::imageNamed("action_circle"));
  m_selectionButton = std::make_shared<UIButton>(UIButtonType::Custom);
  KMGroupEditCell* self = this;
  // The button lives inside this cell, so the raw pointer cannot dangle.
  m_selectionButton->addActionForControlEvents(
      [self](UIControl&) {
        if (auto delegate = self->m_delegate.lock()) delegate->touchedCheckBoxInCell(*self);
      },
      UIControlEventTouchUpInside);
}

KMGroupEditCell::~KMGroupEditCell() = default;

CGRect KMGroupEditCell::selectionCircleFrame() const {
  const CGSize circle = m_selectionImageView->frame().size;
  const CGRect b = bounds();
  return CGRectMake(b.size.width - circle.width - m_rightIndent - m_leftIndent,
                    std::round((b.size.height - circle.height) / 2) + 1, circle.width, circle.height);
}

CGFloat KMGroupEditCell::narrowedContentWidth() const {
  return bounds().size.width - (m_leftIndent + m_rightIndent + m_selectionImageView->frame().size.width);
}

void KMGroupEditCell::layoutSelectionViews() {
  const CGRect circle = selectionCircleFrame();
  m_selectionImageView->setFrame(circle);
  m_selectionButton->setFrame(
      CGRectMake(circle.origin.x, 0, bounds().size.width - circle.origin.x, bounds().size.height));
}

void KMGroupEditCell::layoutSubviews() {
  if (m_contentAnimations == 0) {
    UITableViewCell::layoutSubviews();
    if (m_isInGroupEditMode) {
      CGRect content = contentView().frame();
      content.size.width = narrowedContentWidth();
      contentView().setFrame(content);
    }
    // The labels were laid out for the full width; long texts would run under the circle.
    if (showsCircle()) {
      const CGFloat textEnd = selectionCircleFrame().origin.x - kTextGap - contentView().frame().origin.x;
      for (UILabel* label : {&textLabel(), detailTextLabel()}) {
        if (!label) continue;
        CGRect frame = label->frame();
        frame.size.width = std::max<CGFloat>(0, std::min(frame.size.width, textEnd - frame.origin.x));
        label->setFrame(frame);
      }
    }
  }
  layoutSelectionViews();
}

void KMGroupEditCell::setMultiSelected(bool selected) {
  m_multiSelected = selected;
  if (m_isInGroupEditMode) applySelectionLooks();
}

void KMGroupEditCell::applySelectionLooks() {
  m_selectionImageView->setImage(UIImage::imageNamed(m_multiSelected ? "action_circle_active" : "action_circle"));
  setBackgroundView(m_multiSelected ? m_selectedBackground : m_normalBackground);
}

void KMGroupEditCell::activateGroupEditModeAnimated(KMAnimated animated) {
  if (m_isInGroupEditMode) return;
  m_isInGroupEditMode = true;
  applySelectionLooks();
  layoutSelectionViews();
  if (m_selectionImageView->superview() != this) {
    m_selectionImageView->setAlpha(0);
    addSubview(m_selectionImageView);
  }
  if (m_selectionButton->superview() != this) addSubview(m_selectionButton);
  CGRect content = contentView().frame();
  content.size.width = narrowedContentWidth();
  auto change = [this, content] {
    contentView().setFrame(content);
    m_selectionImageView->setAlpha(1);
  };
  if (!isAnimated(animated)) {
    change();
    return;
  }
  ++m_contentAnimations;
  std::weak_ptr<UIView> weak = sharedView();
  UIView::animateWithDurationAnimationsCompletion(kModeDuration, change, [weak](bool) {
    auto strong = std::static_pointer_cast<KMGroupEditCell>(weak.lock());
    if (!strong) return;
    --strong->m_contentAnimations;
    strong->setNeedsLayout();
  });
}

void KMGroupEditCell::resignGroupEditModeAnimated(KMAnimated animated) {
  if (!m_isInGroupEditMode) return;
  m_isInGroupEditMode = false;
  CGRect content = contentView().frame();
  content.size.width = bounds().size.width;
  auto change = [this, content] {
    contentView().setFrame(content);
    m_selectionImageView->setAlpha(0);
  };
  std::weak_ptr<UIView> weak = sharedView();
  auto finished = [weak, animated](bool) {
    auto strong = std::static_pointer_cast<KMGroupEditCell>(weak.lock());
    if (!strong) return;
    if (isAnimated(animated)) --strong->m_contentAnimations;
    // Entered again while fading out: the circle stays.
    if (!strong->m_isInGroupEditMode) {
      strong->m_selectionImageView->removeFromSuperview();
      strong->m_selectionButton->removeFromSuperview();
      strong->setBackgroundView(strong->m_normalBackground);
    }
    strong->setNeedsLayout();
  };
  if (!isAnimated(animated)) {
    change();
    finished(true);
    return;
  }
  ++m_contentAnimations;
  UIView::animateWithDurationAnimationsCompletion(kModeDuration, change, finished);
}

}  // namespace kdisk
