#include <gmock/gmock.h>

#include "UIKitTestSupport.h"
#include "uikit/UIActionSheetAutoDismiss.h"
#include "uikit/UIAlertViewAutoDismiss.h"
#include "uikit/UIApplication.h"
#include "uikit/UIWindow.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

class AlertRecorder : public UIAlertViewDelegate, public UIActionSheetDelegate {
 public:
  std::vector<std::string> events;
  void alertViewClickedButtonAtIndex(UIAlertView& alert, int index) override {
    events.push_back("clicked " + std::to_string(index) + " tag " + std::to_string(alert.tag()));
  }
  void alertViewWillDismissWithButtonIndex(UIAlertView&, int index) override {
    events.push_back("will dismiss " + std::to_string(index));
  }
  void alertViewDidDismissWithButtonIndex(UIAlertView&, int index) override {
    events.push_back("did dismiss " + std::to_string(index));
  }
  void actionSheetClickedButtonAtIndex(UIActionSheet&, int index) override {
    events.push_back("sheet clicked " + std::to_string(index));
  }
  void actionSheetDidDismissWithButtonIndex(UIActionSheet&, int index) override {
    events.push_back("sheet did dismiss " + std::to_string(index));
  }
};

class UIAlertViewTest : public UIKitTest {
 protected:
  std::shared_ptr<AlertRecorder> m_recorder = std::make_shared<AlertRecorder>();
};

TEST_F(UIAlertViewTest, TheCancelButtonComesFirstAndOthersFollow) {
  auto alert = std::make_shared<UIAlertView>("Title", "Message", m_recorder, "Cancel",
                                             std::vector<std::string>{"Retry", "Delete"});
  EXPECT_EQ(alert->cancelButtonIndex(), 0);
  EXPECT_EQ(alert->firstOtherButtonIndex(), 1);
  EXPECT_EQ(alert->buttonTitleAtIndex(2), "Delete");
  auto sheet = std::make_shared<UIActionSheet>("", m_recorder, "Cancel", "Delete", std::vector<std::string>{"Share"});
  EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
  EXPECT_EQ(sheet->firstOtherButtonIndex(), 1);
  EXPECT_EQ(sheet->cancelButtonIndex(), 2);
}

TEST_F(UIAlertViewTest, ATappedButtonIsReportedThenTheAlertGoesAway) {
  auto alert = std::make_shared<UIAlertView>("Upload failed", "Try again?", m_recorder, "No",
                                             std::vector<std::string>{"Yes"});
  alert->setTag(7);
  alert->show();
  m_host->advance(0.3);
  EXPECT_TRUE(alert->isVisible());
  ASSERT_TRUE(m_host->tapText("Yes"));
  EXPECT_THAT(m_recorder->events, ElementsAre("clicked 1 tag 7", "will dismiss 1"));
  m_host->advance(0.3);
  EXPECT_THAT(m_recorder->events, ElementsAre("clicked 1 tag 7", "will dismiss 1", "did dismiss 1"));
  EXPECT_FALSE(alert->isVisible());
  EXPECT_EQ(m_host->findViewWithText("Try again?"), nullptr);
}

TEST_F(UIAlertViewTest, AShownAlertLivesOnWithoutAnOwnerUntilDismissed) {
  std::weak_ptr<UIAlertView> weak;
  {
    auto alert = std::make_shared<UIAlertView>("Hello", "", m_recorder, "OK", std::vector<std::string>{});
    weak = alert;
    alert->show();
  }
  m_host->advance(0.3);
  ASSERT_FALSE(weak.expired());
  ASSERT_TRUE(m_host->tapText("OK"));
  m_host->advance(0.3);
  EXPECT_TRUE(weak.expired());
}

TEST_F(UIAlertViewTest, TheSelfDismissingAlertClosesWithItsCancelButtonOnEnteringTheBackground) {
  auto alert = std::make_shared<UIAlertViewAutoDismiss>("Delete?", "", m_recorder, "Cancel",
                                                        std::vector<std::string>{"Delete"});
  alert->show();
  m_host->advance(0.3);
  m_host->sendApplicationToBackground();
  EXPECT_THAT(m_recorder->events, ElementsAre("will dismiss 0", "did dismiss 0"));
  EXPECT_FALSE(alert->isVisible());
  EXPECT_TRUE(KMAlertPanel::visiblePanels().empty());
  m_host->bringApplicationToForeground();
  m_host->sendApplicationToBackground();
  EXPECT_EQ(m_recorder->events.size(), 2u);  // no longer listening
}

TEST_F(UIAlertViewTest, AnOrdinaryAlertStaysOverTheBackground) {
  auto alert = std::make_shared<UIAlertView>("Note", "", m_recorder, "OK", std::vector<std::string>{});
  alert->show();
  m_host->sendApplicationToBackground();
  EXPECT_TRUE(alert->isVisible());
  alert->dismissWithClickedButtonIndexAnimated(0, KMAnimated::No);
}

TEST_F(UIAlertViewTest, TheSelfDismissingActionSheetClosesToo) {
  auto sheet = std::make_shared<UIActionSheetAutoDismiss>("", m_recorder, "Cancel", std::nullopt,
                                                          std::vector<std::string>{"Mail", "Copy link"});
  sheet->showInView(m_host->window());
  m_host->advance(0.4);
  EXPECT_NE(m_host->findViewWithText("Copy link"), nullptr);
  m_host->sendApplicationToBackground();
  EXPECT_THAT(m_recorder->events, ElementsAre("sheet did dismiss 2"));
  EXPECT_EQ(m_host->findViewWithText("Copy link"), nullptr);
}

TEST_F(UIAlertViewTest, AnActionSheetRisesAndReportsTheChoice) {
  auto sheet = std::make_shared<UIActionSheet>("Share", m_recorder, "Cancel", std::nullopt,
                                               std::vector<std::string>{"Mail"});
  sheet->showInView(m_host->window());
  EXPECT_GT(sheet->presentationFrame().origin.y, 479);  // still below the window
  m_host->advance(0.3);
  EXPECT_LT(sheet->presentationFrame().origin.y, 480 - 44);
  ASSERT_TRUE(m_host->tapText("Mail"));
  m_host->advance(0.3);
  EXPECT_THAT(m_recorder->events, ElementsAre("sheet clicked 0", "sheet did dismiss 0"));
}

}  // namespace
}  // namespace kdisk::test
