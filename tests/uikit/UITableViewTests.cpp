#include <gmock/gmock.h>

#include "UIKitTestSupport.h"
#include "uikit/UITableView.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

// Rows are texts; the model is what the screen would hold.
class RowsModel : public UITableViewDataSource, public UITableViewDelegate {
 public:
  std::vector<std::vector<std::string>> sections{{}};
  std::vector<NSIndexPath> selected;
  int cellsMade = 0;

  int numberOfSectionsInTableView(UITableView&) override { return int(sections.size()); }
  int tableViewNumberOfRowsInSection(UITableView&, int section) override {
    return int(sections[std::size_t(section)].size());
  }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView& table,
                                                                  const NSIndexPath& path) override {
    auto cell = table.dequeueReusableCellWithIdentifier("Row");
    if (!cell) {
      cell = std::make_shared<UITableViewCell>(UITableViewCellStyle::Subtitle, "Row");
      cellsMade++;
    }
    cell->textLabel().setText(sections[std::size_t(path.section)][std::size_t(path.row)]);
    return cell;
  }
  void tableViewDidSelectRowAtIndexPath(UITableView&, const NSIndexPath& path) override {
    selected.push_back(path);
  }
};

class UITableViewTest : public UIKitTest {
 protected:
  void SetUp() override {
    m_table = std::make_shared<UITableView>(CGRectMake(0, 20, 320, 440));
    m_model = std::make_shared<RowsModel>();
    m_table->setDataSource(m_model);
    m_table->setTableDelegate(m_model);
    m_host->window().addSubview(m_table);
  }
  void fill(int rows, int section = 0) {
    m_model->sections[std::size_t(section)].clear();
    for (int i = 0; i < rows; ++i) m_model->sections[std::size_t(section)].push_back("Row " + std::to_string(i));
  }
  // Every visible cell shows its own row's text, sits where that row is, and
  // no two rows share a cell.
  void expectCellsMatchModel() {
    std::set<const UITableViewCell*> seen;
    for (const auto& path : m_table->indexPathsForVisibleRows()) {
      auto cell = m_table->cellForRowAtIndexPath(path);
      ASSERT_TRUE(cell);
      EXPECT_TRUE(seen.insert(cell.get()).second) << "shared cell at " << path.description();
      EXPECT_EQ(cell->textLabel().text(), m_model->sections[std::size_t(path.section)][std::size_t(path.row)])
          << path.description();
      EXPECT_EQ(cell->frame(), m_table->rectForRowAtIndexPath(path)) << path.description();
      EXPECT_EQ(cell->superview(), m_table.get());
    }
  }
  std::vector<std::string> visibleTexts() {
    std::vector<std::string> texts;
    for (auto& cell : m_table->visibleCells()) texts.push_back(cell->textLabel().text());
    return texts;
  }
  std::shared_ptr<UITableView> m_table;
  std::shared_ptr<RowsModel> m_model;
};

TEST_F(UITableViewTest, OnlyRowsInViewHaveCells) {
  fill(1000);
  m_table->reloadData();
  m_host->settle();
  const auto visible = m_table->indexPathsForVisibleRows();
  ASSERT_EQ(visible.size(), 10u);  // 440 / 44
  EXPECT_EQ(visible.front(), (NSIndexPath{0, 0}));
  EXPECT_EQ(visible.back(), (NSIndexPath{0, 9}));
  EXPECT_EQ(m_table->contentSize().height, 44000);
  EXPECT_LE(m_model->cellsMade, 10);
}

TEST_F(UITableViewTest, ScrollingReusesCellsAndEachShowsItsOwnRow) {
  fill(1000);
  m_table->reloadData();
  m_host->settle();
  m_table->setContentOffset({0, 22});  // half a row: 11 rows touch the view
  m_host->settle();
  EXPECT_EQ(m_table->indexPathsForVisibleRows().size(), 11u);
  for (CGFloat y = 0; y < 40000; y += 97) {
    m_table->setContentOffset({0, y});
    m_host->settle();
  }
  expectCellsMatchModel();
  m_table->setContentOffset({0, 44 * 500});
  m_host->settle();
  EXPECT_EQ(m_table->indexPathsForVisibleRows().front(), (NSIndexPath{0, 500}));
  expectCellsMatchModel();
  EXPECT_LE(m_model->cellsMade, 12);
}

TEST_F(UITableViewTest, DraggingUpScrollsTheRowsAndVisibleRowsFollow) {
  fill(100);
  m_table->reloadData();
  m_host->drag({{160, 400}, {160, 180}}, 0.5, 20);
  m_host->advance(3);
  EXPECT_GT(m_table->contentOffset().y, 200);
  const auto first = m_table->indexPathsForVisibleRows().front();
  EXPECT_EQ(first.row, int(m_table->contentOffset().y / 44));
  expectCellsMatchModel();
}

TEST_F(UITableViewTest, MixedDeletesAndInsertsUseOldAndNewIndexes) {
  fill(6);  // Row 0 … Row 5
  m_table->reloadData();
  m_host->settle();
  // Delete rows 1 and 3 (old indexes), insert two rows at new 0 and 3.
  m_model->sections[0] = {"New A", "Row 0", "Row 2", "New B", "Row 4", "Row 5"};
  m_table->beginUpdates();
  m_table->insertRowsAtIndexPathsWithRowAnimation({{0, 0}, {0, 3}}, UITableViewRowAnimation::Top);
  m_table->deleteRowsAtIndexPathsWithRowAnimation({{0, 1}, {0, 3}}, UITableViewRowAnimation::Bottom);
  m_table->endUpdates();
  m_host->advance(0.1);
  expectCellsMatchModel();
  m_host->advance(0.5);
  EXPECT_THAT(visibleTexts(), ElementsAre("New A", "Row 0", "Row 2", "New B", "Row 4", "Row 5"));
  expectCellsMatchModel();
  // The removed rows' cells went back to the pool once they left.
  EXPECT_EQ(m_table->reusableCellCountForTesting("Row"), 2u);
}

TEST_F(UITableViewTest, StayingRowsKeepTheirCellsAndSlideToTheirNewPlace) {
  fill(4);
  m_table->reloadData();
  m_host->settle();
  auto third = m_table->cellForRowAtIndexPath({0, 2});
  m_model->sections[0].erase(m_model->sections[0].begin());
  m_table->deleteRowsAtIndexPathsWithRowAnimation({{0, 0}}, UITableViewRowAnimation::Fade);
  EXPECT_EQ(m_table->cellForRowAtIndexPath({0, 1}), third);
  EXPECT_EQ(third->frame().origin.y, 44);
  EXPECT_EQ(third->presentationFrame().origin.y, 88);
  m_host->advance(kKMTableUpdateDuration);
  EXPECT_EQ(third->presentationFrame().origin.y, 44);
}

TEST_F(UITableViewTest, SectionsInsertedAndDeletedMoveTheRowsAround) {
  m_model->sections = {{"a0", "a1"}, {"b0"}, {"c0", "c1"}};
  m_table->reloadData();
  m_host->settle();
  m_model->sections = {{"new"}, {"a0", "a1"}, {"c0", "c1"}};
  m_table->beginUpdates();
  m_table->deleteSectionsWithRowAnimation({1}, UITableViewRowAnimation::Fade);
  m_table->insertSectionsWithRowAnimation({0}, UITableViewRowAnimation::Fade);
  m_table->endUpdates();
  m_host->advance(0.5);
  EXPECT_THAT(visibleTexts(), ElementsAre("new", "a0", "a1", "c0", "c1"));
  expectCellsMatchModel();
}

TEST_F(UITableViewTest, ABatchThatDoesNotAddUpFallsBackToAFullReload) {
  fill(3);
  m_table->reloadData();
  m_host->settle();
  m_model->sections[0] = {"x", "y", "z", "w", "v"};
  m_table->insertRowsAtIndexPathsWithRowAnimation({{0, 0}}, UITableViewRowAnimation::Fade);
  m_host->advance(0.5);
  EXPECT_THAT(visibleTexts(), ElementsAre("x", "y", "z", "w", "v"));
}

TEST_F(UITableViewTest, ReloadedRowsAskTheDataSourceAgain) {
  fill(3);
  m_table->reloadData();
  m_host->settle();
  m_model->sections[0][1] = "changed";
  m_table->reloadRowsAtIndexPathsWithRowAnimation({{0, 1}}, UITableViewRowAnimation::None);
  m_host->settle();
  EXPECT_EQ(m_table->cellForRowAtIndexPath({0, 1})->textLabel().text(), "changed");
  expectCellsMatchModel();
}

TEST_F(UITableViewTest, TappingARowSelectsItAndTheSelectionFollowsUpdates) {
  fill(5);
  m_table->reloadData();
  m_host->settle();
  ASSERT_TRUE(m_host->tapText("Row 2"));
  EXPECT_THAT(m_model->selected, ElementsAre(NSIndexPath{0, 2}));
  EXPECT_TRUE(m_table->cellForRowAtIndexPath({0, 2})->isSelected());
  m_model->sections[0].insert(m_model->sections[0].begin(), "first");
  m_table->insertRowsAtIndexPathsWithRowAnimation({{0, 0}}, UITableViewRowAnimation::None);
  EXPECT_EQ(m_table->indexPathForSelectedRow(), (NSIndexPath{0, 3}));
  m_table->deselectRowAtIndexPathAnimated({0, 3}, KMAnimated::Yes);
  EXPECT_FALSE(m_table->indexPathForSelectedRow());
  EXPECT_FALSE(m_table->cellForRowAtIndexPath({0, 3})->isSelected());
}

TEST_F(UITableViewTest, ATapOnContentRestingPastAnEdgeSelectsTheRowThenTheContentSettles) {
  fill(3);
  m_table->reloadData();
  m_host->settle();
  // A header uncovered by code: the short list now rests 44 points lower.
  m_table->setContentInset({44, 0, 0, 0});
  ASSERT_DOUBLE_EQ(m_table->contentOffset().y, 0);
  ASSERT_TRUE(m_host->tapText("Row 1"));
  EXPECT_THAT(m_model->selected, ElementsAre(NSIndexPath{0, 1}));
  m_host->advance(2);
  EXPECT_DOUBLE_EQ(m_table->contentOffset().y, -44);
  EXPECT_FALSE(m_table->isDecelerating());
}

TEST_F(UITableViewTest, ADragOverARowDoesNotSelectIt) {
  fill(50);
  m_table->reloadData();
  m_host->drag({{160, 300}, {160, 200}}, 0.3);
  m_host->advance(2);
  EXPECT_TRUE(m_model->selected.empty());
}

// Screens keep one footer of each kind and hand it to whichever table shows.
TEST_F(UITableViewTest, AFooterAnotherTableTookComesBackWhenSetAgain) {
  fill(2);
  m_table->reloadData();
  auto footer = std::make_shared<UIView>(CGRectMake(0, 0, 320, 40));
  m_table->setTableFooterView(footer);
  m_host->settle();
  auto other = std::make_shared<UITableView>(CGRectMake(0, 20, 320, 440));
  other->setDataSource(m_model);
  m_host->window().addSubview(other);
  other->setTableFooterView(footer);
  m_host->settle();
  const CGRect inOther = footer->frame();
  m_table->setContentOffset({0, -10});
  m_host->settle();
  EXPECT_EQ(footer->superview(), other.get());
  EXPECT_EQ(footer->frame(), inOther);
  other->removeFromSuperview();
  m_table->setTableFooterView(footer);
  m_host->settle();
  EXPECT_EQ(footer->superview(), m_table.get());
  EXPECT_EQ(footer->frame().origin.y, 88);
}

TEST_F(UITableViewTest, ATapOnMovingRowsOnlyStopsThem) {
  fill(200);
  m_table->reloadData();
  m_host->drag({{160, 400}, {160, 250}}, 0.1, 5);
  ASSERT_TRUE(m_table->isMoving());
  const std::string under = m_table->cellForRowAtIndexPath(m_table->indexPathsForVisibleRows()[3])->textLabel().text();
  EXPECT_FALSE(m_host->tapText(under));
  m_host->tapPoint({160, 200});
  EXPECT_FALSE(m_table->isMoving());
  EXPECT_TRUE(m_model->selected.empty());
  m_host->advance(1);
  const auto path = m_table->indexPathsForVisibleRows()[3];
  ASSERT_TRUE(m_host->tapText(m_table->cellForRowAtIndexPath(path)->textLabel().text()));
  EXPECT_THAT(m_model->selected, ElementsAre(path));
}

TEST_F(UITableViewTest, HeadersAndFooterViewTakeTheirPlace) {
  class Titled : public RowsModel {
   public:
    std::optional<std::string> tableViewTitleForHeaderInSection(UITableView&, int section) override {
      return "Section " + std::to_string(section);
    }
  };
  auto model = std::make_shared<Titled>();
  model->sections = {{"a", "b"}, {"c"}};
  m_table->setDataSource(model);
  m_table->setTableDelegate(model);
  auto footer = std::make_shared<UIView>(CGRectMake(0, 0, 320, 40));
  m_table->setTableFooterView(footer);
  m_table->reloadData();
  m_host->settle();
  EXPECT_EQ(m_table->rectForRowAtIndexPath({0, 0}).origin.y, 22);
  EXPECT_EQ(m_table->rectForRowAtIndexPath({1, 0}).origin.y, 22 + 88 + 22);
  EXPECT_EQ(m_table->contentSize().height, 22 + 88 + 22 + 44 + 40);
  EXPECT_EQ(footer->frame().origin.y, 22 + 88 + 22 + 44);
  EXPECT_NE(m_host->findViewWithText("Section 1"), nullptr);
}

// The rounded body's border lies on whole pixels at either scale, and the
// line between two rows ends at the border instead of poking out past it.
TEST_F(UITableViewTest, GroupedRowsHaveCrispBordersThatTheLinesBetweenRowsMeet) {
  const KMPixel border{171, 171, 171, 255}, white{255, 255, 255, 255};
  for (const int scale : {1, 2}) {
    m_host.reset();
    m_host = std::make_unique<KMHeadlessHost>(scale);
    auto table = std::make_shared<UITableView>(CGRectMake(0, 20, 320, 440), UITableViewStyle::Grouped);
    table->setDataSource(m_model);
    fill(3);
    m_host->window().addSubview(table);
    m_host->settle();
    const CGRect first = table->convertRectToView(table->rectForRowAtIndexPath(NSIndexPath::indexPathForRowInSection(0, 0)), nullptr);
    const auto shot = m_host->snapshot();
    ASSERT_TRUE(shot);
    const int left = int(first.origin.x) * scale, middle = int(CGRectGetMidY(first)) * scale;
    const int line = (int(CGRectGetMaxY(first)) - 1) * scale;
    EXPECT_NE(shot->pixelAt(left - 1, middle), border) << "scale " << scale;
    for (int x = left; x < left + scale; ++x) EXPECT_EQ(shot->pixelAt(x, middle), border) << "scale " << scale;
    EXPECT_EQ(shot->pixelAt(left + scale, middle), white) << "scale " << scale;
    EXPECT_EQ(shot->pixelAt(left + 20 * scale, line), border) << "scale " << scale;
    EXPECT_NE(shot->pixelAt(left - 1, line), border) << "scale " << scale;
    table->removeFromSuperview();
  }
}

}  // namespace
}  // namespace kdisk::test
