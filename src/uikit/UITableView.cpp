#include "uikit/UITableView.h"

#include <algorithm>
#include <cmath>

#include "uikit/CGContext.h"

namespace kdisk {

namespace {
constexpr CGFloat kGroupedInset = 10;

// The plain style's section header: grey bar with a bold white title.
class KMTableSectionHeaderView : public UILabel {
 public:
  explicit KMTableSectionHeaderView(bool grouped) : m_grouped(grouped) {
    setFont(UIFont::boldSystemFontOfSize(grouped ? 17 : 18));
    setTextColor(grouped ? UIColor::colorWithRGB255(76, 86, 108) : UIColor::whiteColor());
    setShadowColor(grouped ? UIColor::whiteColor() : UIColor::colorWithWhiteAlpha(0, 0.4));
    setShadowOffset({0, grouped ? 1.0 : -1.0});
  }
  void drawRect(cairo_t* context, CGRect rect) override {
    if (!m_grouped) CGContextFillRect(context, rect, UIColor::colorWithRGB255(144, 159, 170));
    CGContextSaveGState(context);
    CGContextTranslateCTM(context, m_grouped ? 20 : 12, 0);
    UILabel::drawRect(context, CGRectMake(rect.origin.x, rect.origin.y, rect.size.width - 24, rect.size.height));
    CGContextRestoreGState(context);
  }

 private:
  bool m_grouped;
};
}  // namespace

UITableView::UITableView(CGRect frame, UITableViewStyle style)
    : UIScrollView(frame), m_style(style),
      m_sectionHeaderHeight(style == UITableViewStyle::Plain ? 22 : 10),
      m_sectionFooterHeight(style == UITableViewStyle::Plain ? 22 : 10) {
  setAlwaysBounceVertical(true);
  setBackgroundColor(style == UITableViewStyle::Plain ? UIColor::whiteColor()
                                                      : UIColor::colorWithRGB255(197, 204, 212));
}

UITableView::~UITableView() {
  for (auto& [path, cell] : m_visibleCells) cell->setTableView(nullptr);
}

void UITableView::setDataSource(std::weak_ptr<UITableViewDataSource> dataSource) {
  m_dataSource = std::move(dataSource);
  m_needsReload = true;
  setNeedsLayout();
}

void UITableView::setTableDelegate(std::weak_ptr<UITableViewDelegate> delegate) {
  m_tableDelegate = delegate;
  if (auto strong = delegate.lock())
    setDelegate(std::weak_ptr<UIScrollViewDelegate>(std::static_pointer_cast<UIScrollViewDelegate>(strong)));
  else
    setDelegate({});
  m_needsReload = true;
  setNeedsLayout();
}

void UITableView::setRowHeight(CGFloat height) {
  m_rowHeight = height;
  m_needsReload = true;
  setNeedsLayout();
}
void UITableView::setSectionHeaderHeight(CGFloat height) {
  m_sectionHeaderHeight = height;
  m_needsReload = true;
  setNeedsLayout();
}
void UITableView::setSectionFooterHeight(CGFloat height) {
  m_sectionFooterHeight = height;
  m_needsReload = true;
  setNeedsLayout();
}
void UITableView::setSeparatorStyle(UITableViewCellSeparatorStyle style) {
  m_separatorStyle = style;
  for (auto& [path, cell] : m_visibleCells) configureCell(*cell, path);
}
void UITableView::setSeparatorColor(UIColor color) {
  m_separatorColor = std::move(color);
  for (auto& [path, cell] : m_visibleCells) configureCell(*cell, path);
}

void UITableView::setBackgroundView(std::shared_ptr<UIView> view) {
  if (m_backgroundView) m_backgroundView->removeFromSuperview();
  m_backgroundView = std::move(view);
  if (m_backgroundView) insertSubviewAtIndex(m_backgroundView, 0);
  setNeedsLayout();
}

void UITableView::setTableHeaderView(std::shared_ptr<UIView> view) {
  if (m_tableHeaderView && m_tableHeaderView->superview() == this) m_tableHeaderView->removeFromSuperview();
  m_tableHeaderView = std::move(view);
  if (m_tableHeaderView) addSubview(m_tableHeaderView);
  m_needsReload = true;
  setNeedsLayout();
}

void UITableView::setTableFooterView(std::shared_ptr<UIView> view) {
  // The same footer again is news only when another view took it meanwhile.
  if (m_tableFooterView == view && (!view || view->superview() == this)) return;
  if (m_tableFooterView && m_tableFooterView->superview() == this) m_tableFooterView->removeFromSuperview();
  m_tableFooterView = std::move(view);
  if (m_tableFooterView) addSubview(m_tableFooterView);
  // Only the content size and the footer's place change; rows stay.
  if (!m_needsReload) setContentSize({bounds().size.width, contentHeight()});
  setNeedsLayout();
}

// ---- Geometry ----------------------------------------------------------------

std::shared_ptr<UIView> UITableView::defaultHeaderView(const std::string& title) const {
  auto header = std::make_shared<KMTableSectionHeaderView>(m_style == UITableViewStyle::Grouped);
  header->setText(title);
  return header;
}

void UITableView::loadGeometryIfNeeded() {
  if (m_needsReload) loadGeometry();
}

void UITableView::loadGeometry() {
  m_needsReload = false;
  for (auto& section : m_sections) {
    if (section.headerView) section.headerView->removeFromSuperview();
    if (section.footerView) section.footerView->removeFromSuperview();
  }
  m_sections.clear();
  auto source = m_dataSource.lock();
  auto delegate = m_tableDelegate.lock();
  const bool grouped = m_style == UITableViewStyle::Grouped;
  const int sections = source ? std::max(0, source->numberOfSectionsInTableView(*this)) : 0;
  CGFloat y = m_tableHeaderView ? m_tableHeaderView->frame().size.height : 0;
  for (int s = 0; s < sections; ++s) {
    Section section;
    section.y = y;
    if (delegate) section.headerView = delegate->tableViewViewForHeaderInSection(*this, s);
    const auto title = source->tableViewTitleForHeaderInSection(*this, s);
    if (!section.headerView && title) section.headerView = defaultHeaderView(*title);
    CGFloat header = delegate ? delegate->tableViewHeightForHeaderInSection(*this, s) : UITableViewAutomaticDimension;
    if (header < 0)
      header = section.headerView ? (grouped && title ? 36 : m_sectionHeaderHeight) : (grouped ? m_sectionHeaderHeight : 0);
    section.headerHeight = header;
    if (delegate) section.footerView = delegate->tableViewViewForFooterInSection(*this, s);
    const auto footerTitle = source->tableViewTitleForFooterInSection(*this, s);
    if (!section.footerView && footerTitle) section.footerView = defaultHeaderView(*footerTitle);
    CGFloat footer = delegate ? delegate->tableViewHeightForFooterInSection(*this, s) : UITableViewAutomaticDimension;
    if (footer < 0) footer = section.footerView || grouped ? m_sectionFooterHeight : 0;
    section.footerHeight = footer;
    const int rows = std::max(0, source->tableViewNumberOfRowsInSection(*this, s));
    section.rowOffsets.reserve(std::size_t(rows) + 1);
    CGFloat offset = 0;
    section.rowOffsets.push_back(0);
    for (int r = 0; r < rows; ++r) {
      CGFloat height = delegate ? delegate->tableViewHeightForRowAtIndexPath(*this, {s, r}) : UITableViewAutomaticDimension;
      if (height < 0) height = m_rowHeight;
      offset += height;
      section.rowOffsets.push_back(offset);
    }
    y += section.height();
    m_sections.push_back(std::move(section));
  }
  setContentSize({bounds().size.width, contentHeight()});
}

CGFloat UITableView::contentHeight() const {
  CGFloat height = m_sections.empty() ? (m_tableHeaderView ? m_tableHeaderView->frame().size.height : 0)
                                      : m_sections.back().y + m_sections.back().height();
  if (m_tableFooterView) height += m_tableFooterView->frame().size.height;
  return height;
}

int UITableView::numberOfSections() {
  loadGeometryIfNeeded();
  return int(m_sections.size());
}

int UITableView::numberOfRowsInSection(int section) {
  loadGeometryIfNeeded();
  if (section < 0 || section >= int(m_sections.size())) return 0;
  return m_sections[std::size_t(section)].rows();
}

CGRect UITableView::rectForSection(int section) {
  loadGeometryIfNeeded();
  if (section < 0 || section >= int(m_sections.size())) return CGRectZero;
  const auto& s = m_sections[std::size_t(section)];
  return CGRectMake(0, s.y, bounds().size.width, s.height());
}

CGRect UITableView::rectForHeaderInSection(int section) {
  loadGeometryIfNeeded();
  if (section < 0 || section >= int(m_sections.size())) return CGRectZero;
  const auto& s = m_sections[std::size_t(section)];
  return CGRectMake(0, s.y, bounds().size.width, s.headerHeight);
}

CGRect UITableView::rectForFooterInSection(int section) {
  loadGeometryIfNeeded();
  if (section < 0 || section >= int(m_sections.size())) return CGRectZero;
  const auto& s = m_sections[std::size_t(section)];
  return CGRectMake(0, s.y + s.headerHeight + s.rowOffsets.back(), bounds().size.width, s.footerHeight);
}

CGRect UITableView::rectForRowAtIndexPath(const NSIndexPath& path) {
  loadGeometryIfNeeded();
  if (path.section < 0 || path.section >= int(m_sections.size())) return CGRectZero;
  const auto& s = m_sections[std::size_t(path.section)];
  if (path.row < 0 || path.row >= s.rows()) return CGRectZero;
  const CGFloat inset = m_style == UITableViewStyle::Grouped ? kGroupedInset : 0;
  const auto row = std::size_t(path.row);
  return CGRectMake(inset, s.y + s.headerHeight + s.rowOffsets[row], bounds().size.width - 2 * inset,
                    s.rowOffsets[row + 1] - s.rowOffsets[row]);
}

std::vector<NSIndexPath> UITableView::indexPathsForRowsInRect(CGRect rect) {
  loadGeometryIfNeeded();
  std::vector<NSIndexPath> paths;
  const CGFloat top = CGRectGetMinY(rect), bottom = CGRectGetMaxY(rect);
  for (int s = 0; s < int(m_sections.size()); ++s) {
    const auto& section = m_sections[std::size_t(s)];
    const CGFloat rowsTop = section.y + section.headerHeight;
    if (rowsTop + section.rowOffsets.back() <= top || rowsTop >= bottom) continue;
    // First row whose bottom is below the top edge.
    auto first = std::upper_bound(section.rowOffsets.begin() + 1, section.rowOffsets.end(), top - rowsTop);
    for (auto it = first; it != section.rowOffsets.end(); ++it) {
      const int row = int(it - section.rowOffsets.begin()) - 1;
      if (rowsTop + section.rowOffsets[std::size_t(row)] >= bottom) break;
      if (*it > section.rowOffsets[std::size_t(row)]) paths.push_back({s, row});
    }
  }
  return paths;
}

std::optional<NSIndexPath> UITableView::indexPathForRowAtPoint(CGPoint point) {
  for (const auto& path : indexPathsForRowsInRect(CGRectMake(0, point.y, 1, 0.001)))
    if (CGRectContainsPoint(rectForRowAtIndexPath(path), point)) return path;
  return std::nullopt;
}

// ---- Visible cells -----------------------------------------------------------

void UITableView::layoutSubviews() {
  if (m_inLayout) return;
  m_inLayout = true;
  loadGeometryIfNeeded();
  const CGRect b = bounds();
  if (contentSize().width != b.size.width) setContentSize({b.size.width, contentHeight()});
  if (m_backgroundView) {
    m_backgroundView->setFrame(b);
    sendSubviewToBack(m_backgroundView.get());
  }
  // A header or footer that another view took is left where it now lives.
  if (m_tableHeaderView && m_tableHeaderView->superview() == this) {
    const CGRect frame = m_tableHeaderView->frame();
    m_tableHeaderView->setFrame(CGRectMake(0, 0, b.size.width, frame.size.height));
  }
  if (m_tableFooterView && m_tableFooterView->superview() == this) {
    const CGFloat height = m_tableFooterView->frame().size.height;
    m_tableFooterView->setFrame(CGRectMake(0, contentHeight() - height, b.size.width, height));
  }
  layoutVisibleCells();
  layoutHeadersAndFooters(b);
  m_inLayout = false;
}

void UITableView::configureCell(UITableViewCell& cell, const NSIndexPath& path) {
  cell.setTableView(this);
  const CGRect frame = rectForRowAtIndexPath(path);
  if (cell.frame() != frame) cell.setFrame(frame);
  if (m_style == UITableViewStyle::Grouped) {
    const int rows = numberOfRowsInSection(path.section);
    cell.setGroupedPosition(rows == 1            ? KMGroupedCellPosition::Single
                            : path.row == 0        ? KMGroupedCellPosition::Top
                            : path.row == rows - 1 ? KMGroupedCellPosition::Bottom
                                                   : KMGroupedCellPosition::Middle);
  } else {
    cell.setSeparatorColor(m_separatorStyle == UITableViewCellSeparatorStyle::None
                               ? std::nullopt
                               : std::optional<UIColor>(m_separatorColor));
  }
  cell.setSelectedAnimated(m_selectedRow == path, KMAnimated::No);
}

void UITableView::enqueueCell(std::shared_ptr<UITableViewCell> cell) {
  cell->removeFromSuperview();
  if (cell->reuseIdentifier()) m_reusePool[*cell->reuseIdentifier()].push_back(std::move(cell));
}

std::shared_ptr<UITableViewCell> UITableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
  auto found = m_reusePool.find(identifier);
  if (found == m_reusePool.end() || found->second.empty()) return nullptr;
  auto cell = std::move(found->second.back());
  found->second.pop_back();
  cell->prepareForReuse();
  return cell;
}

std::size_t UITableView::reusableCellCountForTesting(const std::string& identifier) const {
  auto found = m_reusePool.find(identifier);
  return found == m_reusePool.end() ? 0 : found->second.size();
}

void UITableView::layoutVisibleCells() {
  const auto wanted = indexPathsForRowsInRect(bounds());
  const std::set<NSIndexPath> wantedSet(wanted.begin(), wanted.end());
  for (auto it = m_visibleCells.begin(); it != m_visibleCells.end();) {
    if (wantedSet.count(it->first)) {
      ++it;
      continue;
    }
    enqueueCell(it->second);
    it = m_visibleCells.erase(it);
  }
  auto source = m_dataSource.lock();
  auto delegate = m_tableDelegate.lock();
  // Cells go above the background and below the section headers.
  const std::size_t firstIndex = m_backgroundView ? 1 : 0;
  for (const auto& path : wanted) {
    auto& cell = m_visibleCells[path];
    if (cell) {
      configureCell(*cell, path);
      continue;
    }
    cell = source ? source->tableViewCellForRowAtIndexPath(*this, path) : nullptr;
    if (!cell) cell = std::make_shared<UITableViewCell>(UITableViewCellStyle::Default, std::nullopt);
    configureCell(*cell, path);
    insertSubviewAtIndex(cell, firstIndex);
    cell->layoutIfNeeded();
    if (delegate) delegate->tableViewWillDisplayCellForRowAtIndexPath(*this, *cell, path);
    if (auto arriving = m_arrivingRows.find(path); arriving != m_arrivingRows.end()) {
      animateIn(*cell, arriving->second);
      m_arrivingRows.erase(arriving);
    }
  }
}

void UITableView::layoutHeadersAndFooters(CGRect visible) {
  const CGFloat top = visible.origin.y + contentInset().top;
  for (int s = 0; s < int(m_sections.size()); ++s) {
    auto& section = m_sections[std::size_t(s)];
    if (section.headerView) {
      CGRect frame = rectForHeaderInSection(s);
      if (m_style == UITableViewStyle::Plain) {
        // Headers of the plain style stay at the top while their rows pass.
        const CGFloat lastY = section.y + section.headerHeight + section.rowOffsets.back() - frame.size.height;
        frame.origin.y = std::max(frame.origin.y, std::min(top, lastY));
      }
      const bool shown = frame.size.height > 0 && CGRectIntersectsRect(frame, visible);
      if (shown) {
        if (section.headerView->frame() != frame) section.headerView->setFrame(frame);
        if (section.headerView->superview() != this) addSubview(section.headerView);
        else bringSubviewToFront(section.headerView.get());
      } else if (section.headerView->superview() == this) {
        section.headerView->removeFromSuperview();
      }
    }
    if (section.footerView) {
      const CGRect frame = rectForFooterInSection(s);
      const bool shown = frame.size.height > 0 && CGRectIntersectsRect(frame, visible);
      if (shown) {
        section.footerView->setFrame(frame);
        if (section.footerView->superview() != this) addSubview(section.footerView);
      } else if (section.footerView->superview() == this) {
        section.footerView->removeFromSuperview();
      }
    }
  }
}

std::vector<NSIndexPath> UITableView::indexPathsForVisibleRows() {
  layoutIfNeeded();
  std::vector<NSIndexPath> paths;
  for (const auto& [path, cell] : m_visibleCells) paths.push_back(path);
  return paths;
}

std::vector<std::shared_ptr<UITableViewCell>> UITableView::visibleCells() {
  layoutIfNeeded();
  std::vector<std::shared_ptr<UITableViewCell>> cells;
  for (const auto& [path, cell] : m_visibleCells) cells.push_back(cell);
  return cells;
}

std::shared_ptr<UITableViewCell> UITableView::cellForRowAtIndexPath(const NSIndexPath& path) {
  layoutIfNeeded();
  auto found = m_visibleCells.find(path);
  return found == m_visibleCells.end() ? nullptr : found->second;
}

std::optional<NSIndexPath> UITableView::indexPathForCell(const UITableViewCell& cell) const {
  for (const auto& [path, visible] : m_visibleCells)
    if (visible.get() == &cell) return path;
  return std::nullopt;
}

std::shared_ptr<UIView> UITableView::headerViewForSection(int section) {
  loadGeometryIfNeeded();
  if (section < 0 || section >= int(m_sections.size())) return nullptr;
  return m_sections[std::size_t(section)].headerView;
}

void UITableView::reloadData() {
  for (auto& [path, cell] : m_visibleCells) enqueueCell(cell);
  m_visibleCells.clear();
  m_arrivingRows.clear();
  m_needsReload = true;
  loadGeometry();
  if (m_selectedRow && (m_selectedRow->section >= int(m_sections.size()) ||
                        m_selectedRow->row >= m_sections[std::size_t(m_selectedRow->section)].rows()))
    m_selectedRow.reset();
  setNeedsLayout();
}

// ---- Selection and scrolling ---------------------------------------------------

void UITableView::cellWasTapped(UITableViewCell& cell) {
  if (!m_allowsSelection || isDragging() || isDecelerating()) return;
  const auto path = indexPathForCell(cell);
  if (!path) return;
  auto delegate = m_tableDelegate.lock();
  std::optional<NSIndexPath> target = delegate ? delegate->tableViewWillSelectRowAtIndexPath(*this, *path) : path;
  if (!target) return;
  if (m_selectedRow && *m_selectedRow != *target) {
    const auto previous = *m_selectedRow;
    m_selectedRow.reset();
    if (auto previousCell = m_visibleCells.find(previous); previousCell != m_visibleCells.end())
      previousCell->second->setSelectedAnimated(false, KMAnimated::No);
    if (delegate) delegate->tableViewDidDeselectRowAtIndexPath(*this, previous);
  }
  m_selectedRow = *target;
  if (auto selected = m_visibleCells.find(*target); selected != m_visibleCells.end())
    selected->second->setSelectedAnimated(true, KMAnimated::No);
  if (delegate) delegate->tableViewDidSelectRowAtIndexPath(*this, *target);
}

void UITableView::selectRowAtIndexPathAnimatedScrollPosition(const std::optional<NSIndexPath>& path,
                                                             KMAnimated animated,
                                                             UITableViewScrollPosition position) {
  if (m_selectedRow) deselectRowAtIndexPathAnimated(*m_selectedRow, KMAnimated::No);
  if (!path) return;
  m_selectedRow = path;
  if (auto cell = m_visibleCells.find(*path); cell != m_visibleCells.end())
    cell->second->setSelectedAnimated(true, animated);
  if (position != UITableViewScrollPosition::None)
    scrollToRowAtIndexPathAtScrollPositionAnimated(*path, position, animated);
}

void UITableView::deselectRowAtIndexPathAnimated(const NSIndexPath& path, KMAnimated animated) {
  if (m_selectedRow != path) return;
  m_selectedRow.reset();
  if (auto cell = m_visibleCells.find(path); cell != m_visibleCells.end())
    cell->second->setSelectedAnimated(false, animated);
}

void UITableView::scrollToRowAtIndexPathAtScrollPositionAnimated(const NSIndexPath& path,
                                                                 UITableViewScrollPosition position,
                                                                 KMAnimated animated) {
  const CGRect row = rectForRowAtIndexPath(path);
  if (CGRectIsEmpty(row)) return;
  const UIEdgeInsets insets = contentInset();
  const CGFloat visibleHeight = bounds().size.height - insets.top - insets.bottom;
  CGFloat y = contentOffset().y;
  switch (position) {
    case UITableViewScrollPosition::Top: y = row.origin.y - insets.top; break;
    case UITableViewScrollPosition::Middle: y = CGRectGetMidY(row) - visibleHeight / 2 - insets.top; break;
    case UITableViewScrollPosition::Bottom: y = CGRectGetMaxY(row) - visibleHeight - insets.top; break;
    case UITableViewScrollPosition::None:
      if (row.origin.y < y + insets.top) y = row.origin.y - insets.top;
      else if (CGRectGetMaxY(row) > y + insets.top + visibleHeight) y = CGRectGetMaxY(row) - visibleHeight - insets.top;
      break;
  }
  y = std::clamp(y, minimumContentOffset().y, maximumContentOffset().y);
  setContentOffsetAnimated({contentOffset().x, y}, animated);
}

}  // namespace kdisk
