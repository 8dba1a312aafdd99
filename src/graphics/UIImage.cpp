#include "graphics/UIImage.h"

#include <cmath>

#include "graphics/CairoOwners.h"
#include "graphics/NineSlice.h"
#include "graphics/PixelFormat.h"
#include "platform/Log.h"

namespace kdisk {
namespace {

auto log() {
  return logger("UIImage", LogLevel::Warning);
}

// Edges on whole device pixels, so neighbouring pieces meet without a seam.
CGRect snappedToDevicePixels(cairo_t* context, const CGRect& rect) {
  double x1 = CGRectGetMinX(rect), y1 = CGRectGetMinY(rect);
  double x2 = CGRectGetMaxX(rect), y2 = CGRectGetMaxY(rect);
  cairo_user_to_device(context, &x1, &y1);
  cairo_user_to_device(context, &x2, &y2);
  x1 = std::round(x1), y1 = std::round(y1), x2 = std::round(x2), y2 = std::round(y2);
  cairo_device_to_user(context, &x1, &y1);
  cairo_device_to_user(context, &x2, &y2);
  return CGRectStandardize(CGRectMake(x1, y1, x2 - x1, y2 - y1));
}

// Paints `source` (points of the image) into `destination`, stretched or tiled.
void paintPiece(cairo_t* context, cairo_surface_t* surface, double scale, const CGRect& source,
                const CGRect& destination, bool tile, double alpha) {
  const CGRect target = snappedToDevicePixels(context, destination);
  if (CGRectIsEmpty(target))
    return;
  const cairo::Surface piece(
      cairo_surface_create_for_rectangle(surface, source.origin.x * scale, source.origin.y * scale,
                                         source.size.width * scale, source.size.height * scale));
  const cairo::Pattern pattern(cairo_pattern_create_for_surface(piece.get()));
  cairo_matrix_t matrix;
  if (tile) {
    cairo_matrix_init_scale(&matrix, scale, scale);
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
  } else {
    cairo_matrix_init_scale(&matrix, source.size.width * scale / target.size.width,
                            source.size.height * scale / target.size.height);
    // Padding keeps the filter from reading past the piece's edge.
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
  }
  cairo_matrix_translate(&matrix, -target.origin.x, -target.origin.y);
  cairo_pattern_set_matrix(pattern.get(), &matrix);
  cairo_save(context);
  cairo_rectangle(context, target.origin.x, target.origin.y, target.size.width, target.size.height);
  cairo_clip(context);
  cairo_set_source(context, pattern.get());
  cairo_paint_with_alpha(context, alpha);
  cairo_restore(context);
}

} // namespace

UIImage::UIImage(cairo_surface_t* surface, double scale, std::string name)
    : m_surface(surface), m_scale(scale), m_pixelWidth(cairo_image_surface_get_width(surface)),
      m_pixelHeight(cairo_image_surface_get_height(surface)), m_name(std::move(name)) {}

UIImage::~UIImage() {
  cairo_surface_destroy(m_surface);
}

std::shared_ptr<UIImage> UIImage::imageWithSurface(cairo_surface_t* given, double scale,
                                                   std::string name) {
  cairo::Surface surface(given);
  if (!surface)
    return nullptr;
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_get_type(surface.get()) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_width(surface.get()) <= 0 ||
      cairo_image_surface_get_height(surface.get()) <= 0) {
    log()->warn("UIImage: no usable pixels for image '{}'", name);
    return nullptr;
  }
  if (cairo_image_surface_get_format(surface.get()) != CAIRO_FORMAT_ARGB32) {
    cairo::Surface converted(cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(surface.get()),
        cairo_image_surface_get_height(surface.get())));
    const cairo::Context context(cairo_create(converted.get()));
    cairo_set_source_surface(context.get(), surface.get(), 0, 0);
    cairo_paint(context.get());
    surface = std::move(converted);
  }
  cairo_surface_flush(surface.get());
  if (!(scale > 0) || !std::isfinite(scale))
    scale = 1;
  return std::shared_ptr<UIImage>(new UIImage(surface.release(), scale, std::move(name)));
}

CGSize UIImage::size() const {
  return {m_pixelWidth / m_scale, m_pixelHeight / m_scale};
}

std::shared_ptr<UIImage> UIImage::copyWithCaps(UIEdgeInsets capInsets,
                                               UIImageResizingMode mode) const {
  auto copy =
      std::shared_ptr<UIImage>(new UIImage(cairo_surface_reference(m_surface), m_scale, m_name));
  copy->m_capInsets = capInsets;
  copy->m_resizingMode = mode;
  return copy;
}

std::shared_ptr<UIImage> UIImage::resizableImageWithCapInsets(UIEdgeInsets capInsets) const {
  return resizableImageWithCapInsetsResizingMode(capInsets, UIImageResizingMode::Tile);
}

std::shared_ptr<UIImage>
UIImage::resizableImageWithCapInsetsResizingMode(UIEdgeInsets capInsets,
                                                 UIImageResizingMode mode) const {
  const UIEdgeInsets clamped = KMClampedCapInsets(size(), capInsets, 1 / m_scale);
  if (clamped != capInsets) {
    log()->warn("UIImage: cap insets {} {} {} {} do not fit image '{}' of {}x{} points; reduced",
                capInsets.top, capInsets.left, capInsets.bottom, capInsets.right, m_name,
                size().width, size().height);
  }
  return copyWithCaps(clamped, mode);
}

std::shared_ptr<UIImage>
UIImage::stretchableImageWithLeftCapWidthTopCapHeight(int leftCapWidth, int topCapHeight) const {
  const CGSize points = size();
  const CGFloat pixel = 1 / m_scale;
  UIEdgeInsets caps;
  if (leftCapWidth > 0) {
    caps.left = leftCapWidth;
    caps.right = points.width - leftCapWidth - pixel;
  }
  if (topCapHeight > 0) {
    caps.top = topCapHeight;
    caps.bottom = points.height - topCapHeight - pixel;
  }
  auto copy = resizableImageWithCapInsetsResizingMode(caps, UIImageResizingMode::Stretch);
  copy->m_leftCapWidth = std::max(leftCapWidth, 0);
  copy->m_topCapHeight = std::max(topCapHeight, 0);
  return copy;
}

void UIImage::drawAtPoint(cairo_t* context, CGPoint point, double alpha) const {
  drawInRect(context, CGRect{point, size()}, alpha);
}

void UIImage::drawInRect(cairo_t* context, CGRect rect, double alpha) const {
  if (!context)
    return;
  // An image without caps scales as a whole, whatever its mode.
  const bool tile = isResizable() && m_resizingMode == UIImageResizingMode::Tile;
  for (const KMNineSlicePatch& patch : KMNineSlicePatches(size(), m_capInsets, rect)) {
    paintPiece(context, m_surface, m_scale, patch.source, patch.destination,
               tile && patch.part != KMNineSlicePart::Corner, alpha);
  }
}

KMPixel UIImage::pixelAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_pixelWidth || y >= m_pixelHeight)
    return {};
  const unsigned char* row =
      cairo_image_surface_get_data(m_surface) + y * cairo_image_surface_get_stride(m_surface);
  return KMPixelFromPremultipliedWord(reinterpret_cast<const std::uint32_t*>(row)[x]);
}

} // namespace kdisk
