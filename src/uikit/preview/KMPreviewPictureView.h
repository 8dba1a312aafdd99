#pragma once
// A picture of the document preview: decoded on the shared background queue
// at no more pixels than the screen can show at double zoom, upright as the
// camera held it, shown as wide as the view and scrolled when taller.
#include <memory>
#include <string>

#include "uikit/preview/KMPreviewContentView.h"

namespace kdisk {

class UIImage;
class UIImageView;

class KMPreviewPictureView : public KMPreviewContentView {
 public:
  KMPreviewPictureView(CGRect frame, std::string path);
  ~KMPreviewPictureView() override;

  void load() override;
  bool isShowingContent() const override;
  bool zooms() const override { return true; }
  const std::shared_ptr<UIImage>& image() const;
  // The longest side, in pixels, a picture is decoded at.
  static int decodingPixelDimension();

 protected:
  void layoutContentForWidth(CGFloat width) override;

 private:
  void didDecode(std::shared_ptr<UIImage> image);
  std::string m_path;
  std::shared_ptr<UIImageView> m_imageView;
  bool m_loading = false;
};

}  // namespace kdisk
