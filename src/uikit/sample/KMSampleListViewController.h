#pragma once
// The toolkit's sample screen: a navigation stack whose root lists 1,000
// rows; a row opens a screen with a text field, the bar's button shows an
// alert. Each thing a person does is reported as one line, so tests and
// the end-to-end run can check what happened. Not part of the application.
#include <functional>
#include <memory>
#include <string>

#include "uikit/UIAlertView.h"
#include "uikit/UITableView.h"
#include "uikit/UIViewController.h"

namespace kdisk {

class UINavigationController;

using KMSampleReport = std::function<void(const std::string& line)>;

class KMSampleListViewController : public UIViewController,
                                   public UITableViewDataSource,
                                   public UITableViewDelegate,
                                   public UIAlertViewDelegate {
 public:
  static constexpr int kRowCount = 1000;
  explicit KMSampleListViewController(KMSampleReport report);
  // The stack the sample program and tests show.
  static std::shared_ptr<UINavigationController> makeSampleStack(KMSampleReport report);

  UITableView& tableView() { return *m_tableView; }

  void loadView() override;
  void viewDidLoad() override;
  void viewWillAppear(KMAnimated animated) override;
  int tableViewNumberOfRowsInSection(UITableView& tableView, int section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView& tableView,
                                                                  const NSIndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;
  void alertViewClickedButtonAtIndex(UIAlertView& alertView, int buttonIndex) override;

 private:
  KMSampleReport m_report;
  std::shared_ptr<UITableView> m_tableView;
};

}  // namespace kdisk
