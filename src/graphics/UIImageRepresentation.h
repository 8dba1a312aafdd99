#pragma once
// Encoding an image for upload or storage. Nothing when there is no image or
// the encoder fails.

#include <optional>

#include "platform/Value.h"

namespace kdisk {

class UIImage;

// Quality 0…1 (uploads use 0.8). JPEG has no alpha: transparent parts come
// out white.
std::optional<Bytes> UIImageJPEGRepresentation(const UIImage* image, double compressionQuality);
std::optional<Bytes> UIImagePNGRepresentation(const UIImage* image);

} // namespace kdisk
