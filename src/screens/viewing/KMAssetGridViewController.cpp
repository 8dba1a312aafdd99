#include "screens/viewing/KMAssetGridViewController.h"

#include "platform/Bundle.h"
#include "screens/viewing/ELCImagePickerController.h"
#include "screens/viewing/KMAssetThumbnailView.h"
#include "uikit/KMAppearanceHelper.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UINavigationItem.h"

namespace kdisk {

namespace {
constexpr const char* kRowIdentifier = "AssetRow";
}

// One row of four items. It asks the loader for the thumbnails of the items
// it shows and forgets those requests when it shows other items.
class KMAssetGridViewController::Row : public UITableViewCell {
 public:
  explicit Row(std::weak_ptr<KMAssetGridViewController> grid)
      : UITableViewCell(UITableViewCellStyle::Default, kRowIdentifier), m_grid(std::move(grid)) {
    setSelectionStyle(UITableViewCellSelectionStyle::None);
    setBackgroundColor(UIColor::whiteColor());
    for (int column = 0; column < kColumns; ++column) {
      auto view = std::make_shared<KMAssetThumbnailView>(
          CGRectMake(kGap + column * (kThumbnailSide + kGap), kGap, kThumbnailSide, kThumbnailSide));
      Row* self = this;
      // The views live inside this row, so the raw pointer cannot dangle.
      view->addActionForControlEvents(
          [self, column](UIControl&) {
            if (self->m_firstIndex < 0) return;
            if (auto grid = self->m_grid.lock()) grid->toggleAssetAtIndex(std::size_t(self->m_firstIndex + column));
          },
          UIControlEventTouchUpInside);
      contentView().addSubview(view);
      m_views.push_back(view);
    }
  }
  ~Row() override { cancelRequests(); }

  void showRow(int row, KMAssetGridViewController& grid, const std::shared_ptr<KMAssetThumbnailLoader>& loader) {
    cancelRequests();
    m_firstIndex = row * kColumns;
    m_loader = loader;
    for (int column = 0; column < kColumns; ++column) {
      auto& view = m_views[std::size_t(column)];
      const std::size_t index = std::size_t(m_firstIndex + column);
      if (index >= grid.assets().size()) {
        view->setHidden(true);
        continue;
      }
      const auto& asset = grid.assets()[index];
      view->setHidden(false);
      view->setVideo(asset->type() == PhotoAssetType::Video);
      view->setChosen(grid.isChosen(index));
      auto cached = loader->cachedThumbnailForAsset(*asset);
      view->setThumbnail(cached);
      if (cached || asset->type() == PhotoAssetType::Video) continue;
      std::weak_ptr<KMAssetThumbnailView> weakView = view;
      const int shownFirst = m_firstIndex;
      Row* self = this;
      // The request is cancelled before this row dies or shows other items.
      m_requests.push_back(loader->requestThumbnailForAsset(asset, [self, weakView, shownFirst](auto& image) {
        if (self->m_firstIndex != shownFirst) return;
        if (auto strong = weakView.lock()) strong->setThumbnail(image);
      }));
    }
  }

  int firstIndex() const { return m_firstIndex; }
  KMAssetThumbnailView* viewAtColumn(int column) const { return m_views[std::size_t(column)].get(); }

 private:
  void cancelRequests() {
    if (auto loader = m_loader.lock())
      for (auto request : m_requests) loader->cancel(request);
    m_requests.clear();
  }

  std::weak_ptr<KMAssetGridViewController> m_grid;
  std::weak_ptr<KMAssetThumbnailLoader> m_loader;
  std::vector<std::shared_ptr<KMAssetThumbnailView>> m_views;
  std::vector<KMThumbnailRequestId> m_requests;
  int m_firstIndex = -1;
};

KMAssetGridViewController::KMAssetGridViewController(std::string albumName, PhotoAssetList assets,
                                                     ELCImagePickerController* parent)
    : m_albumName(std::move(albumName)), m_assets(std::move(assets)), m_chosen(m_assets.size(), false),
      m_parent(parent) {}

KMAssetGridViewController::~KMAssetGridViewController() = default;

void KMAssetGridViewController::loadView() {
  m_tableView = std::make_shared<UITableView>(CGRectMake(0, 0, 320, 416));
  m_tableView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  setView(m_tableView);
}

void KMAssetGridViewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  setTitle(m_albumName);
  auto self = std::static_pointer_cast<KMAssetGridViewController>(sharedController());
  m_tableView->setDataSource(self);
  m_tableView->setTableDelegate(self);
  m_tableView->setRowHeight(kRowHeight);
  m_tableView->setSeparatorStyle(UITableViewCellSeparatorStyle::None);
  m_tableView->setBackgroundColor(UIColor::whiteColor());
  // The last row keeps the same gap below it as between rows.
  m_tableView->setTableFooterView(std::make_shared<UIView>(CGRectMake(0, 0, 320, kGap)));
  std::weak_ptr<KMAssetGridViewController> weak = self;
  auto done = UIBarButtonItem::itemWithBarButtonSystemItemAction(UIBarButtonSystemItem::Done, [weak](auto&) {
    if (auto strong = weak.lock()) strong->doneButtonTouched();
  });
  if (auto* appearance = KMAppearanceHelper::sharedInstance()) appearance->setNavbarButtonBackgroundBlue(done.get());
  navigationItem().setRightBarButtonItemAnimated(done);
  updateDoneButton();
}

int KMAssetGridViewController::tableViewNumberOfRowsInSection(UITableView&, int) {
  return int((m_assets.size() + kColumns - 1) / kColumns);
}

std::shared_ptr<UITableViewCell> KMAssetGridViewController::tableViewCellForRowAtIndexPath(
    UITableView& tableView, const NSIndexPath& indexPath) {
  auto cell = std::static_pointer_cast<Row>(tableView.dequeueReusableCellWithIdentifier(kRowIdentifier));
  if (!cell) cell = std::make_shared<Row>(std::static_pointer_cast<KMAssetGridViewController>(sharedController()));
  cell->showRow(indexPath.row, *this, m_parent->thumbnailLoader());
  return cell;
}

std::optional<NSIndexPath> KMAssetGridViewController::tableViewWillSelectRowAtIndexPath(UITableView&,
                                                                                       const NSIndexPath&) {
  return std::nullopt;
}

KMAssetThumbnailView* KMAssetGridViewController::thumbnailViewForAssetAtIndex(std::size_t index) {
  if (!m_tableView) return nullptr;
  for (auto& cell : m_tableView->visibleCells()) {
    auto row = std::static_pointer_cast<Row>(cell);
    if (row->firstIndex() >= 0 && index >= std::size_t(row->firstIndex()) &&
        index < std::size_t(row->firstIndex() + kColumns))
      return row->viewAtColumn(int(index - std::size_t(row->firstIndex())));
  }
  return nullptr;
}

void KMAssetGridViewController::toggleAssetAtIndex(std::size_t index) {
  if (index >= m_chosen.size()) return;
  m_chosen[index] = !m_chosen[index];
  if (auto* view = thumbnailViewForAssetAtIndex(index)) view->setChosen(m_chosen[index]);
  updateDoneButton();
}

PhotoAssetList KMAssetGridViewController::chosenAssets() const {
  PhotoAssetList chosen;
  for (std::size_t i = 0; i < m_assets.size(); ++i)
    if (m_chosen[i]) chosen.push_back(m_assets[i]);
  return chosen;
}

void KMAssetGridViewController::updateDoneButton() {
  if (auto done = navigationItem().rightBarButtonItem())
    done->setEnabled(std::find(m_chosen.begin(), m_chosen.end(), true) != m_chosen.end());
}

void KMAssetGridViewController::doneButtonTouched() {
  auto chosen = chosenAssets();
  if (chosen.empty()) return;
  auto keepAlive = sharedController();
  if (m_parent) m_parent->selectedAssets(chosen);
}

}  // namespace kdisk
