#include "graphics/CGAffineTransform.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace kdisk {

CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx,
                                        CGFloat ty) {
  return {a, b, c, d, tx, ty};
}

CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty) {
  return {1, 0, 0, 1, tx, ty};
}

CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy) {
  return {sx, 0, 0, sy, 0, 0};
}

CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle) {
  const CGFloat cosine = std::cos(angle);
  const CGFloat sine = std::sin(angle);
  return {cosine, sine, -sine, cosine, 0, 0};
}

bool CGAffineTransformIsIdentity(const CGAffineTransform& transform) {
  return transform == CGAffineTransformIdentity;
}

CGAffineTransform CGAffineTransformConcat(const CGAffineTransform& t1,
                                          const CGAffineTransform& t2) {
  return {t1.a * t2.a + t1.b * t2.c,           t1.a * t2.b + t1.b * t2.d,
          t1.c * t2.a + t1.d * t2.c,           t1.c * t2.b + t1.d * t2.d,
          t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

CGAffineTransform CGAffineTransformTranslate(const CGAffineTransform& transform, CGFloat tx,
                                             CGFloat ty) {
  return CGAffineTransformConcat(CGAffineTransformMakeTranslation(tx, ty), transform);
}

CGAffineTransform CGAffineTransformScale(const CGAffineTransform& transform, CGFloat sx,
                                         CGFloat sy) {
  return CGAffineTransformConcat(CGAffineTransformMakeScale(sx, sy), transform);
}

CGAffineTransform CGAffineTransformRotate(const CGAffineTransform& transform, CGFloat angle) {
  return CGAffineTransformConcat(CGAffineTransformMakeRotation(angle), transform);
}

CGAffineTransform CGAffineTransformInvert(const CGAffineTransform& t) {
  const CGFloat determinant = t.a * t.d - t.b * t.c;
  if (determinant == 0 || !std::isfinite(determinant))
    return t;
  const CGFloat a = t.d / determinant;
  const CGFloat b = -t.b / determinant;
  const CGFloat c = -t.c / determinant;
  const CGFloat d = t.a / determinant;
  return {a, b, c, d, -(t.tx * a + t.ty * c), -(t.tx * b + t.ty * d)};
}

CGPoint CGPointApplyAffineTransform(const CGPoint& p, const CGAffineTransform& t) {
  return {t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}

CGSize CGSizeApplyAffineTransform(const CGSize& s, const CGAffineTransform& t) {
  return {t.a * s.width + t.c * s.height, t.b * s.width + t.d * s.height};
}

CGRect CGRectApplyAffineTransform(const CGRect& rect, const CGAffineTransform& transform) {
  if (CGRectIsNull(rect))
    return rect;
  const CGPoint corners[] = {
      CGPointApplyAffineTransform({CGRectGetMinX(rect), CGRectGetMinY(rect)}, transform),
      CGPointApplyAffineTransform({CGRectGetMaxX(rect), CGRectGetMinY(rect)}, transform),
      CGPointApplyAffineTransform({CGRectGetMinX(rect), CGRectGetMaxY(rect)}, transform),
      CGPointApplyAffineTransform({CGRectGetMaxX(rect), CGRectGetMaxY(rect)}, transform)};
  CGFloat minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
  for (const CGPoint& corner : corners) {
    minX = std::min(minX, corner.x);
    maxX = std::max(maxX, corner.x);
    minY = std::min(minY, corner.y);
    maxY = std::max(maxY, corner.y);
  }
  return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

void KMContextConcatTransform(cairo_t* context, const CGAffineTransform& t) {
  cairo_matrix_t matrix;
  cairo_matrix_init(&matrix, t.a, t.b, t.c, t.d, t.tx, t.ty);
  cairo_transform(context, &matrix);
}

} // namespace kdisk
