#pragma once
// A 2-D affine transform, row-vector convention: x' = a·x + c·y + tx,
// y' = b·x + d·y + ty. Angles in radians; positive turns from x towards y,
// which is clockwise on a screen whose y axis points down.

#include "graphics/CGGeometry.h"

typedef struct _cairo cairo_t;

namespace kdisk {

struct CGAffineTransform {
  CGFloat a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
  bool operator==(const CGAffineTransform&) const = default;
};

inline constexpr CGAffineTransform CGAffineTransformIdentity{};

CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx,
                                        CGFloat ty);
CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy);
CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle);
bool CGAffineTransformIsIdentity(const CGAffineTransform& transform);
// `first` applied, then `second`.
CGAffineTransform CGAffineTransformConcat(const CGAffineTransform& first,
                                          const CGAffineTransform& second);
// Each of these applies the new step before `transform`, as the platform does.
CGAffineTransform CGAffineTransformTranslate(const CGAffineTransform& transform, CGFloat tx,
                                             CGFloat ty);
CGAffineTransform CGAffineTransformScale(const CGAffineTransform& transform, CGFloat sx,
                                         CGFloat sy);
CGAffineTransform CGAffineTransformRotate(const CGAffineTransform& transform, CGFloat angle);
// The identity-preserving inverse; a singular transform comes back unchanged.
CGAffineTransform CGAffineTransformInvert(const CGAffineTransform& transform);

CGPoint CGPointApplyAffineTransform(const CGPoint& point, const CGAffineTransform& transform);
CGSize CGSizeApplyAffineTransform(const CGSize& size, const CGAffineTransform& transform);
// The bounding box of the transformed corners.
CGRect CGRectApplyAffineTransform(const CGRect& rect, const CGAffineTransform& transform);

// Multiplies the context's matrix by `transform`.
void KMContextConcatTransform(cairo_t* context, const CGAffineTransform& transform);

} // namespace kdisk
