#include "graphics/CGGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

namespace kdisk {

CGRect CGRectNull() {
  constexpr CGFloat infinity = std::numeric_limits<CGFloat>::infinity();
  return {{infinity, infinity}, {0, 0}};
}

bool CGRectIsNull(const CGRect& rect) {
  return std::isinf(rect.origin.x) || std::isinf(rect.origin.y);
}

bool CGRectIsEmpty(const CGRect& rect) {
  return CGRectIsNull(rect) || rect.size.width == 0 || rect.size.height == 0;
}

CGRect CGRectStandardize(const CGRect& rect) {
  CGRect result = rect;
  if (result.size.width < 0) {
    result.origin.x += result.size.width;
    result.size.width = -result.size.width;
  }
  if (result.size.height < 0) {
    result.origin.y += result.size.height;
    result.size.height = -result.size.height;
  }
  return result;
}

CGFloat CGRectGetMinX(const CGRect& rect) {
  return CGRectStandardize(rect).origin.x;
}
CGFloat CGRectGetMinY(const CGRect& rect) {
  return CGRectStandardize(rect).origin.y;
}
CGFloat CGRectGetWidth(const CGRect& rect) {
  return std::fabs(rect.size.width);
}
CGFloat CGRectGetHeight(const CGRect& rect) {
  return std::fabs(rect.size.height);
}
CGFloat CGRectGetMidX(const CGRect& rect) {
  return CGRectGetMinX(rect) + CGRectGetWidth(rect) / 2;
}
CGFloat CGRectGetMidY(const CGRect& rect) {
  return CGRectGetMinY(rect) + CGRectGetHeight(rect) / 2;
}
CGFloat CGRectGetMaxX(const CGRect& rect) {
  return CGRectGetMinX(rect) + CGRectGetWidth(rect);
}
CGFloat CGRectGetMaxY(const CGRect& rect) {
  return CGRectGetMinY(rect) + CGRectGetHeight(rect);
}
CGPoint CGRectGetCenter(const CGRect& rect) {
  return {CGRectGetMidX(rect), CGRectGetMidY(rect)};
}

CGRect CGRectInset(const CGRect& rect, CGFloat dx, CGFloat dy) {
  if (CGRectIsNull(rect))
    return rect;
  CGRect result = CGRectStandardize(rect);
  result.origin.x += dx;
  result.origin.y += dy;
  result.size.width -= 2 * dx;
  result.size.height -= 2 * dy;
  if (result.size.width < 0 || result.size.height < 0)
    return CGRectNull();
  return result;
}

CGRect CGRectOffset(const CGRect& rect, CGFloat dx, CGFloat dy) {
  if (CGRectIsNull(rect))
    return rect;
  CGRect result = CGRectStandardize(rect);
  result.origin.x += dx;
  result.origin.y += dy;
  return result;
}

CGRect CGRectUnion(const CGRect& a, const CGRect& b) {
  if (CGRectIsNull(a))
    return CGRectStandardize(b);
  if (CGRectIsNull(b))
    return CGRectStandardize(a);
  const CGFloat minX = std::min(CGRectGetMinX(a), CGRectGetMinX(b));
  const CGFloat minY = std::min(CGRectGetMinY(a), CGRectGetMinY(b));
  const CGFloat maxX = std::max(CGRectGetMaxX(a), CGRectGetMaxX(b));
  const CGFloat maxY = std::max(CGRectGetMaxY(a), CGRectGetMaxY(b));
  return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

CGRect CGRectIntersection(const CGRect& a, const CGRect& b) {
  if (CGRectIsNull(a) || CGRectIsNull(b))
    return CGRectNull();
  const CGFloat minX = std::max(CGRectGetMinX(a), CGRectGetMinX(b));
  const CGFloat minY = std::max(CGRectGetMinY(a), CGRectGetMinY(b));
  const CGFloat maxX = std::min(CGRectGetMaxX(a), CGRectGetMaxX(b));
  const CGFloat maxY = std::min(CGRectGetMaxY(a), CGRectGetMaxY(b));
  // Rectangles that only touch meet in an empty rectangle, not in nothing.
  if (maxX < minX || maxY < minY)
    return CGRectNull();
  return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

bool CGRectIntersectsRect(const CGRect& a, const CGRect& b) {
  return !CGRectIsEmpty(CGRectIntersection(a, b));
}

bool CGRectContainsPoint(const CGRect& rect, const CGPoint& point) {
  if (CGRectIsNull(rect))
    return false;
  return point.x >= CGRectGetMinX(rect) && point.x < CGRectGetMaxX(rect) &&
         point.y >= CGRectGetMinY(rect) && point.y < CGRectGetMaxY(rect);
}

bool CGRectContainsRect(const CGRect& outer, const CGRect& inner) {
  if (CGRectIsNull(outer) || CGRectIsNull(inner))
    return false;
  return CGRectGetMinX(inner) >= CGRectGetMinX(outer) &&
         CGRectGetMinY(inner) >= CGRectGetMinY(outer) &&
         CGRectGetMaxX(inner) <= CGRectGetMaxX(outer) &&
         CGRectGetMaxY(inner) <= CGRectGetMaxY(outer);
}

CGRect CGRectIntegral(const CGRect& rect) {
  if (CGRectIsNull(rect))
    return rect;
  const CGFloat minX = std::floor(CGRectGetMinX(rect));
  const CGFloat minY = std::floor(CGRectGetMinY(rect));
  const CGFloat maxX = std::ceil(CGRectGetMaxX(rect));
  const CGFloat maxY = std::ceil(CGRectGetMaxY(rect));
  return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

bool CGRectEqualToRect(const CGRect& a, const CGRect& b) {
  if (CGRectIsNull(a) || CGRectIsNull(b))
    return CGRectIsNull(a) && CGRectIsNull(b);
  return CGRectStandardize(a) == CGRectStandardize(b);
}

CGRect KMRectCenteredInRect(const CGSize& size, const CGRect& bounds) {
  return CGRectMake(CGRectGetMidX(bounds) - size.width / 2, CGRectGetMidY(bounds) - size.height / 2,
                    size.width, size.height);
}

namespace {
std::string pair(CGFloat first, CGFloat second) {
  std::ostringstream stream;
  stream << '{' << first << ", " << second << '}';
  return stream.str();
}
} // namespace

std::string NSStringFromCGPoint(const CGPoint& point) {
  return pair(point.x, point.y);
}
std::string NSStringFromCGSize(const CGSize& size) {
  return pair(size.width, size.height);
}
std::string NSStringFromCGRect(const CGRect& rect) {
  return '{' + NSStringFromCGPoint(rect.origin) + ", " + NSStringFromCGSize(rect.size) + '}';
}

} // namespace kdisk
