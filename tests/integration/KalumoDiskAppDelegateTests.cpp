// The application's start-up and sign-in state on the headless host against
// kdisk-service: first launch, sign-in through the form, the first-run pages
// once, a revoked token signing out once, sign-out emptying the cache, the
// account figures, and switching the test server.
#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>

#include "HeadlessSession.h"
#include "NotificationRecorder.h"
#include "app/KalumoDiskAppDelegate.h"
#include "auth/KMOAuthOperation.h"
#include "manager/KMUploadQueue.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/KMError.h"
#include "platform/RunLoop.h"
#include "screens/auth/KMAuthViewController.h"
#include "screens/browsing/KMDirectorySelectionViewController.h"
#include "screens/browsing/KMDirectoryViewController.h"
#include "settings/KMSettings.h"
#include "screens/browsing/KMGroupEditCell.h"
#include "storage/KMWebDAVStorage.h"
#include "uikit/KMAlertPanel.h"
#include "uikit/UIActionSheet.h"
#include "uikit/UISearchBar.h"
#include "uikit/UISearchDisplayController.h"
#include "uikit/UITableView.h"
#include "support/HttpClient.h"
#include "support/ServiceProcess.h"
#include "support/TemporaryDirectory.h"
#include "uikit/KMHeadlessHost.h"
#include "uikit/UIApplication.h"
#include "uikit/UIButton.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIResponder.h"
#include "uikit/UIWindow.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::test {
namespace {

class KalumoDiskAppDelegateTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_service = new ServiceProcess;
    ServiceOptions options;
    options.users = {{"alice", "alice-password"}};
    ASSERT_TRUE(s_service->start(options)) << s_service->lastError();
    pointApplicationAt(*s_service);
  }
  static void TearDownTestSuite() {
    delete s_service;
    s_service = nullptr;
  }

  void SetUp() override {
    s_service->faults().forgetServedRequests();
    auto& settings = KMSettings::mainSettings();
    settings.clearUserRelatedSettingOnLogout();
    settings.setLogin(std::nullopt);
    settings.setUUID(std::nullopt);
    settings.setHasShowedDiskWizard(false);
    settings.setTestWebDavServer(false);
    m_app.open(root());
  }
  void TearDown() override { m_app.close(); }

  static URL root() { return *URL::fromString(s_service->endpoints().diskURL()); }

  bool launch(Dictionary options = {}) {
    KalumoDiskAppDelegate::Dependencies dependencies;
    dependencies.makeWizard = [this](KalumoDiskAppDelegate& delegate) {
      ++m_wizardsMade;
      return KalumoDiskAppDelegate::makeFirstRunWizard(delegate);
    };
    return m_app.launch(std::move(dependencies), options);
  }

  UIViewController* presented() const { return m_delegate->mainNavigationController()->presentedViewController(); }
  KMAuthViewController* loginScreen() const { return dynamic_cast<KMAuthViewController*>(presented()); }

  std::size_t served(const std::string& method, const std::string& prefix) const {
    std::size_t count = 0;
    for (const auto& request : s_service->faults().servedRequests())
      if (request.method == method && request.target.starts_with(prefix)) ++count;
    return count;
  }
  bool waitFor(const std::function<bool()>& done, double seconds = 20) {
    const bool held = RunLoop::main().runUntil(done, seconds);
    m_host->settle();
    return held;
  }
  void saveArtefact(const std::string& name) {
    const auto folder = std::filesystem::path(KDISK_BINARY_DIR) / "artefacts" / "app";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(m_host->savePNG((folder / name).string()));
  }
  void signedIn() {
    auto token = s_service->signIn("alice", "alice-password");
    ASSERT_TRUE(token);
    storeSignedIn("alice", *token);
    m_token = *token;
  }

  // A file in alice's root, so listings have something to show.
  bool put(const std::string& path = "notes.txt", const std::string& method = "PUT") const {
    HttpCall call;
    call.method = method;
    call.url = s_service->endpoints().diskURL() + path;
    call.caFile = s_service->endpoints().caCertificate;
    call.headers = {"Authorization: OAuth " + m_token};
    if (method == "PUT") call.body = std::string("some notes");
    const auto status = perform(call).status;
    return status >= 200 && status < 300;
  }

  // A local file another program hands over.
  std::string handedOverFile(const std::string& name, const std::string& contents = "handed over") {
    m_files.write(name, contents);
    return m_files.file(name);
  }
  std::string fetch(const std::string& path) const {
    HttpCall call;
    call.url = s_service->endpoints().diskURL() + path;
    call.caFile = s_service->endpoints().caCertificate;
    call.headers = {"Authorization: OAuth " + m_token};
    const auto answer = perform(call);
    return answer.status == 200 ? answer.body : "(status " + std::to_string(answer.status) + ")";
  }
  KMDirectorySelectionViewController* topPicker() const {
    auto* holder = dynamic_cast<UINavigationController*>(presented());
    return holder ? dynamic_cast<KMDirectorySelectionViewController*>(holder->topViewController()) : nullptr;
  }

  static inline ServiceProcess* s_service = nullptr;
  VirtualClock m_clock;
  IsolatedHome m_home;
  TemporaryDirectory m_files;
  HeadlessSession<KalumoDiskAppDelegate> m_app;
  std::shared_ptr<KMWebDAVStorage>& m_storage = m_app.storage;
  std::shared_ptr<KMWebDAVFileManager>& m_manager = m_app.manager;
  std::unique_ptr<KMHeadlessHost>& m_host = m_app.host;
  std::shared_ptr<KalumoDiskAppDelegate>& m_delegate = m_app.delegate;
  std::string m_token;
  int m_wizardsMade = 0;
};

TEST_F(KalumoDiskAppDelegateTest, FirstLaunchSignsInThroughTheFormShowsTheWizardOnceAndNeverAgain) {
  NotificationRecorder recorder({kKMXConnectionDidAuthenticateWithToken});
  ASSERT_TRUE(launch());
  EXPECT_EQ(KMSettings::mainSettings().launchCount() >= 1, true);
  // Without animation: the login screen covers the window at once.
  auto* login = loginScreen();
  ASSERT_NE(login, nullptr);
  // A file handed over while nobody is signed in is dropped.
  EXPECT_TRUE(UIApplication::sharedApplication().handleOpenURL(URL::fileURLWithPath(handedOverFile("a.txt")), ""));
  m_host->advance(0.5);
  EXPECT_EQ(loginScreen(), login);
  const CGRect atLaunch = m_host->visibleRectOfView(*login->view());
  EXPECT_GT(atLaunch.size.height, 400);
  m_host->advance(1);
  EXPECT_EQ(m_host->visibleRectOfView(*login->view()), atLaunch);
  EXPECT_TRUE(m_delegate->observesAuthentication());
  EXPECT_FALSE(m_delegate->observesAuthenticationFailure());
  EXPECT_EQ(m_delegate->mainNavigationController()->topViewController(),
            m_delegate->rootDirectoryController().get());

  // The start-up report goes out at launch, and once more when it brings the
  // installation's first identifier.
  EXPECT_TRUE(waitFor([&] { return served("GET", "/disk/startup") >= 2; }));
  EXPECT_TRUE(KMSettings::mainSettings().UUID().has_value());
  m_host->advance(0.5);
  // The root listing behind it, refused for want of a token, is no error of
  // the person's.
  EXPECT_FALSE(login->errorText().has_value());
  saveArtefact("first-launch-login.png");

  ASSERT_TRUE(m_host->tapView(login->loginTextField()));
  m_host->typeText("alice");
  ASSERT_TRUE(m_host->tapView(login->passwordTextField()));
  m_host->typeText("alice-password");
  ASSERT_TRUE(m_host->tapView(login->loginButton()));
  ASSERT_TRUE(recorder.waitFor(kKMXConnectionDidAuthenticateWithToken));
  m_host->advance(1);

  auto& settings = KMSettings::mainSettings();
  EXPECT_TRUE(settings.wasSuccessfullyAuthorized());
  EXPECT_EQ(settings.login(), "alice");
  EXPECT_TRUE(settings.token().has_value());
  EXPECT_EQ(m_wizardsMade, 1);
  EXPECT_NE(presented(), nullptr);
  EXPECT_EQ(loginScreen(), nullptr);
  EXPECT_TRUE(settings.hasShowedDiskWizard());
  EXPECT_FALSE(m_delegate->observesAuthentication());
  EXPECT_TRUE(m_delegate->observesAuthenticationFailure());
  // The account request follows sign-in.
  EXPECT_TRUE(waitFor([&] { return served("GET", "/?userinfo") >= 1; }));
  ASSERT_NE(m_host->findViewWithText("Skip"), nullptr);
  saveArtefact("first-run-wizard.png");
  ASSERT_TRUE(m_host->tapText("Skip"));
  m_host->advance(1);
  EXPECT_EQ(presented(), nullptr);

  // The next launch shows neither; a handed-over web address is refused.
  EXPECT_FALSE(launch({{UIApplicationLaunchOptionsURLKey, "https://example.invalid/a.pdf"}}));
  m_host->advance(1);
  EXPECT_EQ(presented(), nullptr);
  EXPECT_EQ(m_wizardsMade, 1);
  EXPECT_TRUE(launch({{UIApplicationLaunchOptionsURLKey, "file:///tmp/a.pdf"}}));
}

TEST_F(KalumoDiskAppDelegateTest, RevokedTokenSignsOutOnceAndSignOutEmptiesTheCacheButKeepsTheLogin) {
  signedIn();
  ASSERT_TRUE(put());
  ASSERT_TRUE(launch());
  EXPECT_EQ(presented(), nullptr);
  auto browser = m_delegate->rootDirectoryController();
  ASSERT_TRUE(waitFor([&] { return !browser->contents().empty(); }));
  ASSERT_FALSE(m_storage->contentsOfDirectoryAtURLIncludeHidden(root(), true).empty());
  const URL file = root().appendingPathComponent("notes.txt", false);
  ASSERT_TRUE(m_storage->saveDataForURL("cached", file));
  ASSERT_TRUE(m_storage->hasCachedFileForURL(file));

  NotificationRecorder failures({kKMXConnectionDidFailAuthenticateWithError});
  int signOuts = 0;
  auto counting = KMSettings::mainSettings().observeValueForKey("wasSuccessfullyAuthorized",
                                                                [&](const std::string&) { ++signOuts; });
  ASSERT_TRUE(s_service->faults().revokeToken(m_token));
  // Several requests fail together: the listing on the service, and two more
  // reported at the same moment.
  browser->updateData();
  ASSERT_TRUE(failures.waitFor(kKMXConnectionDidFailAuthenticateWithError, 1));
  for (int i = 0; i < 2; ++i)
    NotificationCenter::defaultCenter().post(kKMXConnectionDidFailAuthenticateWithError, nullptr,
                                             {{"error", KMError("test", 401, "revoked")}});
  m_host->advance(0.4);
  EXPECT_EQ(loginScreen(), nullptr);
  m_host->advance(0.2);
  // Held, so a second sign-out's screen cannot take its address.
  auto login = std::dynamic_pointer_cast<KMAuthViewController>(
      m_delegate->mainNavigationController()->presentedViewControllerShared());
  ASSERT_NE(login, nullptr);
  EXPECT_TRUE(login->errorText().has_value());
  m_host->advance(2);
  EXPECT_EQ(loginScreen(), login.get());
  EXPECT_EQ(signOuts, 1);
  EXPECT_FALSE(m_delegate->observesAuthenticationFailure());
  EXPECT_TRUE(m_delegate->observesAuthentication());

  auto& settings = KMSettings::mainSettings();
  EXPECT_FALSE(settings.wasSuccessfullyAuthorized());
  EXPECT_FALSE(settings.token().has_value());
  EXPECT_EQ(settings.login(), "alice");
  EXPECT_TRUE(m_storage->contentsOfDirectoryAtURLIncludeHidden(root(), true).empty());
  EXPECT_FALSE(m_storage->hasCachedFileForURL(file));
  EXPECT_EQ(m_delegate->mainNavigationController()->topViewController(), browser.get());
  saveArtefact("revoked-token-login.png");
}

TEST_F(KalumoDiskAppDelegateTest, ASignedInStartListsTheRootOnceAndComingBackListsItAgain) {
  signedIn();
  ASSERT_TRUE(put());
  auto rootListings = [] {
    std::size_t count = 0;
    for (const auto& request : s_service->faults().servedRequests())
      if (request.method == "PROPFIND" && request.target == "/disk/") ++count;
    return count;
  };
  ASSERT_TRUE(launch());
  auto browser = m_delegate->rootDirectoryController();
  ASSERT_TRUE(waitFor([&] { return !browser->contents().empty() && !browser->waitingRequest(); }));
  m_host->advance(1);
  RunLoop::main().runUntil([] { return false; }, 0.3);
  EXPECT_EQ(rootListings(), 1u);

  UIApplication::sharedApplication().enterBackground();
  UIApplication::sharedApplication().enterForeground();
  UIApplication::sharedApplication().becomeActive();
  EXPECT_TRUE(waitFor([&] { return rootListings() == 2 && !browser->waitingRequest(); }));
}

TEST_F(KalumoDiskAppDelegateTest, AccountFiguresFailureAlertsAndTheTestServerSwitch) {
  signedIn();
  ASSERT_TRUE(put());
  ASSERT_TRUE(launch());
  auto& settings = KMSettings::mainSettings();
  settings.setMaxFileSize(1000);
  settings.setQuotaAvailableBytes(300);
  settings.setQuotaUsedBytes(700);
  const auto available = settings.quotaAvailableBytes(), used = settings.quotaUsedBytes();
  const auto maxSize = settings.maxFileSize();

  auto figures = [](std::int64_t max, std::int64_t free, std::int64_t taken) {
    NotificationCenter::defaultCenter().post(kKMKMWebDAVFileManagerDidReceiveAdditionalInfo, nullptr,
                                             {{"maxFileSizeNum", max},
                                              {"quotaAvailableBytesNum", free},
                                              {"quotaUsedBytesNum", taken}});
  };
  figures(0, 0, 0);
  EXPECT_EQ(settings.maxFileSize(), maxSize);
  EXPECT_EQ(settings.quotaAvailableBytes(), available);
  EXPECT_EQ(settings.quotaUsedBytes(), used);
  figures(77, 0, 5);
  EXPECT_EQ(settings.maxFileSize(), 77);
  EXPECT_EQ(settings.quotaAvailableBytes(), 0);
  EXPECT_EQ(settings.quotaUsedBytes(), 5);

  NotificationCenter::defaultCenter().post(kKMKMWebDAVFileManagerDidFailWithRemoveRequest, nullptr,
                                           {{"URL", root().appendingPathComponent("notes.txt", false).absoluteString()}});
  m_host->advance(0.5);
  EXPECT_NE(m_host->findViewWithText("Could not delete “notes.txt”"), nullptr);
  saveArtefact("remove-failed-alert.png");
  ASSERT_TRUE(m_host->tapText("OK"));
  m_host->advance(0.5);

  auto browser = m_delegate->rootDirectoryController();
  ASSERT_TRUE(waitFor([&] { return !browser->contents().empty(); }));
  const auto listings = served("PROPFIND", "/disk/");
  settings.setTestWebDavServer(true);
  EXPECT_TRUE(m_manager->testWebDavServer());
  EXPECT_TRUE(m_storage->contentsOfDirectoryAtURLIncludeHidden(root(), true).empty());
  EXPECT_EQ(browser->URL().absoluteString(), m_manager->rootURL().absoluteString());
  EXPECT_TRUE(waitFor([&] { return served("PROPFIND", "/disk/") > listings && !browser->contents().empty(); }));
}

TEST_F(KalumoDiskAppDelegateTest, KeysGoBackSearchRefreshAndAskBeforeDeleting) {
  signedIn();
  ASSERT_TRUE(put());
  ASSERT_TRUE(put("Folder/", "MKCOL"));
  ASSERT_TRUE(launch());
  auto root = m_delegate->rootDirectoryController();
  ASSERT_TRUE(waitFor([&] { return root->contents().size() == 2 && !root->waitingRequest(); }));
  m_host->advance(0.5);
  auto& navigation = *m_delegate->mainNavigationController();
  EXPECT_FALSE(m_delegate->handleKeyCommand(KMKeyCommand::Back)) << "nothing to leave at the root";
  EXPECT_FALSE(m_delegate->handleKeyCommand(KMKeyCommand::Delete)) << "nothing picked";

  const auto listings = served("PROPFIND", "/disk/");
  EXPECT_TRUE(m_delegate->handleKeyCommand(KMKeyCommand::Refresh));
  EXPECT_TRUE(waitFor([&] { return served("PROPFIND", "/disk/") > listings; }));

  ASSERT_TRUE(m_delegate->handleKeyCommand(KMKeyCommand::Find));
  m_host->advance(0.5);
  EXPECT_TRUE(root->searchDisplay()->isActive());
  m_host->typeText("not");
  m_host->advance(0.5);
  // Escape ends the search before it leaves anything.
  EXPECT_TRUE(m_delegate->handleKeyCommand(KMKeyCommand::Back));
  m_host->advance(0.5);
  EXPECT_FALSE(root->searchDisplay()->isActive());

  auto cell = std::dynamic_pointer_cast<KMGroupEditCell>(root->tableView()->cellForRowAtIndexPath(
      NSIndexPath::indexPathForRowInSection(1, 0)));
  ASSERT_TRUE(cell);
  ASSERT_TRUE(m_host->tapView(cell->selectionButton()));
  m_host->advance(0.5);
  ASSERT_TRUE(root->isSelecting());
  EXPECT_TRUE(m_delegate->handleKeyCommand(KMKeyCommand::Delete));
  m_host->advance(0.5);
  bool asked = false;
  for (const auto& panel : KMAlertPanel::visiblePanels()) asked |= dynamic_cast<UIActionSheet*>(panel.get()) != nullptr;
  EXPECT_TRUE(asked) << "Delete asks first";
  EXPECT_EQ(m_storage->contentsOfDirectoryAtURLIncludeHidden(KalumoDiskAppDelegateTest::root(), true).size(), 2u);
  saveArtefact("delete-key-confirmation.png");
  // Escape answers the question with its cancel button: nothing is deleted.
  EXPECT_TRUE(m_delegate->handleKeyCommand(KMKeyCommand::Back));
  m_host->advance(0.5);
  EXPECT_TRUE(KMAlertPanel::visiblePanels().empty());
  EXPECT_EQ(served("DELETE", "/disk/"), 0u);
  root->clearMultiselectionAnimated(KMAnimated::No);
  m_host->advance(0.5);

  ASSERT_TRUE(m_host->tapText("Folder"));
  m_host->advance(1);
  ASSERT_EQ(navigation.viewControllers().size(), 2u);
  EXPECT_TRUE(m_delegate->handleKeyCommand(KMKeyCommand::Back));
  m_host->advance(1);
  EXPECT_EQ(navigation.viewControllers().size(), 1u);
}

TEST_F(KalumoDiskAppDelegateTest, HandedOverFilesReplaceTheModalScreenAndArriveInTheChosenFolderUnderTheirNames) {
  signedIn();
  for (const char* folder : {"Alpha/", "Alpha/Beta/", "Alpha/Beta/Gamma/"}) ASSERT_TRUE(put(folder, "MKCOL"));
  ASSERT_TRUE(launch());
  auto browser = m_delegate->rootDirectoryController();
  ASSERT_TRUE(waitFor([&] { return !browser->contents().empty(); }));
  auto& application = UIApplication::sharedApplication();
  auto& navigation = *m_delegate->mainNavigationController();

  // Cancelled: nothing goes to the service.
  EXPECT_TRUE(application.handleOpenURL(URL::fileURLWithPath(handedOverFile("dropped.txt")), ""));
  m_host->advance(1);
  ASSERT_NE(topPicker(), nullptr);
  ASSERT_TRUE(m_host->tapText("Cancel"));
  m_host->advance(1);
  EXPECT_EQ(presented(), nullptr);

  // Another modal screen is up; two files come in one hand-over, and one
  // that is no local file.
  navigation.presentViewControllerAnimatedCompletion(KalumoDiskAppDelegate::makeFirstRunWizard(*m_delegate),
                                                     KMAnimated::No);
  auto* other = presented();
  const std::string report = handedOverFile("Отчёт за май.txt", "май");
  const std::string photo = handedOverFile("photo.jpg", "not really a picture");
  EXPECT_TRUE(application.handleOpenURL(URL::fileURLWithPath(report), ""));
  EXPECT_TRUE(application.handleOpenURL(URL::fileURLWithPath(photo), ""));
  EXPECT_TRUE(application.handleOpenURL(*URL::fromString("https://example.invalid/x.txt"), ""));
  EXPECT_EQ(presented(), other) << "not before the next turn";
  m_host->advance(1);
  auto* picker = topPicker();
  ASSERT_NE(picker, nullptr);
  EXPECT_EQ(picker->fileURL()->path(), report);
  ASSERT_TRUE(waitFor([&] { return !picker->contents().empty(); }));

  for (const char* folder : {"Alpha", "Beta", "Gamma"}) {
    auto* above = topPicker();
    ASSERT_TRUE(m_host->tapText(folder)) << folder;
    m_host->advance(1);
    ASSERT_NE(topPicker(), above) << folder;
    const bool last = std::string(folder) == "Gamma";
    ASSERT_TRUE(waitFor([&] {
      return last ? served("PROPFIND", "/disk/Alpha/Beta/Gamma/") > 0 && !topPicker()->waitingRequest()
                  : !topPicker()->contents().empty();
    }));
  }
  saveArtefact("open-in-third-level.png");
  ASSERT_TRUE(m_host->tapText("Done"));
  m_host->advance(1);
  EXPECT_EQ(presented(), nullptr);

  const URL gamma = root().appendingPathComponent("Alpha", true).appendingPathComponent("Beta", true)
                        .appendingPathComponent("Gamma", true);
  ASSERT_TRUE(waitFor([&] { return served("PUT", "/disk/Alpha/Beta/Gamma/") >= 2 &&
                                !m_manager->uploadQueue()->uploadingFileURL(); }))
      << served("PUT", "/disk/") << " uploads reached the service; still queued: "
      << m_storage->uploadsInDirectoryAtURL(gamma).size();
  EXPECT_EQ(fetch("Alpha/Beta/Gamma/%D0%9E%D1%82%D1%87%D1%91%D1%82%20%D0%B7%D0%B0%20%D0%BC%D0%B0%D0%B9.txt"), "май");
  EXPECT_EQ(fetch("Alpha/Beta/Gamma/photo.jpg"), "not really a picture");
  EXPECT_EQ(served("PUT", "/disk/"), 2u) << "one answer from the picker, nothing of the cancelled file";
}

}  // namespace
}  // namespace kdisk::test
