#include "uikit/CGContext.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "graphics/UIColor.h"

namespace kdisk {

void CGContextSaveGState(cairo_t* context) { cairo_save(context); }
void CGContextRestoreGState(cairo_t* context) { cairo_restore(context); }
void CGContextTranslateCTM(cairo_t* context, CGFloat tx, CGFloat ty) {
  cairo_translate(context, tx, ty);
}
void CGContextScaleCTM(cairo_t* context, CGFloat sx, CGFloat sy) { cairo_scale(context, sx, sy); }
void CGContextRotateCTM(cairo_t* context, CGFloat angle) { cairo_rotate(context, angle); }
void CGContextConcatCTM(cairo_t* context, const CGAffineTransform& transform) {
  KMContextConcatTransform(context, transform);
}

static void addRoundedRect(cairo_t* context, CGRect rect, CGFloat radius) {
  rect = CGRectStandardize(rect);
  radius = std::min<CGFloat>({radius, rect.size.width / 2, rect.size.height / 2});
  if (radius <= 0) {
    cairo_rectangle(context, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    return;
  }
  const double x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
  cairo_new_sub_path(context);
  cairo_arc(context, x + w - radius, y + radius, radius, -M_PI / 2, 0);
  cairo_arc(context, x + w - radius, y + h - radius, radius, 0, M_PI / 2);
  cairo_arc(context, x + radius, y + h - radius, radius, M_PI / 2, M_PI);
  cairo_arc(context, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(context);
}

void CGContextClipToRect(cairo_t* context, CGRect rect) {
  rect = CGRectStandardize(rect);
  cairo_rectangle(context, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
  cairo_clip(context);
}

void CGContextClipToRoundedRect(cairo_t* context, CGRect rect, CGFloat radius) {
  addRoundedRect(context, rect, radius);
  cairo_clip(context);
}

void CGContextFillRect(cairo_t* context, CGRect rect, const UIColor& color) {
  rect = CGRectStandardize(rect);
  color.setFill(context);
  cairo_rectangle(context, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
  cairo_fill(context);
}

void CGContextFillRoundedRect(cairo_t* context, CGRect rect, CGFloat radius, const UIColor& color) {
  color.setFill(context);
  addRoundedRect(context, rect, radius);
  cairo_fill(context);
}

void CGContextStrokeRect(cairo_t* context, CGRect rect, CGFloat lineWidth, const UIColor& color) {
  CGContextStrokeRoundedRect(context, rect, 0, lineWidth, color);
}

void CGContextStrokeRoundedRect(cairo_t* context, CGRect rect, CGFloat radius, CGFloat lineWidth,
                                const UIColor& color) {
  color.setFill(context);
  cairo_set_line_width(context, lineWidth);
  // Inset by half the line so the stroke stays inside the rectangle.
  addRoundedRect(context, CGRectInset(rect, lineWidth / 2, lineWidth / 2), radius);
  cairo_stroke(context);
}

void CGContextStrokeLine(cairo_t* context, CGPoint from, CGPoint to, CGFloat lineWidth,
                         const UIColor& color) {
  color.setFill(context);
  cairo_set_line_width(context, lineWidth);
  cairo_move_to(context, from.x, from.y);
  cairo_line_to(context, to.x, to.y);
  cairo_stroke(context);
}

void CGContextFillEllipseInRect(cairo_t* context, CGRect rect, const UIColor& color) {
  rect = CGRectStandardize(rect);
  if (rect.size.width <= 0 || rect.size.height <= 0) return;
  color.setFill(context);
  cairo_save(context);
  cairo_translate(context, CGRectGetMidX(rect), CGRectGetMidY(rect));
  cairo_scale(context, rect.size.width / 2, rect.size.height / 2);
  cairo_arc(context, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(context);
  cairo_fill(context);
}

void CGContextBeginPath(cairo_t* context) { cairo_new_path(context); }
void CGContextMoveToPoint(cairo_t* context, CGFloat x, CGFloat y) { cairo_move_to(context, x, y); }
void CGContextAddLineToPoint(cairo_t* context, CGFloat x, CGFloat y) {
  cairo_line_to(context, x, y);
}
void CGContextAddArc(cairo_t* context, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle,
                     CGFloat endAngle, KMArcDirection direction) {
  if (direction == KMArcDirection::Clockwise)
    cairo_arc(context, x, y, radius, startAngle, endAngle);
  else
    cairo_arc_negative(context, x, y, radius, startAngle, endAngle);
}
void CGContextClosePath(cairo_t* context) { cairo_close_path(context); }

void CGContextFillPath(cairo_t* context, const UIColor& color, KMFillRule rule) {
  color.setFill(context);
  cairo_set_fill_rule(context, rule == KMFillRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD
                                                           : CAIRO_FILL_RULE_WINDING);
  cairo_fill(context);
  cairo_set_fill_rule(context, CAIRO_FILL_RULE_WINDING);
}

void CGContextStrokePath(cairo_t* context, CGFloat lineWidth, const UIColor& color) {
  color.setFill(context);
  cairo_set_line_width(context, lineWidth);
  cairo_stroke(context);
}

void CGContextBeginTransparencyLayer(cairo_t* context) { cairo_push_group(context); }

void CGContextEndTransparencyLayer(cairo_t* context, CGFloat alpha) {
  cairo_pop_group_to_source(context);
  cairo_paint_with_alpha(context, alpha);
}

void KMContextPaint(cairo_t* context, const UIColor& color) {
  color.setFill(context);
  cairo_paint(context);
}

void KMContextFlush(cairo_t* context) { cairo_surface_flush(cairo_get_target(context)); }

}  // namespace kdisk
