#pragma once
// Conversions between straight-alpha pixels and the premultiplied, native
// endian 32-bit words Cairo stores. Used inside the graphics layer only.

#include <cstdint>

#include "graphics/UIImage.h"

namespace kdisk {

inline std::uint32_t KMPremultipliedWordFromPixel(KMPixel pixel) {
  const auto premultiply = [&](std::uint8_t component) -> std::uint32_t {
    return (component * pixel.alpha + 127) / 255;
  };
  return (std::uint32_t{pixel.alpha} << 24) | (premultiply(pixel.red) << 16) |
         (premultiply(pixel.green) << 8) | premultiply(pixel.blue);
}

inline KMPixel KMPixelFromPremultipliedWord(std::uint32_t word) {
  const std::uint32_t alpha = word >> 24;
  if (alpha == 0)
    return {};
  const auto unpremultiply = [&](std::uint32_t component) -> std::uint8_t {
    const std::uint32_t value = (component * 255 + alpha / 2) / alpha;
    return static_cast<std::uint8_t>(value > 255 ? 255 : value);
  };
  return {unpremultiply((word >> 16) & 0xff), unpremultiply((word >> 8) & 0xff),
          unpremultiply(word & 0xff), static_cast<std::uint8_t>(alpha)};
}

} // namespace kdisk
