// The in-application browser over the headless web engine: which loads stay
// in the view, which go to the desktop, the delegate's veto, the title and
// the toolbar through a page's life, and handing the page to the browser.
#include "UIKitTestSupport.h"
#include "platform/Bundle.h"
#include "screens/auth/KMWebController.h"
#include "uikit/KMHeadlessWebEngine.h"
#include "uikit/UIApplication.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UINavigationController.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;

class Veto : public KMWebControllerDelegate {
public:
  bool webControllerShouldStartLoadWithRequest(KMWebController&, const URL& request) override {
    asked.push_back(request.absoluteString());
    return request.host() != "blocked.example";
  }
  std::vector<std::string> asked;
};

class KMWebControllerTest : public UIKitTest {
protected:
  KMWebControllerTest() {
    UIApplication::sharedApplication().setOpenURLHandler([this](const URL& url) {
      m_desktop.push_back(url.absoluteString());
      return true;
    });
  }

  KMHeadlessWebEngine& show(std::shared_ptr<KMWebController> controller) {
    m_controller = std::move(controller);
    m_host->setRootViewController(std::make_shared<UINavigationController>(m_controller));
    m_host->advance(0.5);
    auto* engine = KMHeadlessWebEngine::of(*m_controller->webView());
    EXPECT_NE(engine, nullptr);
    return *engine;
  }

  std::string loadingTitle() const {
    return KMLocalizedString("Web view loading title", "", kKMWebControllerTable);
  }

  std::shared_ptr<KMWebController> m_controller;
  std::vector<std::string> m_desktop;
};

TEST_F(KMWebControllerTest, AnAddressWithoutSchemeIsTakenAsHttp) {
  EXPECT_EQ(KMWebController::URLWithDefaultScheme("www.kalumo.ru/apps")->absoluteString(),
            "http://www.kalumo.ru/apps");
  EXPECT_EQ(KMWebController::URLWithDefaultScheme("https://kalumo.ru/")->absoluteString(),
            "https://kalumo.ru/");
  auto controller = KMWebController::initWithURL("kalumo.ru/legal");
  EXPECT_EQ(controller->request().absoluteString(), "http://kalumo.ru/legal");
  EXPECT_TRUE(controller->hidesBottomBarWhenPushed());
}

TEST_F(KMWebControllerTest,
       WebPagesLoadInTheViewOtherSchemesGoToTheDesktopAndTheDelegateVetoesFirst) {
  auto veto = std::make_shared<Veto>();
  auto controller =
      std::make_shared<KMWebController>(*URL::fromString("https://pages.example/one"));
  controller->setDelegate(veto);
  KMHeadlessWebEngine& engine = show(controller);

  EXPECT_TRUE(m_controller->loading());
  EXPECT_EQ(m_controller->title(), loadingTitle());
  EXPECT_TRUE(m_controller->stopButton().isEnabled());
  EXPECT_FALSE(m_controller->reloadButton().isEnabled());
  engine.finishLoading("Page one");
  EXPECT_FALSE(m_controller->loading());
  EXPECT_EQ(m_controller->title(), "Page one");
  EXPECT_FALSE(m_controller->stopButton().isEnabled());
  EXPECT_TRUE(m_controller->reloadButton().isEnabled());
  EXPECT_FALSE(m_controller->backButton().isEnabled());

  EXPECT_TRUE(engine.navigate(*URL::fromString("http://pages.example/two"),
                              UIWebViewNavigationType::LinkClicked));
  EXPECT_EQ(m_controller->request().absoluteString(), "http://pages.example/two");
  // A page that fails still ends the loading state with what the engine shows.
  engine.failLoading(KMError("NSURLErrorDomain", -1004, "Could not connect"));
  EXPECT_FALSE(m_controller->loading());
  EXPECT_TRUE(m_controller->backButton().isEnabled());
  m_controller->backButton().performAction();
  engine.finishLoading("Page one");
  EXPECT_EQ(m_controller->webView()->currentURL()->absoluteString(), "https://pages.example/one");
  EXPECT_TRUE(m_controller->forwardButton().isEnabled());

  EXPECT_FALSE(engine.navigate(*URL::fromString("mailto:someone@pages.example"),
                               UIWebViewNavigationType::LinkClicked));
  EXPECT_FALSE(engine.navigate(*URL::fromString("https://blocked.example/"),
                               UIWebViewNavigationType::LinkClicked));
  EXPECT_FALSE(engine.navigate(*URL::fromString("tel://blocked.example/"),
                               UIWebViewNavigationType::LinkClicked));
  EXPECT_THAT(m_desktop, ElementsAre("mailto:someone@pages.example"));
  EXPECT_EQ(veto->asked.back(), "tel://blocked.example/");
  EXPECT_EQ(m_controller->webView()->currentURL()->absoluteString(), "https://pages.example/one");
  EXPECT_FALSE(m_controller->loading());
}

TEST_F(KMWebControllerTest, TheActionSheetOpensTheCurrentPageInTheDesktopBrowser) {
  KMHeadlessWebEngine& engine = show(KMWebController::initWithURL("https://pages.example/one"));
  engine.finishLoading("One");
  engine.navigate(*URL::fromString("https://pages.example/two"),
                  UIWebViewNavigationType::LinkClicked);
  m_controller->actionButton().performAction();
  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("Cancel", "", kKMWebControllerTable)));
  m_host->advance(0.5);
  EXPECT_TRUE(m_desktop.empty());
  m_controller->actionButton().performAction();
  m_host->advance(0.5);
  ASSERT_TRUE(m_host->tapText(KMLocalizedString("Open in Safari", "", kKMWebControllerTable)));
  m_host->advance(0.5);
  EXPECT_THAT(m_desktop, ElementsAre("https://pages.example/two"));
}

} // namespace
} // namespace kdisk::test
