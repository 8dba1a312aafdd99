#pragma once
// One item of the picker's grid: its thumbnail (a placeholder until decoded,
// a film tile for videos) and, while chosen, a veil and a check mark. A tap
// reports TouchUpInside. Main thread.
#include <memory>

#include "graphics/UIImage.h"
#include "uikit/UIControl.h"

namespace kdisk {

class KMAssetThumbnailView : public UIControl {
 public:
  explicit KMAssetThumbnailView(CGRect frame = CGRectZero);

  const std::shared_ptr<UIImage>& thumbnail() const { return m_thumbnail; }
  void setThumbnail(std::shared_ptr<UIImage> thumbnail);
  bool isVideo() const { return m_video; }
  void setVideo(bool video);
  bool isChosen() const { return m_chosen; }
  void setChosen(bool chosen);

  void drawRect(cairo_t* context, CGRect rect) override;

 private:
  std::shared_ptr<UIImage> m_thumbnail;
  bool m_video = false;
  bool m_chosen = false;
};

}  // namespace kdisk
