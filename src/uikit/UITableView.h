#pragma once
// A scrolling list of rows in sections, in plain or grouped style. The data
// source gives counts and cells, the delegate heights, headers and reactions.
// Only the rows in view have cells; cells leaving the view go to a pool per
// reuse identifier and come back through dequeueReusableCellWithIdentifier.
//
// Batch updates follow the platform's rules: between beginUpdates and
// endUpdates, deletions and reloads name rows and sections by their old
// indexes, insertions by their new ones, and deletions happen first whatever
// the call order. At endUpdates the data source must already answer the new
// counts; rows that stay slide to their new places, removed rows leave and
// new rows arrive with the named animation. A batch whose counts do not add
// up is logged and shown as a full reload. Main thread.
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "uikit/NSIndexPath.h"
#include "uikit/UIScrollView.h"
#include "uikit/UITableViewCell.h"
#include "uikit/UITableViewDataSource.h"

namespace kdisk {

enum class UITableViewStyle { Plain, Grouped };
enum class UITableViewCellSeparatorStyle { None, SingleLine, SingleLineEtched };
enum class UITableViewScrollPosition { None, Top, Middle, Bottom };
enum class UITableViewRowAnimation { Fade, Right, Left, Top, Bottom, None, Middle, Automatic };

inline constexpr double kKMTableUpdateDuration = 0.3;

class UITableView : public UIScrollView {
 public:
  explicit UITableView(CGRect frame = CGRectZero, UITableViewStyle style = UITableViewStyle::Plain);
  ~UITableView() override;

  UITableViewStyle style() const { return m_style; }
  std::shared_ptr<UITableViewDataSource> dataSource() const { return m_dataSource.lock(); }
  void setDataSource(std::weak_ptr<UITableViewDataSource> dataSource);
  std::shared_ptr<UITableViewDelegate> tableDelegate() const { return m_tableDelegate.lock(); }
  // Also the scroll view's delegate, as on the platform.
  void setTableDelegate(std::weak_ptr<UITableViewDelegate> delegate);

  CGFloat rowHeight() const { return m_rowHeight; }
  void setRowHeight(CGFloat height);
  CGFloat sectionHeaderHeight() const { return m_sectionHeaderHeight; }
  void setSectionHeaderHeight(CGFloat height);
  CGFloat sectionFooterHeight() const { return m_sectionFooterHeight; }
  void setSectionFooterHeight(CGFloat height);
  UITableViewCellSeparatorStyle separatorStyle() const { return m_separatorStyle; }
  void setSeparatorStyle(UITableViewCellSeparatorStyle style);
  const UIColor& separatorColor() const { return m_separatorColor; }
  void setSeparatorColor(UIColor color);
  const std::shared_ptr<UIView>& backgroundView() const { return m_backgroundView; }
  void setBackgroundView(std::shared_ptr<UIView> view);
  const std::shared_ptr<UIView>& tableHeaderView() const { return m_tableHeaderView; }
  void setTableHeaderView(std::shared_ptr<UIView> view);
  const std::shared_ptr<UIView>& tableFooterView() const { return m_tableFooterView; }
  void setTableFooterView(std::shared_ptr<UIView> view);
  bool allowsSelection() const { return m_allowsSelection; }
  void setAllowsSelection(bool allows) { m_allowsSelection = allows; }

  // Counts and geometry as last loaded from the data source.
  int numberOfSections();
  int numberOfRowsInSection(int section);
  CGRect rectForSection(int section);
  CGRect rectForHeaderInSection(int section);
  CGRect rectForFooterInSection(int section);
  CGRect rectForRowAtIndexPath(const NSIndexPath& indexPath);
  std::optional<NSIndexPath> indexPathForRowAtPoint(CGPoint point);
  std::vector<NSIndexPath> indexPathsForRowsInRect(CGRect rect);

  // Cells in view, in index order.
  std::vector<NSIndexPath> indexPathsForVisibleRows();
  std::vector<std::shared_ptr<UITableViewCell>> visibleCells();
  std::shared_ptr<UITableViewCell> cellForRowAtIndexPath(const NSIndexPath& indexPath);
  std::optional<NSIndexPath> indexPathForCell(const UITableViewCell& cell) const;
  std::shared_ptr<UIView> headerViewForSection(int section);

  std::shared_ptr<UITableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);
  std::size_t reusableCellCountForTesting(const std::string& identifier) const;

  void reloadData();
  void beginUpdates();
  void endUpdates();
  void insertRowsAtIndexPathsWithRowAnimation(const std::vector<NSIndexPath>& indexPaths,
                                              UITableViewRowAnimation animation);
  void deleteRowsAtIndexPathsWithRowAnimation(const std::vector<NSIndexPath>& indexPaths,
                                              UITableViewRowAnimation animation);
  void reloadRowsAtIndexPathsWithRowAnimation(const std::vector<NSIndexPath>& indexPaths,
                                              UITableViewRowAnimation animation);
  void insertSectionsWithRowAnimation(const std::set<int>& sections, UITableViewRowAnimation animation);
  void deleteSectionsWithRowAnimation(const std::set<int>& sections, UITableViewRowAnimation animation);
  void reloadSectionsWithRowAnimation(const std::set<int>& sections, UITableViewRowAnimation animation);

  std::optional<NSIndexPath> indexPathForSelectedRow() const { return m_selectedRow; }
  void selectRowAtIndexPathAnimatedScrollPosition(const std::optional<NSIndexPath>& indexPath,
                                                  KMAnimated animated, UITableViewScrollPosition position);
  void deselectRowAtIndexPathAnimated(const NSIndexPath& indexPath, KMAnimated animated);
  void scrollToRowAtIndexPathAtScrollPositionAnimated(const NSIndexPath& indexPath,
                                                      UITableViewScrollPosition position, KMAnimated animated);

  // A cell reports a tap on itself.
  void cellWasTapped(UITableViewCell& cell);
  void layoutSubviews() override;

 private:
  struct Section {
    CGFloat y = 0;
    CGFloat headerHeight = 0;
    CGFloat footerHeight = 0;
    std::vector<CGFloat> rowOffsets;  // from the section's top; one more than rows
    std::shared_ptr<UIView> headerView;
    std::shared_ptr<UIView> footerView;
    int rows() const { return int(rowOffsets.size()) - 1; }
    CGFloat height() const { return headerHeight + rowOffsets.back() + footerHeight; }
  };
  struct Update {
    enum Kind { InsertRows, DeleteRows, ReloadRows, InsertSections, DeleteSections, ReloadSections } kind;
    std::vector<NSIndexPath> rows;
    std::set<int> sections;
    UITableViewRowAnimation animation;
  };

  void loadGeometryIfNeeded();
  void loadGeometry();
  CGFloat contentHeight() const;
  void layoutVisibleCells();
  void layoutHeadersAndFooters(CGRect visible);
  void configureCell(UITableViewCell& cell, const NSIndexPath& indexPath);
  void enqueueCell(std::shared_ptr<UITableViewCell> cell);
  void applyUpdates(std::vector<Update> updates);
  void animateOut(std::shared_ptr<UIView> view, UITableViewRowAnimation animation);
  void animateIn(UIView& view, UITableViewRowAnimation animation);
  std::shared_ptr<UIView> defaultHeaderView(const std::string& title) const;

  UITableViewStyle m_style;
  std::weak_ptr<UITableViewDataSource> m_dataSource;
  std::weak_ptr<UITableViewDelegate> m_tableDelegate;
  CGFloat m_rowHeight = 44;
  CGFloat m_sectionHeaderHeight;
  CGFloat m_sectionFooterHeight;
  UITableViewCellSeparatorStyle m_separatorStyle = UITableViewCellSeparatorStyle::SingleLine;
  UIColor m_separatorColor = UIColor::colorWithWhiteAlpha(0.88, 1);
  std::shared_ptr<UIView> m_backgroundView;
  std::shared_ptr<UIView> m_tableHeaderView;
  std::shared_ptr<UIView> m_tableFooterView;
  bool m_allowsSelection = true;

  bool m_needsReload = true;
  std::vector<Section> m_sections;
  std::map<NSIndexPath, std::shared_ptr<UITableViewCell>> m_visibleCells;
  std::map<std::string, std::vector<std::shared_ptr<UITableViewCell>>> m_reusePool;
  std::optional<NSIndexPath> m_selectedRow;
  int m_updateDepth = 0;
  std::vector<Update> m_pendingUpdates;
  // New rows waiting for their cells to be made, with the animation they arrive by.
  std::map<NSIndexPath, UITableViewRowAnimation> m_arrivingRows;
  bool m_inLayout = false;
};

}  // namespace kdisk
