#include "graphics/TextLayout.h"

#include <pango/pangocairo.h>

#include <cmath>
#include <string>

#include "graphics/CairoOwners.h"
#include "platform/GLibOwners.h"

namespace kdisk {
namespace {

struct FontDescriptionDeleter {
  void operator()(PangoFontDescription* description) const {
    pango_font_description_free(description);
  }
};
struct FontMetricsDeleter {
  void operator()(PangoFontMetrics* metrics) const { pango_font_metrics_unref(metrics); }
};
using FontDescription = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;
using FontMetrics = std::unique_ptr<PangoFontMetrics, FontMetricsDeleter>;

// Font maps and contexts are not shareable between threads.
PangoContext* measuringContext() {
  thread_local struct ContextHolder {
    PangoContext* context = nullptr;
    glib::Object<PangoContext> owner;
    ContextHolder() {
      glib::Object<PangoFontMap> fontMap(pango_cairo_font_map_new());
      owner.reset(pango_font_map_create_context(fontMap.get()));
      context = owner.get();
      const cairo::FontOptions options(cairo_font_options_create());
      cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
      cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
      cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
      pango_cairo_context_set_font_options(context, options.get());
      pango_cairo_context_set_resolution(context, 72);
      pango_context_set_round_glyph_positions(context, FALSE);
    }
  } holder;
  return holder.context;
}

FontDescription descriptionFor(const UIFont& font) {
  FontDescription description(pango_font_description_new());
  pango_font_description_set_family(description.get(), font.familyName().c_str());
  pango_font_description_set_weight(description.get(),
                                    font.isBold() ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_absolute_size(description.get(), font.pointSize() * PANGO_SCALE);
  return description;
}

CGFloat points(int pangoUnits) {
  return double(pangoUnits) / PANGO_SCALE;
}

} // namespace

struct TextLayout::Implementation {
  glib::Object<PangoLayout> owner;
  PangoLayout* layout = nullptr;
  NSLineBreakMode mode = NSLineBreakMode::WordWrap;
  CGFloat width = -1;
  int lines = 0;

  void apply() {
    const bool truncating = mode == NSLineBreakMode::TruncatingHead ||
                            mode == NSLineBreakMode::TruncatingTail ||
                            mode == NSLineBreakMode::TruncatingMiddle;
    pango_layout_set_width(layout, width >= 0 ? int(width * PANGO_SCALE) : -1);
    pango_layout_set_wrap(layout, mode == NSLineBreakMode::CharacterWrap ? PANGO_WRAP_CHAR
                                                                         : PANGO_WRAP_WORD_CHAR);
    PangoEllipsizeMode ellipsis = PANGO_ELLIPSIZE_NONE;
    if (mode == NSLineBreakMode::TruncatingHead)
      ellipsis = PANGO_ELLIPSIZE_START;
    if (mode == NSLineBreakMode::TruncatingMiddle)
      ellipsis = PANGO_ELLIPSIZE_MIDDLE;
    if (mode == NSLineBreakMode::TruncatingTail || (lines > 0 && !truncating)) {
      ellipsis = PANGO_ELLIPSIZE_END;
    }
    if (width < 0)
      ellipsis = PANGO_ELLIPSIZE_NONE;
    pango_layout_set_ellipsize(layout, ellipsis);
    // Negative heights count lines; truncating modes keep one line.
    const int shownLines = truncating ? 1 : lines;
    pango_layout_set_height(layout, shownLines > 0 ? -shownLines : -1);
    if (mode == NSLineBreakMode::Clip && width >= 0) {
      pango_layout_set_width(layout, -1);
      pango_layout_set_height(layout, lines > 0 ? -lines : -1);
    }
  }
};

TextLayout::TextLayout(std::string_view text, const UIFont& font)
    : m_implementation(std::make_unique<Implementation>()) {
  m_implementation->owner.reset(pango_layout_new(measuringContext()));
  m_implementation->layout = m_implementation->owner.get();
  pango_layout_set_font_description(m_implementation->layout, descriptionFor(font).get());
  // Pango wants valid UTF-8; invalid bytes become replacement characters.
  glib::Text valid(g_utf8_make_valid(text.data(), gssize(text.size())));
  pango_layout_set_text(m_implementation->layout, valid.get(), -1);
  m_implementation->apply();
}

TextLayout::~TextLayout() = default;

void TextLayout::setWidth(CGFloat width) {
  m_implementation->width = std::isfinite(width) ? std::max<CGFloat>(width, 0) : -1;
  m_implementation->apply();
}

void TextLayout::setLineBreakMode(NSLineBreakMode mode) {
  m_implementation->mode = mode;
  m_implementation->apply();
}

void TextLayout::setTextAlignment(NSTextAlignment alignment) {
  pango_layout_set_alignment(m_implementation->layout,
                             alignment == NSTextAlignment::Center  ? PANGO_ALIGN_CENTER
                             : alignment == NSTextAlignment::Right ? PANGO_ALIGN_RIGHT
                                                                   : PANGO_ALIGN_LEFT);
}

void TextLayout::setNumberOfLines(int lines) {
  m_implementation->lines = std::max(lines, 0);
  m_implementation->apply();
}

CGSize TextLayout::size() const {
  PangoRectangle logical;
  pango_layout_get_extents(m_implementation->layout, nullptr, &logical);
  return {std::ceil(points(logical.width) - 1e-6), std::ceil(points(logical.height) - 1e-6)};
}

int TextLayout::lineCount() const {
  return pango_layout_get_line_count(m_implementation->layout);
}

CGFloat TextLayout::baseline() const {
  return points(pango_layout_get_baseline(m_implementation->layout));
}

void TextLayout::drawAtPoint(cairo_t* context, CGPoint point) const {
  if (!context)
    return;
  cairo_save(context);
  cairo_move_to(context, point.x, point.y);
  pango_cairo_show_layout(context, m_implementation->layout);
  cairo_restore(context);
}

KMFontMetrics TextLayout::fontMetrics(const UIFont& font) {
  const FontMetrics metrics(
      pango_context_get_metrics(measuringContext(), descriptionFor(font).get(), nullptr));
  KMFontMetrics result;
  result.ascender = points(pango_font_metrics_get_ascent(metrics.get()));
  result.descender = points(pango_font_metrics_get_descent(metrics.get()));
  result.lineHeight = points(pango_font_metrics_get_height(metrics.get()));
  if (result.lineHeight <= 0)
    result.lineHeight = result.ascender + result.descender;
  return result;
}

} // namespace kdisk
