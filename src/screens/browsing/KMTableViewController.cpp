#include "screens/browsing/KMTableViewController.h"

#include "platform/Bundle.h"
#include "platform/KMAnalytics.h"
#include "settings/KMSettings.h"
#include "uikit/UINavigationBar.h"
#include "uikit/UINavigationController.h"
#include "uikit/UISearchDisplayController.h"

namespace kdisk {

namespace {
constexpr const char* kTable = "KMTableViewController";
UIColor colorFromSettings(KMSettingsColor color) {
  return UIColor::colorWithRGB255(color.red, color.green, color.blue, color.alpha);
}
}  // namespace

KMTableViewController::KMTableViewController() {
  setGroupEditingEnabled(true);
  setPullRefreshStyle(1);
  setTextPull(KMLocalizedString("PullToRefreshPull", "Потяните...", kTable));
  setTextRelease(KMLocalizedString("PullToRefreshRelease", "Отпустите...", kTable));
  setTextLoading(KMLocalizedString("PullToRefreshLoading", "Загрузка... (не готово)", kTable));
}

KMTableViewController::~KMTableViewController() = default;

std::shared_ptr<KMTableViewMessageFooter> KMTableViewController::makeFooter(
    const std::optional<std::string>& text) const {
  auto footer = std::make_shared<KMTableViewMessageFooter>(
      CGRectMake(0, 0, tableView()->bounds().size.width, kFooterHeight));
  footer->setText(text);
  return footer;
}

void KMTableViewController::viewDidLoad() {
  KMGroupEditTableViewController::viewDidLoad();
  auto background = std::make_shared<UIView>(tableView()->bounds());
  background->setBackgroundColor(colorFromSettings(KMSettings::defaultBackgroundColor()));
  tableView()->setBackgroundView(background);
  tableView()->setRowHeight(kRowHeight);
  if (auto* navigation = navigationController())
    navigation->navigationBar().setTintColor(colorFromSettings(KMSettings::defaultTintColor()));
  m_emptyFooter = std::make_shared<UIView>(CGRectZero);
  m_loadingFooter = makeFooter(textLoading());
  m_loadingFooter->activityIndicator().startAnimating();
  m_noItemsFooter = makeFooter(m_textNoItems);
  m_loadingFailedFooter = makeFooter(m_textLoadingFailed);
  tableView()->setTableFooterView(m_emptyFooter);
  m_firstTimeOpening = true;
}

void KMTableViewController::viewWillAppear(KMAnimated animated) {
  KMGroupEditTableViewController::viewWillAppear(animated);
  if (auto selected = tableView()->indexPathForSelectedRow())
    tableView()->deselectRowAtIndexPathAnimated(*selected, KMAnimated::Yes);
  if (m_firstTimeOpening) {
    setLoadingStateAnimated(KMLoadingStateLoading, KMAnimated::No);
    updateData();
    refetchAndReloadData();
  }
}

void KMTableViewController::viewDidAppear(KMAnimated animated) {
  KMGroupEditTableViewController::viewDidAppear(animated);
  m_firstTimeOpening = false;
  tableView()->setScrollEnabled(true);
  tableView()->setBounces(true);
}

bool KMTableViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const {
  return KMSettings::shouldRotateInterfaceToInterfaceOrientation(
      orientation == UIInterfaceOrientation::Portrait ? InterfaceOrientation::Portrait
                                                      : InterfaceOrientation::PortraitUpsideDown);
}

void KMTableViewController::setTextNoItems(std::optional<std::string> text) {
  m_textNoItems = std::move(text);
  if (m_noItemsFooter) m_noItemsFooter->setText(m_textNoItems);
}

void KMTableViewController::setTextLoadingFailed(std::optional<std::string> text) {
  m_textLoadingFailed = std::move(text);
  if (m_loadingFailedFooter) m_loadingFailedFooter->setText(m_textLoadingFailed);
}

void KMTableViewController::setLoadingStateAnimated(int state, KMAnimated animated) {
  m_loadingState = state;
  updateTableFooterAnimated(animated);
}

bool KMTableViewController::isEmpty() {
  UITableView* table = currentTableView();
  if (!table) return true;
  for (int section = 0; section < table->numberOfSections(); ++section)
    if (table->numberOfRowsInSection(section) > 0) return false;
  return true;
}

void KMTableViewController::updateTableFooterAnimated(KMAnimated animated) {
  UITableView* table = currentTableView();
  if (!table || !m_emptyFooter) return;
  const bool empty = isEmpty();
  setGroupEditingEnabled(!empty);
  switch (m_loadingState) {
    case KMLoadingStateFailed:
      stopLoadingAnimated(animated);
      table->setTableFooterView(m_loadingFailedFooter);
      break;
    case KMLoadingStateLoading:
      startLoadingAnimated(animated);
      table->setTableFooterView(m_loadingFooter);
      break;
    default:
      table->setTableFooterView(empty && !isSearching() ? std::shared_ptr<UIView>(m_noItemsFooter) : m_emptyFooter);
      stopLoadingAnimated(animated);
      break;
  }
}

void KMTableViewController::reset() {
  m_firstTimeOpening = true;
  m_loadingState = KMLoadingStateIdle;
}

void KMTableViewController::pullRefresh() {
  KMAnalytics::sharedInstance().logEvent(kKMMVDiskPullToSync);
  updateData();
}

}  // namespace kdisk
