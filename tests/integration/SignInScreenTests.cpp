// The login screen on the headless host against kdisk-service: the login
// rules, the outcomes of the password exchange shown inline, the keyboard and
// field behaviour, and web registration ending in the application's scheme.
#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <tuple>

#include "HeadlessSession.h"
#include "NotificationRecorder.h"
#include "UIKitTestSupport.h"
#include "auth/KMOAuthOperation.h"
#include "graphics/CGGeometry.h"
#include "graphics/UIGraphicsImageContext.h"
#include "platform/Bundle.h"
#include "platform/KMAnalytics.h"
#include "screens/auth/KMAuthViewController.h"
#include "settings/KMSettings.h"
#include "support/HttpClient.h"
#include "support/LoopbackPort.h"
#include "support/ServiceProcess.h"
#include "uikit/AudioServices.h"
#include "uikit/KMActivityPopupView.h"
#include "uikit/KMHeadlessWebEngine.h"
#include "uikit/UIApplication.h"
#include "uikit/UIBarButtonItem.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"
#include "uikit/UINavigationController.h"
#include "uikit/UINavigationItem.h"
#include "uikit/UIScreen.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class SignInScreenTest : public UIKitTest {
protected:
  static void SetUpTestSuite() {
    s_service = new ServiceProcess;
    ServiceOptions options;
    options.users = {{"alice", "alice-password"}, {"carol", "carol-password"}};
    ASSERT_TRUE(s_service->start(options)) << s_service->lastError();
    // Account pages included.
    pointApplicationAt(*s_service);
  }
  static void TearDownTestSuite() {
    delete s_service;
    s_service = nullptr;
  }

  void SetUp() override {
    KMSettings::mainSettings().setLogin(std::nullopt);
    KMAnalytics::sharedInstance().clearRecordedEventsForTesting();
    clearPlayedSystemSoundsForTesting();
    s_service->faults().forgetServedRequests();
    // Stands in for the desktop's handlers of other schemes.
    UIApplication::sharedApplication().setOpenURLHandler([this](const URL& url) {
      m_handedToDesktop.push_back(url.absoluteString());
      return true;
    });
  }

  std::shared_ptr<KMAuthViewController> show(std::optional<Notification> error = std::nullopt) {
    m_screen = KMAuthViewController::initWithLoginErrorNotification(std::move(error));
    m_host->setRootViewController(m_screen);
    m_host->advance(0.5);
    return m_screen;
  }

  void fill(const std::string& login, const std::string& password) {
    ASSERT_TRUE(m_host->tapView(m_screen->loginTextField()));
    m_host->typeText(login);
    ASSERT_TRUE(m_host->tapView(m_screen->passwordTextField()));
    m_host->typeText(password);
  }

  // Signs in with the button and turns the loop until the exchange is over.
  void signIn(const std::string& login, const std::string& password) {
    fill(login, password);
    ASSERT_TRUE(m_host->tapView(m_screen->loginButton()));
    ASSERT_TRUE(m_recorder.waitFor(
        {kKMXConnectionDidAuthenticateWithToken, kKMXConnectionDidFailAuthenticateWithError}));
    m_host->advance(0.5);
  }

  std::vector<std::string> tokenRequests() const {
    std::vector<std::string> targets;
    for (const auto& request : s_service->faults().servedRequests())
      if (request.target == "/token")
        targets.push_back(request.method);
    return targets;
  }

  std::string userInfo(const std::string& token) const {
    HttpCall call;
    call.url = s_service->endpoints().httpsBaseURL + "/?userinfo";
    call.caFile = s_service->endpoints().caCertificate;
    call.headers = {"Authorization: OAuth " + token};
    return perform(call).body;
  }

  std::vector<std::string> events() const {
    std::vector<std::string> names;
    for (const auto& event : KMAnalytics::sharedInstance().recordedEvents())
      names.push_back(event.name);
    return names;
  }

  void saveArtefact(const std::string& name) {
    const auto folder = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "screens";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(m_host->savePNG((folder / name).string()));
  }

  KMWebController& openRegistration() {
    m_host->tapView(m_screen->registerButton());
    m_host->advance(0.5);
    auto browser = m_screen->webController();
    EXPECT_NE(browser, nullptr);
    return *browser;
  }

  static ServiceProcess* s_service;
  std::shared_ptr<KMAuthViewController> m_screen;
  std::vector<std::string> m_handedToDesktop;
  NotificationRecorder m_recorder{{kKMXConnectionWillAuthenticate,
                                   kKMXConnectionDidAuthenticateWithToken,
                                   kKMXConnectionDidFailAuthenticateWithError}};
};
ServiceProcess* SignInScreenTest::s_service = nullptr;

const std::string kInvalidLoginText = "AuthInvalidLoginOrPassword";

std::string localized(const char* key) {
  return KMLocalizedString(key, key);
}

// ---- The form ---------------------------------------------------------------------------

TEST_F(SignInScreenTest, StartsWithTheStoredLoginAndEnablesSignInOnlyWithBothFieldsFilled) {
  KMSettings::mainSettings().setLogin(std::string("alice"));
  show();
  EXPECT_EQ(m_screen->loginTextField().text(), "alice");
  EXPECT_EQ(m_screen->passwordTextField().text(), "");
  EXPECT_EQ(m_screen->passwordTextField().placeholder(),
            KMLocalizedString("AuthPasswordPlaceholder", "", "KMAuthViewController"));
  EXPECT_FALSE(m_screen->loginButton().isEnabled());
  EXPECT_EQ(m_screen->errorLabel().alpha(), 0);
  EXPECT_EQ(m_screen->shadeView().alpha(), 0);
  saveArtefact("login-empty.png");

  ASSERT_TRUE(m_host->tapView(m_screen->passwordTextField()));
  EXPECT_EQ(m_screen->passwordTextField().placeholder(), "");
  EXPECT_EQ(m_screen->passwordTextField().returnKeyType(), UIReturnKeyType::Go);
  m_host->typeText("p");
  EXPECT_TRUE(m_screen->loginButton().isEnabled());
  m_host->pressBackspace();
  EXPECT_FALSE(m_screen->loginButton().isEnabled());
  EXPECT_TRUE(m_host->tapView(m_screen->loginTextField()));
  EXPECT_EQ(m_screen->passwordTextField().placeholder(),
            KMLocalizedString("AuthPasswordPlaceholder", "", "KMAuthViewController"));

  // A login of spaces only is no login: the button stays off and Return in
  // the password field goes back to the login instead of signing in.
  for (int i = 0; i < 5; ++i)
    m_host->pressBackspace();
  m_host->typeText("   ");
  ASSERT_TRUE(m_host->tapView(m_screen->passwordTextField()));
  m_host->typeText("secret");
  EXPECT_EQ(m_screen->loginText(), "");
  EXPECT_FALSE(m_screen->loginButton().isEnabled());
  EXPECT_EQ(m_screen->passwordTextField().returnKeyType(), UIReturnKeyType::Next);
  m_host->pressReturn();
  EXPECT_TRUE(m_screen->loginTextField().isFirstResponder());
  m_recorder.drain();
  EXPECT_THAT(m_recorder.names(), IsEmpty());
}

TEST_F(SignInScreenTest, TheKeyboardLiftsTheScreenUntilFocusLeavesBothFields) {
  show();
  const CGRect resting = UIScreen::mainScreen().applicationFrame();
  ASSERT_TRUE(m_host->tapView(m_screen->loginTextField()));
  m_host->advance(0.3);
  EXPECT_EQ(m_screen->view()->frame(), CGRectOffset(resting, 0, -100));
  m_host->typeText("alice");
  m_host->pressReturn();
  EXPECT_TRUE(m_screen->passwordTextField().isFirstResponder());
  m_host->advance(0.3);
  EXPECT_EQ(m_screen->view()->frame(), CGRectOffset(resting, 0, -100));
  m_host->tapPoint({5, 300});
  m_host->advance(0.3);
  EXPECT_FALSE(m_screen->passwordTextField().isFirstResponder());
  EXPECT_EQ(m_screen->view()->frame(), resting);
}

// The backdrop tiles its small texture: every 24-point step shows the same
// pixels, where a texture stretched over the screen drew blurred squares.
TEST_F(SignInScreenTest, TheBackdropRepeatsItsTextureAcrossTheScreen) {
  show();
  const auto& backdrop = m_screen->backgroundImageView();
  const CGSize size = backdrop.bounds().size;
  UIGraphicsImageContext canvas(size, KMImageContextOpacity::Opaque, 2);
  backdrop.drawContentAndSubviews(canvas.context());
  auto image = canvas.image();
  ASSERT_NE(image, nullptr);
  constexpr int kPeriod = 48;  // 24 points at scale 2
  std::set<std::tuple<int, int, int>> colours;
  int mismatches = 0;
  for (int y = 0; y + kPeriod < image->pixelHeight(); ++y)
    for (int x = 0; x + kPeriod < image->pixelWidth(); ++x) {
      const KMPixel p = image->pixelAt(x, y);
      colours.emplace(p.red, p.green, p.blue);
      mismatches += !(p == image->pixelAt(x + kPeriod, y)) || !(p == image->pixelAt(x, y + kPeriod));
    }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(colours.size(), 1u) << "the texture's dots are drawn";
}

TEST_F(SignInScreenTest, ErrorTextShrinksToFitDownToSixPointsAndMovesTheButtonAndLink) {
  show();
  m_screen->setErrorText(std::string("Wrong login or password."));
  m_host->advance(0.5);
  EXPECT_EQ(m_screen->errorLabel().alpha(), 1);
  EXPECT_EQ(m_screen->errorLabel().font().pointSize(), 16);
  EXPECT_EQ(m_screen->loginButton().frame().origin.y, 258);
  EXPECT_EQ(m_screen->forgotPasswordLink().frame().origin.y, 301);
  saveArtefact("login-error.png");

  std::string sentence =
      "The service could not be reached in time, so nothing was sent and the form keeps "
      "what you typed. ";
  m_screen->setErrorText(sentence + sentence);
  const CGFloat middle = m_screen->errorLabel().font().pointSize();
  EXPECT_LT(middle, 16);
  EXPECT_GT(middle, 6);
  std::string essay;
  for (int i = 0; i < 30; ++i)
    essay += sentence;
  m_screen->setErrorText(essay);
  EXPECT_EQ(m_screen->errorLabel().font().pointSize(), 6);

  m_screen->setErrorText(std::string());
  m_host->advance(0.5);
  EXPECT_EQ(m_screen->errorLabel().alpha(), 0);
  EXPECT_EQ(m_screen->loginButton().frame().origin.y, 227);
  EXPECT_EQ(m_screen->forgotPasswordLink().frame().origin.y, 270);
}

// ---- The password exchange --------------------------------------------------------------

TEST_F(SignInScreenTest, BareLoginAndLoginAtAnAccountDomainInAnyCaseSendTheSameLogin) {
  for (const std::string login :
       {"alice", "alice@kalumo.ru", "  alice@KALUMO.Com ", "alice@Ka.Ru"}) {
    SCOPED_TRACE(login);
    m_recorder.clear();
    show();
    fill(login, "alice-password");
    ASSERT_TRUE(m_host->tapView(m_screen->loginButton()));
    EXPECT_FALSE(m_screen->shadeView().isHidden());
    if (login == "alice") {
      m_host->advance(0.3);
      EXPECT_DOUBLE_EQ(m_screen->shadeView().alpha(), 0.75);
      const CGRect popup = m_screen->shadePopupView().frame();
      EXPECT_EQ(popup.origin.y, 110);
      EXPECT_EQ(CGRectGetMidX(popup), 160);
      saveArtefact("login-connecting.png");
    }
    ASSERT_TRUE(m_recorder.waitFor(kKMXConnectionDidAuthenticateWithToken));
    auto success = m_recorder.named(kKMXConnectionDidAuthenticateWithToken).at(0);
    EXPECT_EQ(success.string("login"), "alice");
    EXPECT_NE(userInfo(success.string("token")).find("login:alice"), std::string::npos);
  }
  EXPECT_EQ(tokenRequests().size(), 4u);
  EXPECT_THAT(events(), ElementsAre(kKMMVLoginDoLogin, kKMMVLoginDoLogin, kKMMVLoginDoLogin,
                                    kKMMVLoginDoLogin));
}

TEST_F(SignInScreenTest, OtherDomainsAreRefusedOnTheSpotWithTheAlertSound) {
  for (const std::string login :
       {"alice@example.com", "alice@", "alice@kalumo.ru@kalumo.ru", "alice@kalumo.ru.evil"}) {
    SCOPED_TRACE(login);
    show();
    clearPlayedSystemSoundsForTesting();
    fill(login, "alice-password");
    ASSERT_TRUE(m_host->tapView(m_screen->loginButton()));
    m_host->advance(0.5);
    EXPECT_EQ(m_screen->errorText(), localized("AuthInvalidLoginOrPassword"));
    EXPECT_THAT(playedSystemSoundsForTesting(), ElementsAre(kSystemSoundID_Vibrate));
    EXPECT_TRUE(m_screen->shadeView().isHidden());
  }
  m_recorder.drain();
  EXPECT_THAT(m_recorder.names(), IsEmpty());
  EXPECT_THAT(tokenRequests(), IsEmpty());
}

TEST_F(SignInScreenTest, WrongPasswordClearsAndFocusesThePasswordAndHidesTheShade) {
  show();
  signIn("alice", "not-her-password");
  EXPECT_EQ(m_screen->errorText(), localized("AuthInvalidLoginOrPassword"));
  EXPECT_EQ(m_screen->passwordTextField().text(), "");
  EXPECT_TRUE(m_screen->passwordTextField().isFirstResponder());
  EXPECT_FALSE(m_screen->loginButton().isEnabled());
  EXPECT_THAT(playedSystemSoundsForTesting(), ElementsAre(kSystemSoundID_Vibrate));
  EXPECT_EQ(m_screen->shadeView().alpha(), 0);
  EXPECT_TRUE(m_screen->shadeView().isHidden());
}

TEST_F(SignInScreenTest, ABlockedAccountShowsTheServiceVerdictWithoutClearingThePassword) {
  for (int i = 0; i < 6; ++i)
    s_service->signIn("carol", "guess");
  show();
  signIn("carol", "carol-password");
  EXPECT_EQ(m_screen->errorText(), localized("AuthOneHourLoginBlocked"));
  EXPECT_EQ(m_screen->passwordTextField().text(), "carol-password");
  EXPECT_THAT(playedSystemSoundsForTesting(), IsEmpty());
  EXPECT_TRUE(m_screen->shadeView().isHidden());
}

TEST_F(SignInScreenTest, AnUnreachableServiceShowsTheUnknownErrorText) {
  show();
  m_screen->setTokenEndpointURLForTesting(
      URL::fromString("https://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/token"));
  signIn("alice", "alice-password");
  EXPECT_EQ(m_screen->errorText(), localized("AuthAuthorizationUnknownErrorText"));
  EXPECT_EQ(m_screen->passwordTextField().text(), "alice-password");
  EXPECT_TRUE(m_screen->shadeView().isHidden());
}

TEST_F(SignInScreenTest, AFailureGivenAtCreationShowsWhenTheViewLoads) {
  show(Notification{kKMXConnectionDidFailAuthenticateWithError,
                    nullptr,
                    {{"error", KMError(kKMOAuthOperationErrorDomain, 4, "")}}});
  m_host->advance(0.5);
  EXPECT_EQ(m_screen->errorText(), localized("AuthAuthorizationUnknownErrorText"));
  EXPECT_EQ(m_screen->errorLabel().alpha(), 1);
}

// ---- Web registration and password recovery -----------------------------------------------

TEST_F(SignInScreenTest, RegistrationOnTheServicePageEndsInSignInWithItsToken) {
  show();
  KMWebController& browser = openRegistration();
  EXPECT_THAT(events(), ElementsAre(kKMMVLoginSignup));
  auto* engine = KMHeadlessWebEngine::of(*browser.webView());
  ASSERT_NE(engine, nullptr);
  ASSERT_EQ(engine->offeredURLs().size(), 1u);
  const URL page = engine->offeredURLs()[0];
  EXPECT_EQ(page.origin(), s_service->endpoints().httpsBaseURL);
  EXPECT_EQ(page.path(), "/auth/register");

  // The page as the service serves it, then its form posted as a browser would.
  HttpCall get;
  get.url = page.absoluteString();
  get.caFile = s_service->endpoints().caCertificate;
  HttpReply form = perform(get);
  ASSERT_EQ(form.status, 200) << form.error;
  engine->finishLoading("Create a Kalumo account");
  EXPECT_EQ(browser.title(), "Create a Kalumo account");
  saveArtefact("web-registration.png");

  const std::string retpathField = "name=retpath value=\"";
  const auto at = form.body.find(retpathField);
  ASSERT_NE(at, std::string::npos);
  const std::string retpath =
      form.body.substr(at + retpathField.size(),
                       form.body.find('"', at + retpathField.size()) - at - retpathField.size());
  EXPECT_EQ(retpath, KMAuthViewController::OAuthRetpath());
  HttpCall post = get;
  post.method = "POST";
  post.url = s_service->endpoints().httpsBaseURL + "/auth/register";
  post.headers = {"Content-Type: application/x-www-form-urlencoded"};
  post.body = "login=erin&password=erin-password&password2=erin-password&retpath=" +
              KMOAuthOperation::percentEscapedCredential(retpath);
  ASSERT_TRUE(engine->navigate(*URL::fromString(post.url), UIWebViewNavigationType::FormSubmitted));
  HttpReply answer = perform(post);
  ASSERT_EQ(answer.status, 302) << answer.body;
  const std::string location = answer.header("Location").value_or("");
  ASSERT_EQ(location.rfind("kalumodisk:", 0), 0u) << location;

  EXPECT_FALSE(engine->redirect(*URL::fromString(location)));
  m_recorder.drain();
  auto success = m_recorder.named(kKMXConnectionDidAuthenticateWithToken);
  ASSERT_EQ(success.size(), 1u);
  EXPECT_FALSE(success[0].has("login"));
  EXPECT_NE(userInfo(success[0].string("token")).find("login:erin"), std::string::npos);
  EXPECT_NE(engine->startedURLs().back().scheme(), "kalumodisk");
  EXPECT_THAT(m_handedToDesktop, IsEmpty());
}

TEST_F(SignInScreenTest, AReturnToTheSchemeWithoutATokenIsLetThroughToTheDesktop) {
  show();
  KMWebController& browser = openRegistration();
  auto* engine = KMHeadlessWebEngine::of(*browser.webView());
  ASSERT_NE(engine, nullptr);
  for (const char* address : {"kalumodisk://oauth/token?error=access_denied",
                              "kalumodisk://oauth/token?access_token=&state=1"}) {
    EXPECT_FALSE(engine->redirect(*URL::fromString(address)));
  }
  m_recorder.drain();
  EXPECT_THAT(m_recorder.names(), IsEmpty());
  EXPECT_THAT(m_handedToDesktop, ElementsAre("kalumodisk://oauth/token?error=access_denied",
                                             "kalumodisk://oauth/token?access_token=&state=1"));

  // Done closes the browser and leaves the form as it was.
  browser.navigationItem().rightBarButtonItem()->performAction();
  m_host->advance(0.5);
  EXPECT_EQ(m_screen->presentedViewController(), nullptr);
}

TEST_F(SignInScreenTest, ThePasswordLinkOpensTheServiceRecoveryPageWithoutTheTokenCatcher) {
  show();
  ASSERT_TRUE(m_host->tapView(m_screen->forgotPasswordLink()));
  m_host->advance(0.5);
  auto browser = m_screen->webController();
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(browser->delegate(), nullptr);
  EXPECT_EQ(browser->request().absoluteString(),
            s_service->endpoints().httpsBaseURL + "/auth/restore");
  EXPECT_THAT(events(), ElementsAre(kKMMVLoginRestore));
}

} // namespace
} // namespace kdisk::test
