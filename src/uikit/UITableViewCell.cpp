#include "uikit/UITableViewCell.h"

#include <cmath>

#include "uikit/CGContext.h"
#include "uikit/UITableView.h"

namespace kdisk {

namespace {
constexpr CGFloat kMargin = 10;
constexpr CGFloat kAccessoryWidth = 20;

// The chevron or tick drawn for the built-in accessories.
class KMCellAccessoryView : public UIView {
 public:
  explicit KMCellAccessoryView(UITableViewCellAccessoryType type)
      : UIView(CGRectMake(0, 0, kAccessoryWidth, 20)), m_type(type) {
    setOpaque(false);
    setUserInteractionEnabled(false);
  }
  void drawRect(cairo_t* context, CGRect rect) override {
    const CGPoint c = CGRectGetCenter(rect);
    if (m_type == UITableViewCellAccessoryType::Checkmark) {
      CGContextBeginPath(context);
      CGContextMoveToPoint(context, c.x - 6, c.y);
      CGContextAddLineToPoint(context, c.x - 2, c.y + 5);
      CGContextAddLineToPoint(context, c.x + 6, c.y - 6);
      CGContextStrokePath(context, 2.5, UIColor::colorWithRGB255(50, 79, 133));
      return;
    }
    CGContextBeginPath(context);
    CGContextMoveToPoint(context, c.x - 2, c.y - 5);
    CGContextAddLineToPoint(context, c.x + 3, c.y);
    CGContextAddLineToPoint(context, c.x - 2, c.y + 5);
    CGContextStrokePath(context, 2.5, UIColor::colorWithWhiteAlpha(0.5, 1));
  }

 private:
  UITableViewCellAccessoryType m_type;
};
}  // namespace

UITableViewCell::UITableViewCell(UITableViewCellStyle style, std::optional<std::string> reuseIdentifier)
    : UIView(CGRectMake(0, 0, 320, 44)), m_style(style), m_reuseIdentifier(std::move(reuseIdentifier)) {
  setBackgroundColor(UIColor::whiteColor());
  setClipsToBounds(true);
  m_contentView = std::make_shared<UIView>(bounds());
  m_contentView->setOpaque(false);
  addSubview(m_contentView);
  m_imageView = std::make_shared<UIImageView>();
  m_contentView->addSubview(m_imageView);
  m_textLabel = std::make_shared<UILabel>();
  m_textLabel->setFont(UIFont::boldSystemFontOfSize(style == UITableViewCellStyle::Subtitle ? 18 : 20));
  m_textLabel->setHighlightedTextColor(UIColor::whiteColor());
  m_contentView->addSubview(m_textLabel);
  if (style != UITableViewCellStyle::Default) {
    m_detailTextLabel = std::make_shared<UILabel>();
    m_detailTextLabel->setFont(UIFont::systemFontOfSize(14));
    m_detailTextLabel->setTextColor(style == UITableViewCellStyle::Subtitle
                                        ? UIColor::grayColor()
                                        : UIColor::colorWithRGB255(56, 84, 135));
    m_detailTextLabel->setHighlightedTextColor(UIColor::whiteColor());
    if (style == UITableViewCellStyle::Value1) m_detailTextLabel->setTextAlignment(NSTextAlignment::Right);
    m_contentView->addSubview(m_detailTextLabel);
  }
}

UITableViewCell::~UITableViewCell() = default;

void UITableViewCell::setAccessoryType(UITableViewCellAccessoryType type) {
  if (m_drawnAccessory) {
    m_drawnAccessory->removeFromSuperview();
    m_drawnAccessory.reset();
  }
  m_accessoryType = type;
  setNeedsLayout();
}
void UITableViewCell::setAccessoryView(std::shared_ptr<UIView> view) {
  if (m_accessoryView) m_accessoryView->removeFromSuperview();
  m_accessoryView = std::move(view);
  setNeedsLayout();
}
void UITableViewCell::setSelectionStyle(UITableViewCellSelectionStyle style) { m_selectionStyle = style; }

void UITableViewCell::setBackgroundView(std::shared_ptr<UIView> view) {
  if (m_backgroundView) m_backgroundView->removeFromSuperview();
  m_backgroundView = std::move(view);
  if (m_backgroundView) insertSubviewAtIndex(m_backgroundView, 0);
  setNeedsLayout();
}

std::shared_ptr<UIView> UITableViewCell::selectedBackgroundView() {
  if (!m_selectedBackgroundView) {
    m_selectedBackgroundView = std::make_shared<UIView>(bounds());
    m_selectedBackgroundView->setBackgroundColor(m_selectionStyle == UITableViewCellSelectionStyle::Gray
                                                     ? UIColor::colorWithWhiteAlpha(0.75, 1)
                                                     : UIColor::colorWithRGB255(5, 140, 245));
  }
  return m_selectedBackgroundView;
}

void UITableViewCell::setSelectedBackgroundView(std::shared_ptr<UIView> view) {
  if (m_selectedBackgroundView) m_selectedBackgroundView->removeFromSuperview();
  m_selectedBackgroundView = std::move(view);
  updateSelectionViews(KMAnimated::No);
}

void UITableViewCell::applyHighlightToLabels(bool highlighted) {
  m_textLabel->setHighlighted(highlighted);
  if (m_detailTextLabel) m_detailTextLabel->setHighlighted(highlighted);
  m_imageView->setHighlighted(highlighted);
}

void UITableViewCell::updateSelectionViews(KMAnimated animated) {
  const bool show = (m_selected || m_highlighted) && m_selectionStyle != UITableViewCellSelectionStyle::None;
  applyHighlightToLabels(show);
  if (show) {
    auto view = selectedBackgroundView();
    if (view->superview() != this) {
      view->setFrame(bounds());
      view->setAlpha(1);
      insertSubviewBelowSubview(view, m_contentView.get());
    }
    view->setAlpha(1);
    return;
  }
  if (!m_selectedBackgroundView || m_selectedBackgroundView->superview() != this) return;
  auto view = m_selectedBackgroundView;
  if (!isAnimated(animated)) {
    view->removeFromSuperview();
    return;
  }
  std::weak_ptr<UIResponder> weakCell = weak_from_this();
  UIView::animateWithDurationAnimationsCompletion(
      0.3, [view] { view->setAlpha(0); },
      [view, weakCell](bool finished) {
        auto cell = std::static_pointer_cast<UITableViewCell>(weakCell.lock());
        // Selected again while fading: keep it.
        if (finished && cell && !cell->m_selected && !cell->m_highlighted) view->removeFromSuperview();
      });
}

void UITableViewCell::setSelectedAnimated(bool selected, KMAnimated animated) {
  if (m_selected == selected) return;
  m_selected = selected;
  updateSelectionViews(animated);
}

void UITableViewCell::setHighlightedAnimated(bool highlighted, KMAnimated animated) {
  if (m_highlighted == highlighted) return;
  m_highlighted = highlighted;
  updateSelectionViews(animated);
}

void UITableViewCell::prepareForReuse() {
  setHighlightedAnimated(false, KMAnimated::No);
  setSelectedAnimated(false, KMAnimated::No);
  setAlpha(1);
  setTransform(CGAffineTransformIdentity);
}

void UITableViewCell::setGroupedPosition(KMGroupedCellPosition position) {
  if (m_groupedPosition == position) return;
  m_groupedPosition = position;
  setBackgroundColor(position == KMGroupedCellPosition::None ? std::optional(UIColor::whiteColor())
                                                             : std::nullopt);
  setNeedsDisplay();
}

void UITableViewCell::setSeparatorColor(std::optional<UIColor> color) {
  m_separatorColor = std::move(color);
  setNeedsDisplay();
}

void UITableViewCell::layoutSubviews() {
  const CGRect b = bounds();
  if (m_backgroundView) m_backgroundView->setFrame(b);
  if (m_selectedBackgroundView && m_selectedBackgroundView->superview() == this)
    m_selectedBackgroundView->setFrame(b);
  // The accessory takes the right end; the content view the rest.
  std::shared_ptr<UIView> accessory = m_accessoryView;
  if (!accessory && m_accessoryType != UITableViewCellAccessoryType::None) {
    if (!m_drawnAccessory) m_drawnAccessory = std::make_shared<KMCellAccessoryView>(m_accessoryType);
    accessory = m_drawnAccessory;
  }
  if (m_drawnAccessory && accessory != m_drawnAccessory) m_drawnAccessory->removeFromSuperview();
  CGFloat contentWidth = b.size.width;
  if (accessory) {
    if (accessory->superview() != this) addSubview(accessory);
    const CGSize size = accessory->frame().size;
    accessory->setFrame(CGRectMake(b.size.width - kMargin - size.width,
                                   std::round((b.size.height - size.height) / 2), size.width, size.height));
    contentWidth = b.size.width - kMargin - size.width;
  }
  m_contentView->setFrame(CGRectMake(0, 0, contentWidth, b.size.height));

  CGFloat x = kMargin;
  if (auto image = m_imageView->image()) {
    const CGSize size = image->size();
    m_imageView->setFrame(CGRectMake(kMargin, std::round((b.size.height - size.height) / 2), size.width, size.height));
    x = kMargin + size.width + kMargin;
  } else {
    m_imageView->setFrame(CGRectZero);
  }
  const CGFloat width = std::max<CGFloat>(0, contentWidth - x - kMargin);
  const bool hasDetail = m_detailTextLabel && !m_detailTextLabel->text().empty();
  if (m_style == UITableViewCellStyle::Subtitle && hasDetail) {
    const CGFloat titleHeight = m_textLabel->font().lineHeight() + 2;
    const CGFloat detailHeight = m_detailTextLabel->font().lineHeight() + 2;
    const CGFloat top = std::round((b.size.height - titleHeight - detailHeight) / 2);
    m_textLabel->setFrame(CGRectMake(x, top, width, titleHeight));
    m_detailTextLabel->setFrame(CGRectMake(x, top + titleHeight, width, detailHeight));
  } else if (m_style == UITableViewCellStyle::Value1 && hasDetail) {
    m_textLabel->setFrame(CGRectMake(x, 0, width * 0.6, b.size.height));
    m_detailTextLabel->setFrame(CGRectMake(x + width * 0.6, 0, width * 0.4, b.size.height));
  } else {
    m_textLabel->setFrame(CGRectMake(x, 0, width, b.size.height));
    if (m_detailTextLabel) m_detailTextLabel->setFrame(CGRectZero);
  }
}

void UITableViewCell::drawRect(cairo_t* context, CGRect rect) {
  if (m_groupedPosition != KMGroupedCellPosition::None) {
    // A rounded white body; neighbouring rows share straight edges.
    const CGFloat r = 8;
    // The stroke keeps inside the shape, so on the cell's own edges it lies on
    // whole pixels and meets the lines between rows.
    const CGRect body = rect;
    const bool roundTop = m_groupedPosition == KMGroupedCellPosition::Top ||
                          m_groupedPosition == KMGroupedCellPosition::Single;
    const bool roundBottom = m_groupedPosition == KMGroupedCellPosition::Bottom ||
                             m_groupedPosition == KMGroupedCellPosition::Single;
    CGRect shape = body;
    if (!roundTop) shape = CGRectMake(body.origin.x, body.origin.y - r, body.size.width, body.size.height + r);
    if (!roundBottom) shape.size.height += r;
    CGContextSaveGState(context);
    CGContextClipToRect(context, rect);
    CGContextFillRoundedRect(context, shape, r, UIColor::whiteColor());
    CGContextStrokeRoundedRect(context, shape, r, 1, UIColor::colorWithWhiteAlpha(0.67, 1));
    CGContextRestoreGState(context);
    if (!roundBottom)
      CGContextFillRect(context, CGRectMake(rect.origin.x, CGRectGetMaxY(rect) - 1, rect.size.width, 1),
                        UIColor::colorWithWhiteAlpha(0.67, 1));
    return;
  }
  if (m_separatorColor)
    CGContextFillRect(context, CGRectMake(rect.origin.x, CGRectGetMaxY(rect) - 1, rect.size.width, 1),
                      *m_separatorColor);
}

void UITableViewCell::touchesBegan(const UITouchSet& touches) {
  (void)touches;
  m_touchStillInside = true;
  if (m_tableView && m_tableView->allowsSelection()) setHighlightedAnimated(true, KMAnimated::No);
}

void UITableViewCell::touchesMoved(const UITouchSet& touches) {
  m_touchStillInside = CGRectContainsPoint(bounds(), touches.front()->locationInView(this));
  if (!m_touchStillInside) setHighlightedAnimated(false, KMAnimated::No);
}

void UITableViewCell::touchesEnded(const UITouchSet& touches) {
  (void)touches;
  const bool tapped = m_touchStillInside;
  m_touchStillInside = false;
  setHighlightedAnimated(false, KMAnimated::No);
  if (tapped && m_tableView) m_tableView->cellWasTapped(*this);
}

void UITableViewCell::touchesCancelled(const UITouchSet& touches) {
  (void)touches;
  m_touchStillInside = false;
  setHighlightedAnimated(false, KMAnimated::No);
}

}  // namespace kdisk
