#pragma once
// An offscreen bitmap to draw into, in points, and take as an image: the
// stand-in for beginning and ending an image context. Lives on the thread
// that made it.

#include <memory>

#include "graphics/CGGeometry.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace kdisk {

class UIImage;

enum class KMImageContextOpacity { Transparent, Opaque };

class UIGraphicsImageContext {
public:
  // Scale 0 means the main screen's. The pixel size is rounded up and bounded
  // by UIImage::kMaximumPixelDimension.
  UIGraphicsImageContext(CGSize size, KMImageContextOpacity opacity, double scale = 0);
  ~UIGraphicsImageContext();
  UIGraphicsImageContext(const UIGraphicsImageContext&) = delete;
  UIGraphicsImageContext& operator=(const UIGraphicsImageContext&) = delete;

  // Its matrix maps points to pixels; valid while this object lives.
  cairo_t* context() const { return m_context; }
  double scale() const { return m_scale; }
  // A snapshot of what has been drawn so far; nullptr for a zero size.
  std::shared_ptr<UIImage> image() const;

private:
  cairo_surface_t* m_surface = nullptr;
  cairo_t* m_context = nullptr;
  double m_scale = 1;
  bool m_empty = false;
};

} // namespace kdisk
