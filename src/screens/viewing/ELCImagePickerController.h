#pragma once
// The multi-selection photo picker: a navigation controller whose first
// screen lists the photo library's albums; an album opens as a grid of its
// pictures and videos, several of which the person picks before Done. The
// delegate hears the picked assets (in the album's order) or a cancel, once.
// Main thread; the delegate is held weakly.
#include <memory>

#include "platform/PhotoLibrary.h"
#include "uikit/UINavigationController.h"

namespace kdisk {

class ELCImagePickerController;
class KMAssetThumbnailLoader;

class ELCImagePickerControllerDelegate {
 public:
  virtual ~ELCImagePickerControllerDelegate() = default;
  virtual void elcImagePickerControllerDidFinishPickingMediaWithAssets(ELCImagePickerController& picker,
                                                                       const PhotoAssetList& assets) {
    (void)picker, (void)assets;
  }
  virtual void elcImagePickerControllerDidCancel(ELCImagePickerController& picker) { (void)picker; }
};

class ELCImagePickerController : public UINavigationController {
 public:
  // Opens on `albumList`, which the caller made with this picker as its parent.
  explicit ELCImagePickerController(std::shared_ptr<UIViewController> albumList);
  ~ELCImagePickerController() override;

  std::shared_ptr<ELCImagePickerControllerDelegate> pickerDelegate() const { return m_delegate.lock(); }
  void setPickerDelegate(std::weak_ptr<ELCImagePickerControllerDelegate> delegate) {
    m_delegate = std::move(delegate);
  }
  // The library the screens read; the user's own unless set.
  const PhotoLibrary& library() const { return m_library; }
  void setLibrary(PhotoLibrary library) { m_library = std::move(library); }
  // Thumbnails shared by the album list and the grids, decoded off the main thread.
  const std::shared_ptr<KMAssetThumbnailLoader>& thumbnailLoader();

  // From the grid's Done and the Cancel buttons.
  void selectedAssets(const PhotoAssetList& assets);
  void cancelImagePicker();

 private:
  bool m_answered = false;
  std::weak_ptr<ELCImagePickerControllerDelegate> m_delegate;
  PhotoLibrary m_library;
  std::shared_ptr<KMAssetThumbnailLoader> m_thumbnailLoader;
};

}  // namespace kdisk
