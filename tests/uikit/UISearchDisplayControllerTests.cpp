#include <gmock/gmock.h>

#include <algorithm>

#include "UIKitTestSupport.h"
#include "uikit/UINavigationController.h"
#include "uikit/UISearchDisplayController.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

// A screen with a search bar over a list, filtering by substring.
class SearchScreen : public UIViewController,
                     public UITableViewDataSource,
                     public UISearchDisplayDelegate,
                     public UISearchBarDelegate {
 public:
  std::vector<std::string> items{"Report.pdf", "photo.jpg", "Reports 2012", "notes.txt"};
  std::vector<std::string> filtered;
  std::vector<std::string> events;
  std::shared_ptr<UISearchBar> bar;
  std::unique_ptr<UISearchDisplayController> search;

  void viewDidLoad() override {
    bar = std::make_shared<UISearchBar>(CGRectMake(0, 0, 320, 44));
    bar->setPlaceholder("Search");
    bar->setDelegate(std::static_pointer_cast<SearchScreen>(sharedController()));
    view()->addSubview(bar);
    search = std::make_unique<UISearchDisplayController>(bar, *this);
    auto self = std::static_pointer_cast<SearchScreen>(sharedController());
    search->setDelegate(self);
    search->setSearchResultsDataSource(self);
  }
  bool searchDisplayControllerShouldReloadTableForSearchString(UISearchDisplayController&,
                                                               const std::string& text) override {
    filtered.clear();
    for (auto& item : items)
      if (item.find(text) != std::string::npos) filtered.push_back(item);
    return true;
  }
  void searchDisplayControllerDidBeginSearch(UISearchDisplayController&) override { events.push_back("begin"); }
  void searchDisplayControllerDidEndSearch(UISearchDisplayController&) override { events.push_back("end"); }
  void searchBarTextDidBeginEditing(UISearchBar&) override { events.push_back("editing"); }
  int tableViewNumberOfRowsInSection(UITableView&, int) override { return int(filtered.size()); }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView&, const NSIndexPath& path) override {
    auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyle::Default, "Result");
    cell->textLabel().setText(filtered[std::size_t(path.row)]);
    return cell;
  }
};

class UISearchDisplayControllerTest : public UIKitTest {
 protected:
  void SetUp() override {
    m_screen = std::make_shared<SearchScreen>();
    m_navigation = std::make_shared<UINavigationController>(m_screen);
    m_host->setRootViewController(m_navigation);
  }
  std::shared_ptr<SearchScreen> m_screen;
  std::shared_ptr<UINavigationController> m_navigation;
};

TEST_F(UISearchDisplayControllerTest, TappingTheBarStartsASearchAndTypingShowsTheResults) {
  ASSERT_TRUE(m_host->tapText("Search"));
  EXPECT_TRUE(m_screen->search->isActive());
  EXPECT_TRUE(m_screen->bar->showsCancelButton());
  EXPECT_TRUE(m_navigation->isNavigationBarHidden());
  EXPECT_FALSE(m_screen->search->isShowingResults());
  m_host->typeText("Report");
  m_host->advance(0.3);
  EXPECT_TRUE(m_screen->search->isShowingResults());
  EXPECT_EQ(m_screen->search->searchResultsTableView().numberOfRowsInSection(0), 2);
  EXPECT_NE(m_host->findViewWithText("Reports 2012"), nullptr);
  EXPECT_EQ(m_screen->searchDisplayController(), m_screen->search.get());
}

TEST_F(UISearchDisplayControllerTest, CancelEndsTheSearchAndClearsTheText) {
  m_host->tapText("Search");
  m_host->typeText("photo");
  m_host->advance(0.3);
  ASSERT_TRUE(m_host->tapText("Cancel"));
  m_host->advance(0.3);
  EXPECT_FALSE(m_screen->search->isActive());
  EXPECT_FALSE(m_screen->search->isShowingResults());
  EXPECT_EQ(m_screen->bar->text(), "");
  EXPECT_FALSE(m_navigation->isNavigationBarHidden());
  EXPECT_THAT(m_screen->events, ElementsAre("begin", "editing", "end"));
}

}  // namespace
}  // namespace kdisk::test
