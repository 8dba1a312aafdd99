#pragma once
// Points, sizes and rectangles in points (one point is `scale` pixels on the
// screen). Plain values, usable from any thread.

#include <string>

namespace kdisk {

using CGFloat = double;

struct CGPoint {
  CGFloat x = 0;
  CGFloat y = 0;
  bool operator==(const CGPoint&) const = default;
};

struct CGSize {
  CGFloat width = 0;
  CGFloat height = 0;
  bool operator==(const CGSize&) const = default;
};

// A rectangle may have a negative size; the free functions below work on its
// standardised form, as the toolkit expects.
struct CGRect {
  CGPoint origin;
  CGSize size;
  bool operator==(const CGRect&) const = default;
};

inline constexpr CGPoint CGPointZero{};
inline constexpr CGSize CGSizeZero{};
inline constexpr CGRect CGRectZero{};

inline CGPoint CGPointMake(CGFloat x, CGFloat y) {
  return {x, y};
}
inline CGSize CGSizeMake(CGFloat width, CGFloat height) {
  return {width, height};
}
inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
  return {{x, y}, {width, height}};
}

// The rectangle every intersection with nothing gives; an empty, null value.
CGRect CGRectNull();
bool CGRectIsNull(const CGRect& rect);
bool CGRectIsEmpty(const CGRect& rect);
CGRect CGRectStandardize(const CGRect& rect);

CGFloat CGRectGetMinX(const CGRect& rect);
CGFloat CGRectGetMidX(const CGRect& rect);
CGFloat CGRectGetMaxX(const CGRect& rect);
CGFloat CGRectGetMinY(const CGRect& rect);
CGFloat CGRectGetMidY(const CGRect& rect);
CGFloat CGRectGetMaxY(const CGRect& rect);
CGFloat CGRectGetWidth(const CGRect& rect);
CGFloat CGRectGetHeight(const CGRect& rect);
CGPoint CGRectGetCenter(const CGRect& rect);

CGRect CGRectInset(const CGRect& rect, CGFloat dx, CGFloat dy);
CGRect CGRectOffset(const CGRect& rect, CGFloat dx, CGFloat dy);
CGRect CGRectUnion(const CGRect& a, const CGRect& b);
CGRect CGRectIntersection(const CGRect& a, const CGRect& b);
bool CGRectIntersectsRect(const CGRect& a, const CGRect& b);
// Half-open: the maximum edges are outside.
bool CGRectContainsPoint(const CGRect& rect, const CGPoint& point);
bool CGRectContainsRect(const CGRect& outer, const CGRect& inner);
// The smallest rectangle with whole-number edges that holds `rect`.
CGRect CGRectIntegral(const CGRect& rect);
bool CGRectEqualToRect(const CGRect& a, const CGRect& b);

// A rectangle of `size` whose centre is the centre of `bounds`.
CGRect KMRectCenteredInRect(const CGSize& size, const CGRect& bounds);

std::string NSStringFromCGPoint(const CGPoint& point);
std::string NSStringFromCGSize(const CGSize& size);
std::string NSStringFromCGRect(const CGRect& rect);

} // namespace kdisk
