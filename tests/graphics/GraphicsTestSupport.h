#pragma once
// Helpers for graphics tests: images made pixel by pixel, files written from them.

#include <functional>
#include <memory>
#include <string>

#include "graphics/UIImage.h"
#include "support/TemporaryDirectory.h"

namespace kdisk::testing {

using TemporaryDirectory = kdisk::test::TemporaryDirectory;

using PixelFunction = std::function<KMPixel(int x, int y)>;

std::shared_ptr<UIImage> makeImage(int width, int height, double scale, const PixelFunction& pixel);
std::shared_ptr<UIImage> makeSolidImage(int width, int height, double scale, KMPixel colour);
void writePNG(const UIImage& image, const std::string& path);
void writeBytes(const std::string& path, const Bytes& bytes);

inline constexpr KMPixel kRed{255, 0, 0, 255};
inline constexpr KMPixel kGreen{0, 255, 0, 255};
inline constexpr KMPixel kBlue{0, 0, 255, 255};
inline constexpr KMPixel kWhite{255, 255, 255, 255};
inline constexpr KMPixel kBlack{0, 0, 0, 255};
inline constexpr KMPixel kClear{0, 0, 0, 0};

// The folder of the bundle's rendered images in the build tree.
std::string builtImagesDirectory();

} // namespace kdisk::testing
