#include "screens/viewing/ELCAlbumPickerController.h"

#include <algorithm>
#include <cmath>

#include "graphics/ImageScaling.h"
#include "graphics/UIGraphicsImageContext.h"
#include "platform/Bundle.h"
#include "platform/DispatchQueue.h"
#include "platform/Log.h"
#include "platform/StringFormat.h"
#include "screens/viewing/ELCImagePickerController.h"
#include "screens/viewing/KMAssetGridViewController.h"
#include "screens/viewing/KMAssetThumbnailLoader.h"
#include "uikit/CGContext.h"
#include "uikit/KMAppearanceHelper.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UITableViewCell.h"

namespace kdisk {

namespace {
constexpr const char* kTable = "ELCAlbumPickerController";
constexpr const char* kCellIdentifier = "AlbumCell";
constexpr CGFloat kPosterSide = 50;

auto log() { return logger("ELCAlbumPickerController", LogLevel::Info); }

// The album's newest picture stands for it (videos have no thumbnail).
std::shared_ptr<PhotoAsset> posterOf(const PhotoAssetList& assets) {
  std::shared_ptr<PhotoAsset> newest;
  for (auto& asset : assets) {
    if (asset->type() != PhotoAssetType::Photo) continue;
    if (!newest || asset->creationDate().secondsSince1970 > newest->creationDate().secondsSince1970) newest = asset;
  }
  return newest;
}

// Albums with something to pick, read from the library's folders.
std::vector<KMAlbumSummary> readAlbums(const PhotoLibrary& library) {
  std::vector<KMAlbumSummary> summaries;
  auto albums = library.albums();
  if (!albums.hasValue()) {
    log()->warn("Cannot read the photo library: {}", albums.error().localizedDescription);
    return summaries;
  }
  for (auto& album : albums.value()) {
    auto assets = album.assets();
    if (!assets.hasValue() || assets.value().empty()) continue;
    summaries.push_back({album, std::move(assets.value())});
  }
  return summaries;
}
// The grid's thumbnail brought down to the row's poster size.
std::shared_ptr<UIImage> posterImage(const std::shared_ptr<UIImage>& thumbnail) {
  if (!thumbnail) return nullptr;
  const int side = int(std::lround(kPosterSide * thumbnail->scale()));
  return KMImageByScalingToFillAndCropping(thumbnail.get(), side, side, thumbnail->scale());
}
// What a row shows until its poster arrives, and for an album of videos:
// the album symbol on a tile of the poster's size, so every name lines up.
std::shared_ptr<UIImage> placeholderPoster() {
  static std::shared_ptr<UIImage> placeholder = [] {
    UIGraphicsImageContext context(CGSizeMake(kPosterSide, kPosterSide), KMImageContextOpacity::Opaque);
    CGContextFillRect(context.context(), CGRectMake(0, 0, kPosterSide, kPosterSide),
                      UIColor::colorWithRGB255(225, 230, 233));
    if (auto icon = UIImage::imageNamed("galery_icon")) {
      const CGSize size = icon->size();
      icon->drawAtPoint(context.context(),
                        CGPointMake(std::round((kPosterSide - size.width) / 2), std::round((kPosterSide - size.height) / 2)));
    }
    return context.image();
  }();
  return placeholder;
}
}  // namespace

ELCAlbumPickerController::ELCAlbumPickerController() = default;
ELCAlbumPickerController::~ELCAlbumPickerController() = default;

void ELCAlbumPickerController::loadView() {
  m_tableView = std::make_shared<UITableView>(CGRectMake(0, 0, 320, 416));
  m_tableView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  setView(m_tableView);
}

void ELCAlbumPickerController::viewDidLoad() {
  UIViewController::viewDidLoad();
  setTitle(KMLocalizedString("AlbumsTitle", "Альбомы", kTable));
  auto self = std::static_pointer_cast<ELCAlbumPickerController>(sharedController());
  m_tableView->setDataSource(self);
  m_tableView->setTableDelegate(self);
  m_tableView->setRowHeight(kRowHeight);
  std::weak_ptr<ELCAlbumPickerController> weak = self;
  auto cancel = UIBarButtonItem::itemWithBarButtonSystemItemAction(UIBarButtonSystemItem::Cancel, [weak](auto&) {
    if (auto strong = weak.lock(); strong && strong->m_parent) strong->m_parent->cancelImagePicker();
  });
  if (auto* appearance = KMAppearanceHelper::sharedInstance()) appearance->setNavbarButtonBackgroundRegular(cancel.get());
  navigationItem().setRightBarButtonItemAnimated(cancel);
  reloadAlbums();
}

void ELCAlbumPickerController::reloadAlbums() {
  m_loading = true;
  setTitle(KMLocalizedString("LoadingTitle", "Загрузка...", kTable));
  const PhotoLibrary library = m_parent ? m_parent->library() : PhotoLibrary();
  std::weak_ptr<ELCAlbumPickerController> weak = std::static_pointer_cast<ELCAlbumPickerController>(sharedController());
  dispatchBackground([weak, library] {
    auto summaries = readAlbums(library);
    dispatchMain([weak, summaries = std::move(summaries)]() mutable {
      auto self = weak.lock();
      if (!self) return;
      self->m_assetGroups = std::move(summaries);
      self->m_loading = false;
      self->setTitle(KMLocalizedString("AlbumsTitle", "Альбомы", kTable));
      self->m_tableView->reloadData();
    });
  });
}

int ELCAlbumPickerController::tableViewNumberOfRowsInSection(UITableView&, int) {
  return int(m_assetGroups.size());
}

CGFloat ELCAlbumPickerController::tableViewHeightForRowAtIndexPath(UITableView&, const NSIndexPath&) {
  return kRowHeight;
}

std::shared_ptr<UITableViewCell> ELCAlbumPickerController::tableViewCellForRowAtIndexPath(
    UITableView& tableView, const NSIndexPath& indexPath) {
  auto cell = tableView.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) {
    cell = std::make_shared<UITableViewCell>(UITableViewCellStyle::Subtitle, kCellIdentifier);
    cell->setAccessoryType(UITableViewCellAccessoryType::DisclosureIndicator);
    cell->textLabel().setFont(UIFont::boldSystemFontOfSize(16));
  }
  const auto& summary = m_assetGroups.at(std::size_t(indexPath.row));
  cell->textLabel().setText(summary.album.name());
  if (auto* detail = cell->detailTextLabel()) {
    detail->setText(summary.assets.size() == 1
                        ? KMLocalizedString("AlbumOneItem", "1 шт.", kTable)
                        : KMStringWithFormat(KMLocalizedString("AlbumItemCountFormat", "%@ шт.", kTable),
                                             {std::to_string(summary.assets.size())}));
  }
  auto poster = posterOf(summary.assets);
  std::shared_ptr<UIImage> image;
  if (m_parent && poster) {
    auto& loader = m_parent->thumbnailLoader();
    image = posterImage(loader->cachedThumbnailForAsset(*poster));
    if (!image) {
      std::weak_ptr<ELCAlbumPickerController> weak =
          std::static_pointer_cast<ELCAlbumPickerController>(sharedController());
      const int row = indexPath.row;
      loader->requestThumbnailForAsset(poster, [weak, row](auto& thumbnail) {
        auto self = weak.lock();
        if (!self || !thumbnail) return;
        if (auto shown = self->m_tableView->cellForRowAtIndexPath(NSIndexPath::indexPathForRowInSection(row, 0))) {
          shown->imageView().setImage(posterImage(thumbnail));
          shown->setNeedsLayout();
        }
      });
    }
  }
  // Until the poster arrives (and for an album of videos) the row shows the album symbol.
  cell->imageView().setImage(image ? image : placeholderPoster());
  cell->setNeedsLayout();
  return cell;
}

void ELCAlbumPickerController::tableViewDidSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
  tableView.deselectRowAtIndexPathAnimated(indexPath, KMAnimated::Yes);
  if (!m_parent || indexPath.row >= int(m_assetGroups.size())) return;
  const auto& summary = m_assetGroups[std::size_t(indexPath.row)];
  auto grid = std::make_shared<KMAssetGridViewController>(summary.album.name(), summary.assets, m_parent);
  m_parent->pushViewControllerAnimated(grid, KMAnimated::Yes);
}

}  // namespace kdisk
