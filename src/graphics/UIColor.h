#pragma once
// A colour: red, green, blue and alpha in 0…1, or a pattern that tiles an
// image (its pixels at the image's scale). A value; copies share the image.

#include <memory>

typedef struct _cairo cairo_t;

namespace kdisk {

class UIImage;

class UIColor {
public:
  UIColor() = default; // opaque black

  static UIColor colorWithRedGreenBlueAlpha(double red, double green, double blue, double alpha);
  // Components out of 255, the way the screens give their colours.
  static UIColor colorWithRGB255(int red, int green, int blue, double alpha = 1);
  static UIColor colorWithWhiteAlpha(double white, double alpha);
  // Without an image the pattern colour is clear.
  static UIColor colorWithPatternImage(std::shared_ptr<const UIImage> image);

  static UIColor blackColor() { return colorWithWhiteAlpha(0, 1); }
  static UIColor whiteColor() { return colorWithWhiteAlpha(1, 1); }
  static UIColor clearColor() { return colorWithWhiteAlpha(0, 0); }
  static UIColor grayColor() { return colorWithWhiteAlpha(0.5, 1); }
  static UIColor lightGrayColor() { return colorWithWhiteAlpha(2.0 / 3.0, 1); }
  static UIColor darkGrayColor() { return colorWithWhiteAlpha(1.0 / 3.0, 1); }
  static UIColor redColor() { return colorWithRedGreenBlueAlpha(1, 0, 0, 1); }

  UIColor colorWithAlphaComponent(double alpha) const;

  double red() const { return m_red; }
  double green() const { return m_green; }
  double blue() const { return m_blue; }
  double alpha() const { return m_alpha; }
  bool isPattern() const { return m_patternImage != nullptr; }
  const std::shared_ptr<const UIImage>& patternImage() const { return m_patternImage; }

  // Makes this colour the context's source for fills and strokes; a pattern
  // is anchored at the context's current origin.
  void setFill(cairo_t* context) const;

  bool operator==(const UIColor& other) const;

private:
  double m_red = 0, m_green = 0, m_blue = 0, m_alpha = 1;
  std::shared_ptr<const UIImage> m_patternImage;
};

} // namespace kdisk
