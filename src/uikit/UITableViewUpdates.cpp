// Batch updates of the table: recording the changes, checking them against
// the data source's new counts, moving the rows that stay and animating the
// rows that come and go.
#include <algorithm>

#include "platform/Log.h"
#include "uikit/UITableView.h"

namespace kdisk {

namespace {
std::shared_ptr<spdlog::logger> log() {
  static auto logger = kdisk::logger("UITableView", LogLevel::Warning);
  return logger;
}

UITableViewRowAnimation resolved(UITableViewRowAnimation animation) {
  return animation == UITableViewRowAnimation::Automatic ? UITableViewRowAnimation::Fade : animation;
}

// Index after removing `removed` (old indexes) and then adding `added` (new
// indexes); -1 when the index itself was removed.
int mapIndex(int index, const std::set<int>& removed, const std::set<int>& added) {
  if (removed.count(index)) return -1;
  int mapped = index - int(std::distance(removed.begin(), removed.lower_bound(index)));
  for (int insertion : added) {
    if (insertion <= mapped)
      mapped++;
    else
      break;
  }
  return mapped;
}
}  // namespace

void UITableView::beginUpdates() { m_updateDepth++; }

void UITableView::endUpdates() {
  if (m_updateDepth == 0) return;
  if (--m_updateDepth > 0) return;
  auto updates = std::move(m_pendingUpdates);
  m_pendingUpdates.clear();
  applyUpdates(std::move(updates));
}

void UITableView::insertRowsAtIndexPathsWithRowAnimation(const std::vector<NSIndexPath>& paths,
                                                         UITableViewRowAnimation animation) {
  beginUpdates();
  m_pendingUpdates.push_back({Update::InsertRows, paths, {}, animation});
  endUpdates();
}

void UITableView::deleteRowsAtIndexPathsWithRowAnimation(const std::vector<NSIndexPath>& paths,
                                                         UITableViewRowAnimation animation) {
  beginUpdates();
  m_pendingUpdates.push_back({Update::DeleteRows, paths, {}, animation});
  endUpdates();
}

void UITableView::reloadRowsAtIndexPathsWithRowAnimation(const std::vector<NSIndexPath>& paths,
                                                         UITableViewRowAnimation animation) {
  beginUpdates();
  m_pendingUpdates.push_back({Update::ReloadRows, paths, {}, animation});
  endUpdates();
}

void UITableView::insertSectionsWithRowAnimation(const std::set<int>& sections, UITableViewRowAnimation animation) {
  beginUpdates();
  m_pendingUpdates.push_back({Update::InsertSections, {}, sections, animation});
  endUpdates();
}

void UITableView::deleteSectionsWithRowAnimation(const std::set<int>& sections, UITableViewRowAnimation animation) {
  beginUpdates();
  m_pendingUpdates.push_back({Update::DeleteSections, {}, sections, animation});
  endUpdates();
}

void UITableView::reloadSectionsWithRowAnimation(const std::set<int>& sections, UITableViewRowAnimation animation) {
  beginUpdates();
  m_pendingUpdates.push_back({Update::ReloadSections, {}, sections, animation});
  endUpdates();
}

void UITableView::applyUpdates(std::vector<Update> updates) {
  if (updates.empty()) return;
  auto source = m_dataSource.lock();
  if (!source || m_needsReload) {
    reloadData();
    return;
  }
  // Old counts, before the data source's change shows.
  std::vector<int> oldRows;
  for (const auto& section : m_sections) oldRows.push_back(section.rows());

  std::set<int> deletedSections, insertedSections, reloadedSections;
  std::map<int, std::set<int>> deletedRows, insertedRows;
  std::set<NSIndexPath> reloadedRows;
  std::map<int, UITableViewRowAnimation> sectionAnimation, insertedSectionAnimation;
  std::map<NSIndexPath, UITableViewRowAnimation> oldRowAnimation, newRowAnimation;
  bool anyAnimation = false;
  for (const auto& update : updates) {
    const auto animation = resolved(update.animation);
    anyAnimation = anyAnimation || animation != UITableViewRowAnimation::None;
    switch (update.kind) {
      case Update::DeleteSections:
        for (int s : update.sections) deletedSections.insert(s), sectionAnimation[s] = animation;
        break;
      case Update::InsertSections:
        for (int s : update.sections) insertedSections.insert(s), insertedSectionAnimation[s] = animation;
        break;
      case Update::ReloadSections:
        for (int s : update.sections) reloadedSections.insert(s), sectionAnimation[s] = animation;
        break;
      case Update::DeleteRows:
        for (const auto& p : update.rows) deletedRows[p.section].insert(p.row), oldRowAnimation[p] = animation;
        break;
      case Update::InsertRows:
        for (const auto& p : update.rows) insertedRows[p.section].insert(p.row), newRowAnimation[p] = animation;
        break;
      case Update::ReloadRows:
        for (const auto& p : update.rows) reloadedRows.insert(p), oldRowAnimation[p] = animation;
        break;
    }
  }

  // The data source must already answer the new counts.
  const int newSectionCount = std::max(0, source->numberOfSectionsInTableView(*this));
  bool consistent = newSectionCount == int(oldRows.size()) - int(deletedSections.size()) + int(insertedSections.size());
  for (int o = 0; consistent && o < int(oldRows.size()); ++o) {
    const int n = mapIndex(o, deletedSections, insertedSections);
    if (n < 0 || reloadedSections.count(o)) continue;
    const int expected = oldRows[std::size_t(o)] - int(deletedRows[o].size()) + int(insertedRows[n].size());
    if (n >= newSectionCount || source->tableViewNumberOfRowsInSection(*this, n) != expected) consistent = false;
  }
  if (!consistent) {
    log()->error("batch update does not match the data source's counts; reloading the whole table");
    reloadData();
    return;
  }

  auto mapPath = [&](const NSIndexPath& path) -> std::optional<NSIndexPath> {
    const int n = mapIndex(path.section, deletedSections, insertedSections);
    if (n < 0 || reloadedSections.count(path.section)) return std::nullopt;
    const int r = mapIndex(path.row, deletedRows[path.section], insertedRows[n]);
    if (r < 0) return std::nullopt;
    return NSIndexPath{n, r};
  };

  if (m_selectedRow) {
    m_selectedRow = reloadedRows.count(*m_selectedRow) ? std::nullopt : mapPath(*m_selectedRow);
  }

  std::map<NSIndexPath, std::shared_ptr<UITableViewCell>> staying;
  std::vector<std::pair<std::shared_ptr<UITableViewCell>, UITableViewRowAnimation>> leaving;
  m_arrivingRows.clear();
  for (auto& [path, cell] : m_visibleCells) {
    const auto mapped = mapPath(path);
    if (!mapped) {
      auto found = oldRowAnimation.find(path);
      const auto animation = found != oldRowAnimation.end() ? found->second
                             : sectionAnimation.count(path.section) ? sectionAnimation[path.section]
                                                                     : UITableViewRowAnimation::Fade;
      leaving.emplace_back(cell, animation);
      continue;
    }
    if (reloadedRows.count(path)) {
      leaving.emplace_back(cell, oldRowAnimation[path]);
      m_arrivingRows[*mapped] = oldRowAnimation[path];
      continue;
    }
    staying[*mapped] = cell;
  }
  m_visibleCells = std::move(staying);
  for (const auto& path : reloadedRows)
    if (auto mapped = mapPath(path)) m_arrivingRows[*mapped] = oldRowAnimation[path];
  for (const auto& [path, animation] : newRowAnimation) m_arrivingRows[path] = animation;

  loadGeometry();
  for (int s : insertedSections)
    for (int r = 0; r < numberOfRowsInSection(s); ++r) m_arrivingRows[{s, r}] = insertedSectionAnimation[s];
  for (int o : reloadedSections) {
    const int n = mapIndex(o, deletedSections, insertedSections);
    for (int r = 0; n >= 0 && r < numberOfRowsInSection(n); ++r) m_arrivingRows[{n, r}] = sectionAnimation[o];
  }

  // Rows deleted at the end may leave the offset past the new bottom.
  if (!isDragging()) {
    const CGPoint offset = contentOffset();
    const CGFloat maximum = maximumContentOffset().y;
    if (offset.y > maximum) setContentOffset({offset.x, std::max(maximum, minimumContentOffset().y)});
  }

  const double duration = anyAnimation ? kKMTableUpdateDuration : 0;
  UIView::animateWithDurationAnimations(duration, [&] {
    for (auto& [cell, animation] : leaving) animateOut(cell, anyAnimation ? animation : UITableViewRowAnimation::None);
    m_inLayout = true;
    layoutVisibleCells();
    layoutHeadersAndFooters(bounds());
    m_inLayout = false;
  });
  // Rows that were meant to arrive but are out of view arrive without show.
  m_arrivingRows.clear();
}

void UITableView::animateOut(std::shared_ptr<UIView> view, UITableViewRowAnimation animation) {
  auto cell = std::dynamic_pointer_cast<UITableViewCell>(view);
  std::weak_ptr<UIResponder> weakTable = weak_from_this();
  auto finish = [weakTable, view, cell](bool) {
    view->removeFromSuperview();
    auto table = std::static_pointer_cast<UITableView>(weakTable.lock());
    if (!table || !cell) return;
    UIView::performWithoutAnimation([&] {
      cell->setAlpha(1);
    });
    table->enqueueCell(cell);
  };
  if (animation == UITableViewRowAnimation::None) {
    finish(true);
    return;
  }
  sendSubviewToBack(view.get());
  if (m_backgroundView) sendSubviewToBack(m_backgroundView.get());
  const CGRect frame = view->frame();
  UIView::animateWithDurationAnimationsCompletion(
      kKMTableUpdateDuration,
      [&] {
        switch (animation) {
          case UITableViewRowAnimation::Left: view->setFrame(CGRectOffset(frame, -frame.size.width, 0)); break;
          case UITableViewRowAnimation::Right: view->setFrame(CGRectOffset(frame, frame.size.width, 0)); break;
          case UITableViewRowAnimation::Top:
            view->setFrame(CGRectOffset(frame, 0, -frame.size.height));
            view->setAlpha(0);
            break;
          case UITableViewRowAnimation::Bottom:
            view->setFrame(CGRectOffset(frame, 0, frame.size.height));
            view->setAlpha(0);
            break;
          default: view->setAlpha(0); break;
        }
      },
      finish);
}

void UITableView::animateIn(UIView& view, UITableViewRowAnimation animation) {
  if (animation == UITableViewRowAnimation::None || !KMAnimator::shared().isRecording()) return;
  const CGRect frame = view.frame();
  UIView::performWithoutAnimation([&] {
    switch (animation) {
      case UITableViewRowAnimation::Left: view.setFrame(CGRectOffset(frame, -frame.size.width, 0)); break;
      case UITableViewRowAnimation::Right: view.setFrame(CGRectOffset(frame, frame.size.width, 0)); break;
      case UITableViewRowAnimation::Top: view.setFrame(CGRectOffset(frame, 0, -frame.size.height)); break;
      case UITableViewRowAnimation::Bottom: view.setFrame(CGRectOffset(frame, 0, frame.size.height)); break;
      default: break;
    }
    view.setAlpha(0);
  });
  view.setFrame(frame);
  view.setAlpha(1);
}

}  // namespace kdisk
