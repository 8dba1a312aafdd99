#include "uikit/sample/KMSampleListViewController.h"

#include "uikit/UIBarButtonItem.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIScreen.h"
#include "uikit/sample/KMSampleDetailViewController.h"

namespace kdisk {

KMSampleListViewController::KMSampleListViewController(KMSampleReport report) : m_report(std::move(report)) {
  setTitle("Files");
}

std::shared_ptr<UINavigationController> KMSampleListViewController::makeSampleStack(KMSampleReport report) {
  auto list = std::make_shared<KMSampleListViewController>(std::move(report));
  return std::make_shared<UINavigationController>(list);
}

void KMSampleListViewController::loadView() {
  m_tableView = std::make_shared<UITableView>(UIScreen::mainScreen().applicationFrame());
  m_tableView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  setView(m_tableView);
}

void KMSampleListViewController::viewDidLoad() {
  m_tableView->setRowHeight(44);
  m_tableView->setDataSource(std::static_pointer_cast<KMSampleListViewController>(sharedController()));
  m_tableView->setTableDelegate(std::static_pointer_cast<KMSampleListViewController>(sharedController()));
  std::weak_ptr<UIResponder> weak = weak_from_this();
  navigationItem().setRightBarButtonItemAnimated(UIBarButtonItem::itemWithTitleStyleAction(
      "Alert", UIBarButtonItemStyle::Bordered, [weak](UIBarButtonItem&) {
        auto strong = std::static_pointer_cast<KMSampleListViewController>(weak.lock());
        if (!strong) return;
        auto alert = std::make_shared<UIAlertView>(
            "Hello", "This is the toolkit's alert.",
            std::static_pointer_cast<UIAlertViewDelegate>(strong), "Cancel", std::vector<std::string>{"OK"});
        alert->show();
        strong->m_report("alert shown");
      }));
}

void KMSampleListViewController::viewWillAppear(KMAnimated animated) {
  if (auto selected = m_tableView->indexPathForSelectedRow())
    m_tableView->deselectRowAtIndexPathAnimated(*selected, animated);
}

int KMSampleListViewController::tableViewNumberOfRowsInSection(UITableView&, int) { return kRowCount; }

std::shared_ptr<UITableViewCell> KMSampleListViewController::tableViewCellForRowAtIndexPath(
    UITableView& tableView, const NSIndexPath& indexPath) {
  auto cell = tableView.dequeueReusableCellWithIdentifier("SampleCell");
  if (!cell) {
    cell = std::make_shared<UITableViewCell>(UITableViewCellStyle::Subtitle, "SampleCell");
    cell->setAccessoryType(UITableViewCellAccessoryType::DisclosureIndicator);
  }
  cell->textLabel().setText("Row " + std::to_string(indexPath.row + 1));
  cell->detailTextLabel()->setText(std::to_string((indexPath.row + 1) * 37 % 1000) + " KB");
  return cell;
}

void KMSampleListViewController::tableViewDidSelectRowAtIndexPath(UITableView&, const NSIndexPath& indexPath) {
  m_report("selected row " + std::to_string(indexPath.row + 1));
  if (auto* navigation = navigationController())
    navigation->pushViewControllerAnimated(std::make_shared<KMSampleDetailViewController>(indexPath.row + 1, m_report),
                                           KMAnimated::Yes);
}

void KMSampleListViewController::alertViewClickedButtonAtIndex(UIAlertView& alertView, int buttonIndex) {
  m_report("alert button " + alertView.buttonTitleAtIndex(buttonIndex));
}

}  // namespace kdisk
