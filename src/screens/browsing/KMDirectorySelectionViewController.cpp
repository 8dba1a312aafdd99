#include "screens/browsing/KMDirectorySelectionViewController.h"

#include "platform/Bundle.h"
#include "settings/KMSettings.h"
#include "uikit/KMAppearanceHelper.h"
#include "uikit/UILabel.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UITableView.h"
#include "webdav/KMDirectory.h"
#include "webdav/KMFile.h"

namespace kdisk {

namespace {
constexpr const char* kTable = "KMDirectoryViewController";
}  // namespace

KMDirectorySelectionViewController::KMDirectorySelectionViewController(std::optional<kdisk::URL> url,
                                                                       std::shared_ptr<KMWebDAVFileManager> manager)
    : KMDirectoryViewController(std::move(url), std::move(manager)) {
  setListsUploads(false);
}

void KMDirectorySelectionViewController::viewDidLoad() {
  KMDirectoryViewController::viewDidLoad();
  resignGroupEditModeAnimated(KMAnimated::No);
  navigationItem().setPrompt(
      KMLocalizedString("DirectorySelectionDialogPrompt", "Выберите папку для загрузки", kTable));
  navigationItem().setLeftBarButtonItemAnimated(nullptr, KMAnimated::No);

  const CGRect bounds = view()->bounds();
  m_toolbar = std::make_shared<UIToolbar>(
      CGRectMake(0, bounds.size.height - kToolbarHeight, bounds.size.width, kToolbarHeight));
  m_toolbar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
  const KMSettingsColor tint = KMSettings::defaultTintColor();
  m_toolbar->setTintColor(UIColor::colorWithRGB255(tint.red, tint.green, tint.blue, tint.alpha));
  auto* helper = KMAppearanceHelper::sharedInstance();
  if (helper) helper->setToolbarBackgroundGreyForToolbarPosition(m_toolbar.get(), UIToolbarPosition::Any);

  std::weak_ptr<KMDirectorySelectionViewController> weak = sharedSelf();
  auto cancel = UIBarButtonItem::itemWithBarButtonSystemItemAction(UIBarButtonSystemItem::Cancel, [weak](UIBarButtonItem&) {
    if (auto self = weak.lock()) self->cancelButtonTouched();
  });
  auto done = UIBarButtonItem::itemWithBarButtonSystemItemAction(UIBarButtonSystemItem::Done, [weak](UIBarButtonItem&) {
    if (auto self = weak.lock()) self->putButtonTouched();
  });
  if (helper) {
    helper->setNavbarButtonBackgroundGrey(cancel.get());
    helper->setNavbarButtonBackgroundBlue(done.get());
  }
  m_toolbar->setItemsAnimated(
      {cancel, UIBarButtonItem::itemWithBarButtonSystemItemAction(UIBarButtonSystemItem::FlexibleSpace, {}), done},
      KMAnimated::No);
  view()->addSubview(m_toolbar);

  CGRect tableFrame = tableView()->frame();
  tableFrame.size.height = bounds.size.height - kToolbarHeight - tableFrame.origin.y;
  tableView()->setFrame(tableFrame);
}

std::shared_ptr<UITableViewCell> KMDirectorySelectionViewController::tableViewCellForRowAtIndexPath(
    UITableView& table, const NSIndexPath& indexPath) {
  auto cell = KMDirectoryViewController::tableViewCellForRowAtIndexPath(table, indexPath);
  if (!cell) return cell;
  const bool isFile = cell->reuseIdentifier() == std::string(kFileCellIdentifier);
  if (isFile) {
    if (cell->contentView().alpha() > 0.99) cell->contentView().setAlpha(kDimmedFileAlpha);
    cell->setSelectionStyle(UITableViewCellSelectionStyle::None);
  }
  cell->textLabel().setBackgroundColor(UIColor::clearColor());
  if (auto* detail = cell->detailTextLabel()) detail->setBackgroundColor(UIColor::clearColor());
  return cell;
}

void KMDirectorySelectionViewController::tableViewDidSelectRowAtIndexPath(UITableView& table,
                                                                          const NSIndexPath& indexPath) {
  const auto& items = &table == tableView().get() || !filteredContents() ? currentContents() : *filteredContents();
  if (indexPath.row < 0 || indexPath.row >= int(items.size())) return;
  const auto& item = items[indexPath.row];
  if (typeid(*item) != typeid(KMDirectory)) {
    table.deselectRowAtIndexPathAnimated(indexPath, KMAnimated::No);
    return;
  }
  auto* navigation = navigationController();
  if (!navigation) return;
  auto next = std::make_shared<KMDirectorySelectionViewController>(item->URL(), fileManager());
  next->navigationItem().setTitle(item->displayName());
  next->setDelegate(sharedSelf());
  navigation->pushViewControllerAnimated(next, KMAnimated::Yes);
}

void KMDirectorySelectionViewController::putButtonTouched() {
  directorySelectionViewControllerDidSelectDirectoryWithURL(*this, URL());
}

void KMDirectorySelectionViewController::cancelButtonTouched() { directorySelectionViewControllerDidCancel(*this); }

void KMDirectorySelectionViewController::plusButtonTouched() {
  auto dialog = std::make_shared<KMCreateDirectoryDialog>();
  dialog->setFileManagerForTesting(fileManager());
  dialog->setDelegate(sharedSelf());
  dialog->setParentDirURL(URL());
  auto* navigation = navigationController();
  UIViewController& presenter = navigation ? static_cast<UIViewController&>(*navigation) : *this;
  presenter.presentViewControllerAnimatedCompletion(std::make_shared<UINavigationController>(dialog),
                                                    KMAnimated::Yes);
}

void KMDirectorySelectionViewController::directorySelectionViewControllerDidSelectDirectoryWithURL(
    KMDirectorySelectionViewController&, const kdisk::URL& url) {
  if (auto target = delegate()) target->directorySelectionViewControllerDidSelectDirectoryWithURL(*this, url);
}

void KMDirectorySelectionViewController::directorySelectionViewControllerDidCancel(KMDirectorySelectionViewController&) {
  if (auto target = delegate()) target->directorySelectionViewControllerDidCancel(*this);
}

void KMDirectorySelectionViewController::createDirectoryDialogDidCreateDirectoryWithName(KMCreateDirectoryDialog& dialog,
                                                                                         const std::string&) {
  dialog.dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
}

void KMDirectorySelectionViewController::createDirectoryDialogDidCancel(KMCreateDirectoryDialog& dialog) {
  dialog.dismissViewControllerAnimatedCompletion(KMAnimated::Yes);
}

}  // namespace kdisk
