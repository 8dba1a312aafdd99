#pragma once
// The list thumbnails of server previews: the preview scaled to fill a square
// as wide as the mask, cut out by the mask and framed by the border image.
// Pure functions of their images; safe on any thread.

#include <memory>

namespace kdisk {

class UIImage;

// `image` masked by `mask`, stretched to the image's pixels. The mask works
// as an inverse alpha: where it is black the image shows, where it is white
// (or transparent) it does not; greys give partial cover. The result has the
// main screen's scale. nullptr when either is missing.
std::shared_ptr<UIImage> KAImageWithMask(const UIImage* image, const UIImage* mask);

// `border` drawn over `image` in the image's own rectangle. Without a border,
// the image itself.
std::shared_ptr<UIImage> KAImageWithBorder(const std::shared_ptr<UIImage>& image,
                                           const UIImage* border);

// Side = mask width in points × main screen scale, whole pixels; the image
// filled into side × side and centre-cropped, masked, then bordered.
std::shared_ptr<UIImage> KAThumbnailForImage(const UIImage* image, const UIImage* mask,
                                             const UIImage* border);

// KAThumbnailForImage with the bundle's "preview_mask" and "preview_border".
std::shared_ptr<UIImage> KADiskThumbnailForImage(const UIImage* image);

} // namespace kdisk
