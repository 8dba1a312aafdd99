#pragma once
// Shows an image (or its highlighted variant) placed by the content mode;
// resizable images keep their caps. Not interactive. Main thread.
#include <memory>

#include "graphics/UIImage.h"
#include "uikit/UIView.h"

namespace kdisk {

class UIImageView : public UIView {
 public:
  explicit UIImageView(CGRect frame = CGRectZero);
  // Sized to the image, at the origin.
  explicit UIImageView(std::shared_ptr<UIImage> image);

  const std::shared_ptr<UIImage>& image() const { return m_image; }
  void setImage(std::shared_ptr<UIImage> image);
  const std::shared_ptr<UIImage>& highlightedImage() const { return m_highlightedImage; }
  void setHighlightedImage(std::shared_ptr<UIImage> image);
  bool isHighlighted() const { return m_highlighted; }
  void setHighlighted(bool highlighted);

  CGSize sizeThatFits(CGSize size) const override;
  void drawRect(cairo_t* context, CGRect rect) override;
  // Where the image lands in `bounds` for the current content mode.
  CGRect imageRectForBounds(CGRect bounds, CGSize imageSize) const;

 private:
  std::shared_ptr<UIImage> m_image;
  std::shared_ptr<UIImage> m_highlightedImage;
  bool m_highlighted = false;
};

}  // namespace kdisk
