#include "screens/viewing/ELCImagePickerController.h"

#include "screens/viewing/KMAssetGridViewController.h"
#include "screens/viewing/KMAssetThumbnailLoader.h"

namespace kdisk {

namespace {
// Enough for a few screens of the grid at either scale, bounded in memory
// (about 22 MB of pixels at scale 2).
constexpr std::size_t kThumbnailCacheCapacity = 240;
}  // namespace

ELCImagePickerController::ELCImagePickerController(std::shared_ptr<UIViewController> albumList)
    : UINavigationController(std::move(albumList)) {}

ELCImagePickerController::~ELCImagePickerController() = default;

const std::shared_ptr<KMAssetThumbnailLoader>& ELCImagePickerController::thumbnailLoader() {
  if (!m_thumbnailLoader)
    m_thumbnailLoader =
        KMAssetThumbnailLoader::create(KMAssetGridViewController::kThumbnailSide, kThumbnailCacheCapacity);
  return m_thumbnailLoader;
}

void ELCImagePickerController::selectedAssets(const PhotoAssetList& assets) {
  if (m_answered) return;
  m_answered = true;
  auto keepAlive = sharedController();
  if (auto delegate = m_delegate.lock()) delegate->elcImagePickerControllerDidFinishPickingMediaWithAssets(*this, assets);
}

void ELCImagePickerController::cancelImagePicker() {
  if (m_answered) return;
  m_answered = true;
  auto keepAlive = sharedController();
  if (auto delegate = m_delegate.lock()) delegate->elcImagePickerControllerDidCancel(*this);
}

}  // namespace kdisk
