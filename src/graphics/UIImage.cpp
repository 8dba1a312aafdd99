#include "graphics/UIImage.h"

#include <cmath>
#include <cstdint>
#include <optional>

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

// What a small piece of a stretchable image looks like: one opaque colour (the
// middle and edges of most backgrounds), or lines that are each one colour
// (a gradient stretched along it).
struct PieceShape {
  std::optional<std::uint32_t> opaqueColour; // 0xRRGGBB
  bool rowsUniform = false;
  bool columnsUniform = false;
};

PieceShape shapeOfPiece(cairo_surface_t* surface, const CGRect& piece) {
  // Bigger pieces are pictures: a scan would cost more than it could save.
  constexpr double kMostPixels = 1024;
  const double x = piece.origin.x, y = piece.origin.y, w = piece.size.width, h = piece.size.height;
  if (w <= 0 || h <= 0 || w * h > kMostPixels || x != std::floor(x) || y != std::floor(y) ||
      w != std::floor(w) || h != std::floor(h))
    return {};
  const cairo_format_t format = cairo_image_surface_get_format(surface);
  if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24)
    return {};
  if (x < 0 || y < 0 || x + w > cairo_image_surface_get_width(surface) ||
      y + h > cairo_image_surface_get_height(surface))
    return {};
  // RGB24 leaves the top byte unused: every pixel is opaque.
  const std::uint32_t alphaBits = format == CAIRO_FORMAT_RGB24 ? 0xFF000000u : 0;
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  auto pixel = [&](int column, int row) {
    return reinterpret_cast<const std::uint32_t*>(data + row * stride)[column] | alphaBits;
  };
  const int left = int(x), top = int(y), right = int(x + w), bottom = int(y + h);
  PieceShape shape{std::nullopt, true, true};
  for (int row = top; row < bottom; ++row) {
    for (int column = left; column < right; ++column) {
      const std::uint32_t word = pixel(column, row);
      shape.rowsUniform = shape.rowsUniform && word == pixel(left, row);
      shape.columnsUniform = shape.columnsUniform && word == pixel(column, top);
    }
  }
  const std::uint32_t first = pixel(left, top);
  if (shape.rowsUniform && shape.columnsUniform && first >> 24 == 0xFF)
    shape.opaqueColour = first & 0xFFFFFFu;
  return shape;
}

// Paints `source` (points of the image) into `destination`, stretched or tiled.
void paintPiece(cairo_t* context, cairo_surface_t* surface, double scale, const CGRect& source,
                const CGRect& destination, bool tile, double alpha) {
  const CGRect target = snappedToDevicePixels(context, destination);
  if (CGRectIsEmpty(target))
    return;
  const CGRect pixels = CGRectMake(source.origin.x * scale, source.origin.y * scale,
                                   source.size.width * scale, source.size.height * scale);
  const PieceShape shape = shapeOfPiece(surface, pixels);
  cairo_save(context);
  cairo_rectangle(context, target.origin.x, target.origin.y, target.size.width, target.size.height);
  cairo_clip(context);
  // Stretching one colour through a filtered pattern costs far more than
  // filling with it, for the same pixels.
  if (shape.opaqueColour) {
    const std::uint32_t colour = *shape.opaqueColour;
    cairo_set_source_rgb(context, double(colour >> 16 & 0xFF) / 255,
                         double(colour >> 8 & 0xFF) / 255, double(colour & 0xFF) / 255);
    cairo_paint_with_alpha(context, alpha);
    cairo_restore(context);
    return;
  }
  const cairo::Surface piece(cairo_surface_create_for_rectangle(
      surface, pixels.origin.x, pixels.origin.y, pixels.size.width, pixels.size.height));
  const cairo::Pattern pattern(cairo_pattern_create_for_surface(piece.get()));
  cairo_matrix_t matrix;
  if (tile) {
    cairo_matrix_init_scale(&matrix, scale, scale);
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
  } else {
    cairo_matrix_init_scale(&matrix, pixels.size.width / target.size.width,
                            pixels.size.height / target.size.height);
    // Padding keeps the filter from reading past the piece's edge.
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
    // Stretched only along lines of one colour, with the other direction
    // pixel for pixel, the filter would give exactly the nearest pixel: ask
    // for that, which is many times cheaper.
    cairo_matrix_t device;
    cairo_get_matrix(context, &device);
    if (device.xy == 0 && device.yx == 0) {
      const bool sameWidth = std::abs(target.size.width * device.xx - pixels.size.width) < 1e-6;
      const bool sameHeight = std::abs(target.size.height * device.yy - pixels.size.height) < 1e-6;
      if ((sameHeight && shape.rowsUniform) || (sameWidth && shape.columnsUniform))
        cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_NEAREST);
    }
  }
  cairo_matrix_translate(&matrix, -target.origin.x, -target.origin.y);
  cairo_pattern_set_matrix(pattern.get(), &matrix);
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
