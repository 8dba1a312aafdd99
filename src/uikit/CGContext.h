#pragma once
// The drawing calls views make, CoreGraphics style, over an opaque Cairo
// context. This pair is the toolkit's only user of Cairo's own header, so the
// rest of the toolkit stays free of it. Main thread, like all drawing.
#include "graphics/CGAffineTransform.h"
#include "graphics/CGGeometry.h"

typedef struct _cairo cairo_t;

namespace kdisk {

class UIColor;

void CGContextSaveGState(cairo_t* context);
void CGContextRestoreGState(cairo_t* context);
void CGContextTranslateCTM(cairo_t* context, CGFloat tx, CGFloat ty);
void CGContextScaleCTM(cairo_t* context, CGFloat sx, CGFloat sy);
void CGContextRotateCTM(cairo_t* context, CGFloat angle);
void CGContextConcatCTM(cairo_t* context, const CGAffineTransform& transform);
void CGContextClipToRect(cairo_t* context, CGRect rect);
void CGContextClipToRoundedRect(cairo_t* context, CGRect rect, CGFloat radius);
void CGContextFillRect(cairo_t* context, CGRect rect, const UIColor& color);
void CGContextFillRoundedRect(cairo_t* context, CGRect rect, CGFloat radius, const UIColor& color);
void CGContextStrokeRect(cairo_t* context, CGRect rect, CGFloat lineWidth, const UIColor& color);
void CGContextStrokeRoundedRect(cairo_t* context, CGRect rect, CGFloat radius, CGFloat lineWidth,
                                const UIColor& color);
void CGContextStrokeLine(cairo_t* context, CGPoint from, CGPoint to, CGFloat lineWidth,
                         const UIColor& color);
void CGContextFillEllipseInRect(cairo_t* context, CGRect rect, const UIColor& color);

// Paths, for shapes the helpers above don't cover.
void CGContextBeginPath(cairo_t* context);
void CGContextMoveToPoint(cairo_t* context, CGFloat x, CGFloat y);
void CGContextAddLineToPoint(cairo_t* context, CGFloat x, CGFloat y);
// Angles in radians, clockwise on screen when `clockwise` is Yes.
enum class KMArcDirection { Clockwise, CounterClockwise };
void CGContextAddArc(cairo_t* context, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle,
                     CGFloat endAngle, KMArcDirection direction);
void CGContextClosePath(cairo_t* context);
enum class KMFillRule { Winding, EvenOdd };
void CGContextFillPath(cairo_t* context, const UIColor& color, KMFillRule rule = KMFillRule::Winding);
void CGContextStrokePath(cairo_t* context, CGFloat lineWidth, const UIColor& color);

// Everything drawn between the two is composited at `alpha` as one layer.
void CGContextBeginTransparencyLayer(cairo_t* context);
void CGContextEndTransparencyLayer(cairo_t* context, CGFloat alpha);

// Fills the whole target with `color`, ignoring the current clip's shape
// beyond the target's bounds; the reference the frame benchmark compares with.
void KMContextPaint(cairo_t* context, const UIColor& color);
// Waits until every pending drawing operation has reached the target.
void KMContextFlush(cairo_t* context);

}  // namespace kdisk
