#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kdisk::service {

// Pictures through gdk-pixbuf: previews for clients and generated demo images.
// Only still-image formats are decoded (no SVG, so no external references).
enum class PreviewOutcome { Made, NotPicture };

PreviewOutcome makeJpegPreview(const std::filesystem::path& picture, int edge, std::string& jpeg);

// A gradient picture with a few shapes, saved as "jpeg" or "png".
bool writeDemoPicture(const std::filesystem::path& path, int width, int height, unsigned seed,
                      const char* format);

} // namespace kdisk::service
