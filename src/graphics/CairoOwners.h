#pragma once
// Owners of Cairo's contexts, surfaces, patterns and font options for the
// files that draw with Cairo themselves, so no return path leaks one. Include
// it only from sources (it brings Cairo's header along). A surface handed to
// UIImage::imageWithSurface is released into it.

#include <cairo.h>

#include <memory>

namespace kdisk::cairo {

struct ContextDeleter {
  void operator()(cairo_t* context) const { cairo_destroy(context); }
};
struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct PatternDeleter {
  void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
};
struct FontOptionsDeleter {
  void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};

using Context = std::unique_ptr<cairo_t, ContextDeleter>;
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Pattern = std::unique_ptr<cairo_pattern_t, PatternDeleter>;
using FontOptions = std::unique_ptr<cairo_font_options_t, FontOptionsDeleter>;

}  // namespace kdisk::cairo
