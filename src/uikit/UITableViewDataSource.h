#pragma once
// What a table asks of the object that holds its rows, and what it tells
// the object that reacts to them. Every hook has a default (no rows, the
// table's own heights, no headers, selection allowed), so a screen answers
// only what it needs.
#include <memory>
#include <optional>
#include <string>

#include "graphics/CGGeometry.h"
#include "uikit/NSIndexPath.h"
#include "uikit/UIScrollViewDelegate.h"

namespace kdisk {

class UITableView;
class UITableViewCell;
class UIView;

// Asks the table for its own default height.
inline constexpr CGFloat UITableViewAutomaticDimension = -1;

class UITableViewDataSource {
 public:
  virtual ~UITableViewDataSource() = default;
  virtual int numberOfSectionsInTableView(UITableView& tableView) {
    (void)tableView;
    return 1;
  }
  virtual int tableViewNumberOfRowsInSection(UITableView& tableView, int section) {
    (void)tableView, (void)section;
    return 0;
  }
  virtual std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView& tableView,
                                                                          const NSIndexPath& indexPath) = 0;
  virtual std::optional<std::string> tableViewTitleForHeaderInSection(UITableView& tableView, int section) {
    (void)tableView, (void)section;
    return std::nullopt;
  }
  virtual std::optional<std::string> tableViewTitleForFooterInSection(UITableView& tableView, int section) {
    (void)tableView, (void)section;
    return std::nullopt;
  }
};

class UITableViewDelegate : public UIScrollViewDelegate {
 public:
  virtual CGFloat tableViewHeightForRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
    (void)tableView, (void)indexPath;
    return UITableViewAutomaticDimension;
  }
  virtual CGFloat tableViewHeightForHeaderInSection(UITableView& tableView, int section) {
    (void)tableView, (void)section;
    return UITableViewAutomaticDimension;
  }
  virtual CGFloat tableViewHeightForFooterInSection(UITableView& tableView, int section) {
    (void)tableView, (void)section;
    return UITableViewAutomaticDimension;
  }
  virtual std::shared_ptr<UIView> tableViewViewForHeaderInSection(UITableView& tableView, int section) {
    (void)tableView, (void)section;
    return nullptr;
  }
  virtual std::shared_ptr<UIView> tableViewViewForFooterInSection(UITableView& tableView, int section) {
    (void)tableView, (void)section;
    return nullptr;
  }
  virtual void tableViewWillDisplayCellForRowAtIndexPath(UITableView& tableView, UITableViewCell& cell,
                                                         const NSIndexPath& indexPath) {
    (void)tableView, (void)cell, (void)indexPath;
  }
  // Nothing refuses the selection.
  virtual std::optional<NSIndexPath> tableViewWillSelectRowAtIndexPath(UITableView& tableView,
                                                                       const NSIndexPath& indexPath) {
    (void)tableView;
    return indexPath;
  }
  virtual void tableViewDidSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
    (void)tableView, (void)indexPath;
  }
  virtual void tableViewDidDeselectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
    (void)tableView, (void)indexPath;
  }
  virtual void tableViewAccessoryButtonTappedForRowWithIndexPath(UITableView& tableView,
                                                                 const NSIndexPath& indexPath) {
    (void)tableView, (void)indexPath;
  }
};

}  // namespace kdisk
