#pragma once
// A decoded bitmap with a scale (pixels per point) and, when resizable, cap
// insets that keep its edges and stretch or tile its middle (nine-slice).
//
// Immutable once made, so it may be shared between threads. Images are
// always handled through std::shared_ptr; factories answer nullptr when the
// image cannot be had, after a warning that names the file.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "graphics/CGGeometry.h"
#include "graphics/UIEdgeInsets.h"
#include "platform/Value.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace kdisk {

enum class UIImageResizingMode { Tile, Stretch };

// One pixel, straight (not premultiplied) alpha.
struct KMPixel {
  std::uint8_t red = 0, green = 0, blue = 0, alpha = 0;
  bool operator==(const KMPixel&) const = default;
};

class UIImage {
public:
  // Edge length, in pixels, above which a decoded image is scaled down on
  // load so that no input can demand unbounded memory.
  static constexpr int kMaximumPixelDimension = 4096;

  // From the main bundle's "images" folder at the main screen's scale; cached
  // (misses too) until clearNamedImageCache().
  static std::shared_ptr<UIImage> imageNamed(std::string_view name);
  // The same lookup in `directory` at `scale`: for scale 2 "name@2x.png",
  // then "name.png", then "name" as given; for scale 1 the 1× file first.
  // `name` may carry its ".png" (or other) extension.
  static std::shared_ptr<UIImage> imageNamedInDirectory(std::string_view name,
                                                        const std::string& directory, double scale);
  static void clearNamedImageCache();

  // JPEG, PNG or GIF (first frame); a file whose name ends in "@2x" has scale 2.
  static std::shared_ptr<UIImage> imageWithContentsOfFile(const std::string& path);
  // The same, scaled down while decoding so neither side exceeds
  // `maximumDimension` pixels (JPEGs then decode at a fraction of the cost).
  static std::shared_ptr<UIImage> imageWithContentsOfFileFittingPixelDimension(const std::string& path,
                                                                              int maximumDimension);
  // Decoded no larger than needed for its shorter side to cover `side`
  // pixels (0: full size), for thumbnails of large photos.
  static std::shared_ptr<UIImage> imageWithContentsOfFileFillingPixels(const std::string& path, int side);
  // `description` names the bytes in warnings.
  static std::shared_ptr<UIImage> imageWithData(const Bytes& data, double scale = 1,
                                                std::string_view description = "data");
  // Takes over one reference to an ARGB32 image surface.
  static std::shared_ptr<UIImage> imageWithSurface(cairo_surface_t* surface, double scale,
                                                   std::string name = {});

  ~UIImage();
  UIImage(const UIImage&) = delete;
  UIImage& operator=(const UIImage&) = delete;

  CGSize size() const; // points
  double scale() const { return m_scale; }
  int pixelWidth() const { return m_pixelWidth; }
  int pixelHeight() const { return m_pixelHeight; }
  // The file or resource name it came from, for messages.
  const std::string& name() const { return m_name; }

  UIEdgeInsets capInsets() const { return m_capInsets; }
  UIImageResizingMode resizingMode() const { return m_resizingMode; }
  bool isResizable() const { return m_capInsets != UIEdgeInsetsZero; }
  // The stretchable form's caps; 0 for other images.
  int leftCapWidth() const { return m_leftCapWidth; }
  int topCapHeight() const { return m_topCapHeight; }

  // Same pixels with caps in points; caps that leave no middle are reduced
  // so one pixel stays, with a warning.
  std::shared_ptr<UIImage> resizableImageWithCapInsets(UIEdgeInsets capInsets) const;
  std::shared_ptr<UIImage> resizableImageWithCapInsetsResizingMode(UIEdgeInsets capInsets,
                                                                   UIImageResizingMode mode) const;
  // The one-point column after `leftCapWidth` and row after `topCapHeight`
  // stretch; a cap of 0 stretches the whole image along that axis.
  std::shared_ptr<UIImage> stretchableImageWithLeftCapWidthTopCapHeight(int leftCapWidth,
                                                                        int topCapHeight) const;

  void drawAtPoint(cairo_t* context, CGPoint point, double alpha = 1) const;
  // Resizable images keep their caps; others scale to the rectangle.
  void drawInRect(cairo_t* context, CGRect rect, double alpha = 1) const;

  // The ARGB32 pixels, owned by the image; callers must not change them.
  cairo_surface_t* cairoSurface() const { return m_surface; }
  KMPixel pixelAt(int x, int y) const;

private:
  UIImage(cairo_surface_t* surface, double scale, std::string name);
  std::shared_ptr<UIImage> copyWithCaps(UIEdgeInsets capInsets, UIImageResizingMode mode) const;

  cairo_surface_t* m_surface = nullptr;
  double m_scale = 1;
  int m_pixelWidth = 0;
  int m_pixelHeight = 0;
  std::string m_name;
  UIEdgeInsets m_capInsets;
  UIImageResizingMode m_resizingMode = UIImageResizingMode::Tile;
  int m_leftCapWidth = 0;
  int m_topCapHeight = 0;
};

} // namespace kdisk
