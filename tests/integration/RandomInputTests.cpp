// The whole application on the headless host, signed in to kdisk-service as
// alice, driven by random taps, drags, typing, keys, trips to the background
// and clock moves while the service slows down, fails, cuts connections and
// once refuses the token. At the end: every upload queued is on the service
// once or failed with its reason, and a scripted sign-in and browse still
// work. KDISK_RANDOM_SEED replays a run, KDISK_RANDOM_EVENTS sets its length.
#include <cxxabi.h>
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "HeadlessSession.h"
#include "RandomInput.h"
#include "UploadLedger.h"
#include "app/KalumoDiskAppDelegate.h"
#include "graphics/UIGraphicsImageContext.h"
#include "graphics/UIImageRepresentation.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/NotificationCenter.h"
#include "platform/PhotoLibrary.h"
#include "platform/RunLoop.h"
#include "screens/auth/KMAuthViewController.h"
#include "screens/browsing/KMDirectoryViewController.h"
#include "settings/KMSettings.h"
#include "storage/KMWebDAVStorage.h"
#include "support/DesktopRegistry.h"
#include "support/HttpClient.h"
#include "support/ServiceProcess.h"
#include "support/TemporaryDirectory.h"
#include "uikit/CGContext.h"
#include "uikit/KMAlertPanel.h"
#include "uikit/KMHeadlessHost.h"
#include "uikit/KMHeadlessImagePicker.h"
#include "uikit/UIApplication.h"
#include "uikit/UIButton.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIResponder.h"
#include "uikit/UITextField.h"
#include "uikit/UIWindow.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A picture with bytes of its own, so every file of the library can be told
// apart on the service.
std::string pictureBytes(int seed) {
  UIGraphicsImageContext context(CGSizeMake(48, 32), KMImageContextOpacity::Opaque, 1);
  CGContextFillRect(context.context(), CGRectMake(0, 0, 48, 32),
                    UIColor::colorWithRGB255(30 + seed * 17 % 200, 60 + seed * 29 % 180, 220 - seed * 11 % 150));
  CGContextFillEllipseInRect(context.context(), CGRectMake(seed % 30, 4, 16, 16), UIColor::whiteColor());
  auto bytes = UIImagePNGRepresentation(context.image().get());
  return std::string(bytes->begin(), bytes->end());
}

class RandomInput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // No desktop application of this machine may be started by a random tap.
    s_desktop = new DesktopRegistry;
    s_service = new ServiceProcess;
    ServiceOptions options;
    options.users = {{"alice", "alice-password"}};
    ASSERT_TRUE(s_service->start(options)) << s_service->lastError();
    pointApplicationAt(*s_service);
    // Thousands of failed requests: only what is worse than a failure.
    ::setenv("KDISK_LOG_LEVEL", "error", 0);
  }
  static void TearDownTestSuite() {
    delete s_service;
    s_service = nullptr;
    delete s_desktop;
    s_desktop = nullptr;
  }

  void SetUp() override {
    auto token = s_service->signIn("alice", "alice-password");
    ASSERT_TRUE(token);
    m_token = *token;
    seedAccount();
    seedLibrary();
    storeSignedIn("alice", m_token);
    m_app.open(root());
  }
  void TearDown() override {
    s_service->faults().clear();
    m_app.close();
  }

  static URL root() { return *URL::fromString(s_service->endpoints().diskURL()); }
  static fs::path aliceRoot() { return s_service->dataFolder() / "disks" / "1"; }

  bool dav(const std::string& method, const std::string& path, const std::string& body = {}) const {
    HttpCall call;
    call.method = method;
    call.url = s_service->endpoints().diskURL() + path;
    call.caFile = s_service->endpoints().caCertificate;
    call.headers = {"Authorization: OAuth " + m_token};
    if (method == "PUT") call.body = body;
    const auto status = perform(call).status;
    return status >= 200 && status < 300;
  }

  // A root of folders and files to wander through, some with odd names.
  void seedAccount() {
    for (const char* folder : {"Documents/", "Photos/", "Empty/", "Documents/Old/", "%D0%90%D1%80%D1%85%D0%B8%D0%B2/"})
      ASSERT_TRUE(dav("MKCOL", folder));
    for (int i = 0; i < 14; ++i)
      ASSERT_TRUE(dav("PUT", "note%20" + std::to_string(i) + ".txt", "note " + std::to_string(i) + "\n"));
    ASSERT_TRUE(dav("PUT", "Documents/report.txt", "a report\n"));
    ASSERT_TRUE(dav("PUT", "Documents/Old/draft.txt", std::string(5000, 'd')));
    ASSERT_TRUE(dav("PUT", "Photos/sea.png", pictureBytes(1000)));
    ASSERT_TRUE(dav("PUT", "%D7%A9%D7%9C%D7%95%D7%9D%20%F0%9F%91%8D.txt", "rtl\n"));
  }

  // Two albums the upload dialog's picker offers, and the source of every
  // picture by its bytes.
  void seedLibrary() {
    const fs::path library = fs::path(m_files.path()) / "Pictures";
    for (int i = 0; i < 12; ++i) {
      const fs::path file = library / (i < 8 ? "Holidays" : "Family") / ("IMG_" + std::to_string(100 + i) + ".png");
      fs::create_directories(file.parent_path());
      const auto bytes = pictureBytes(i);
      std::ofstream(file, std::ios::binary) << bytes;
      m_sourceBytes[PhotoLibrary::assetURLForFilePath(file.string()).absoluteString()] = bytes;
      m_sourceBytes[URL::fileURLWithPath(file.string()).absoluteString()] = bytes;
      m_libraryFiles.push_back(file.string());
    }
    m_libraryDirs.emplace("KDISK_PHOTO_LIBRARY_DIRS", library.string());
  }

  void launch() {
    ASSERT_TRUE(m_app.launch());
    m_host->settle();
  }

  // Faults for the whole run, each drawing from a seed of the run's.
  void switchFaultsOn(std::uint64_t seed) {
    auto faults = s_service->faults();
    const std::vector<ServiceFaults::RandomFault> rules = {
        {.action = "latency", .probability = 0.2, .delay = 20ms, .maxDelay = 300ms},
        {.action = "status", .path = "/disk/*", .probability = 0.04, .status = 503},
        {.action = "status", .method = "PUT", .path = "/disk/*", .probability = 0.05, .status = 507},
        {.action = "status", .path = "/?userinfo*", .probability = 0.2, .status = 500},
        {.action = "cut-response", .method = "PROPFIND", .path = "/disk/*", .probability = 0.05, .bytes = 400},
        {.action = "cut-response", .method = "GET", .path = "/disk/*", .probability = 0.05, .bytes = 64},
        {.action = "cut-request", .method = "PUT", .path = "/disk/*", .probability = 0.08, .bytes = 100},
    };
    for (std::size_t i = 0; i < rules.size(); ++i) {
      auto rule = rules[i];
      rule.seed = seed * 1000 + i;
      ASSERT_TRUE(faults.addRandomFault(rule));
    }
  }

  // ---- The run

  UIViewController* presented() const { return m_delegate->mainNavigationController()->presentedViewController(); }
  KMAuthViewController* loginScreen() const { return dynamic_cast<KMAuthViewController*>(presented()); }

  void closePanels() {
    for (int i = 0; i < 10 && !KMAlertPanel::visiblePanels().empty(); ++i) {
      m_delegate->handleKeyCommand(KMKeyCommand::Back);
      m_host->advance(0.5);
    }
  }

  // Lets answers of the service land, moving the clock meanwhile.
  bool waitFor(const std::function<bool()>& done, double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      RunLoop::main().runUntil(done, 0.05);
      m_host->advance(0.1);
    }
    return true;
  }

  // Whether a tap on the middle of `view` would reach it (nothing covers it).
  bool reachesTheFinger(UIView& view) {
    const CGRect visible = m_host->visibleRectOfView(view);
    if (CGRectIsEmpty(visible)) return false;
    UIView* hit = m_host->window().hitTest(CGRectGetCenter(visible));
    return hit && (hit->isDescendantOfView(&view) || view.isDescendantOfView(hit));
  }

  // Signs in through the login form as a person would; a few tries, as the
  // service may fail the first.
  bool signInThroughTheForm() {
    for (int attempt = 0; attempt < 5; ++attempt) {
      closePanels();
      auto* login = loginScreen();
      if (!login) return true;
      if (login->presentedViewController()) {
        login->dismissViewControllerAnimatedCompletion(KMAnimated::No);
        m_host->advance(0.5);
      }
      // A sign-in the random taps started may still be under way.
      waitFor([&] { return !loginScreen() || reachesTheFinger(login->loginTextField()); }, 20);
      if (!loginScreen()) return true;
      login->loginTextField().setText("");
      login->passwordTextField().setText("");
      if (!m_host->tapView(login->loginTextField())) continue;
      m_host->typeText("alice");
      if (!m_host->tapView(login->passwordTextField())) continue;
      m_host->typeText("alice-password");
      m_host->pressReturn();
      if (waitFor([&] { return loginScreen() == nullptr; }, 15)) return true;
    }
    if (!loginScreen()) return true;
    std::string shown;
    for (const auto& text : m_host->visibleTexts()) shown += "[" + text + "] ";
    ADD_FAILURE() << "the login form did not sign in; on screen: " << shown;
    saveArtefact("sign-in-failed.png");
    return false;
  }

  void saveArtefact(const std::string& name) {
    const auto folder = fs::path(KDISK_BINARY_DIR) / "artefacts" / "random";
    fs::create_directories(folder);
    EXPECT_TRUE(m_host->savePNG((folder / name).string()));
  }

  void tapSomething() {
    auto reachable = reachableViews(*m_host);
    if (reachable.empty() || m_random.chance(0.15)) {
      m_host->tapPoint(m_random.pointIn(m_host->window().bounds()));
      return;
    }
    // The front-most ones more often: what a modal screen or a panel shows.
    const std::size_t pick = m_random.chance(0.4) ? reachable.size() - 1 - m_random.below(std::min<std::size_t>(4, reachable.size()))
                                                  : m_random.below(reachable.size());
    const CGRect area = CGRectInset(reachable[pick].visible, 2, 2);
    m_host->tapPoint(CGRectIsEmpty(area) ? CGRectGetCenter(reachable[pick].visible) : m_random.pointIn(area));
  }

  void dragSomewhere() {
    const CGRect bounds = m_host->window().bounds();
    const CGPoint start = m_random.pointIn(bounds);
    CGPoint end;
    if (m_random.chance(0.6))  // scrolling, pulling to refresh
      end = {start.x + m_random.between(-10, 10), m_random.between(-40, bounds.size.height + 40)};
    else  // swipes across a row
      end = {m_random.between(-20, bounds.size.width + 20), start.y + m_random.between(-15, 15)};
    const auto release = m_random.chance(0.1) ? KMDragRelease::Hold : KMDragRelease::Lift;
    m_host->drag({start, end}, m_random.between(0.03, 0.8), 1 + int(m_random.below(8)), release);
    if (release == KMDragRelease::Hold) {
      m_host->advance(m_random.between(0.1, 2));
      m_host->touchUp(end);
    }
  }

  void typeSomething() {
    if (!dynamic_cast<UITextField*>(UIResponder::currentFirstResponder())) {
      std::vector<UIView*> fields;
      for (const auto& reachable : reachableViews(*m_host))
        if (dynamic_cast<UITextField*>(reachable.view)) fields.push_back(reachable.view);
      if (!fields.empty()) m_host->tapView(*fields[m_random.below(fields.size())]);
    }
    const double kind = m_random.unit();
    if (kind < 0.65)
      m_host->typeText(oddText(m_random));
    else if (kind < 0.85)
      for (int i = int(m_random.below(12)); i >= 0; --i) m_host->pressBackspace();
    else
      m_host->pressReturn();
  }

  void pressKey() {
    static constexpr KMKeyCommand kKeys[] = {KMKeyCommand::Back, KMKeyCommand::Back, KMKeyCommand::Back,
                                            KMKeyCommand::Find, KMKeyCommand::Refresh, KMKeyCommand::Delete};
    m_delegate->handleKeyCommand(kKeys[m_random.below(std::size(kKeys))]);
    m_host->settle();
  }

  // The desktop's file chooser, when the upload dialog opened it.
  void answerPlatformPicker() {
    if (m_platform.presentations() == m_pickersAnswered || !m_platform.presentedPicker()) return;
    m_pickersAnswered = m_platform.presentations();
    if (m_random.chance(0.7))
      m_platform.pickFile(m_libraryFiles[m_random.below(m_libraryFiles.size())]);
    else
      m_platform.cancel();
    m_host->settle();
  }

  void oneEvent(int index) {
    const double kind = m_random.unit();
    if (kind < 0.46) {
      tapSomething();
    } else if (kind < 0.58) {
      dragSomewhere();
    } else if (kind < 0.70) {
      typeSomething();
    } else if (kind < 0.78) {
      pressKey();
    } else if (kind < 0.80) {
      m_host->sendApplicationToBackground();
      m_host->advance(m_random.between(0.1, 40));
      m_host->bringApplicationToForeground();
    } else if (kind < 0.93) {
      m_host->advance(m_random.chance(0.05) ? m_random.between(20, 120) : m_random.between(0.02, 2));
    } else if (kind < 0.99) {
      // A moment of real time for the service's answers.
      RunLoop::main().runUntil([] { return false; }, m_random.between(0.005, 0.1));
      m_host->settle();
    } else {
      ASSERT_TRUE(m_host->snapshot()) << "event " << index;
    }
  }

  // The screen in front, by its class, to see how deep a run went.
  std::string screenInFront() const {
    UIViewController* front = m_delegate->mainNavigationController().get();
    while (front) {
      if (auto* presented = front->presentedViewController()) {
        front = presented;
      } else if (auto* navigation = dynamic_cast<UINavigationController*>(front); navigation && navigation->topViewController()) {
        front = navigation->topViewController();
        if (!front->presentedViewController()) break;
      } else {
        break;
      }
    }
    if (!front) return "none";
    int status = 0;
    char* name = abi::__cxa_demangle(typeid(*front).name(), nullptr, nullptr, &status);
    std::string text = status == 0 && name ? name : typeid(*front).name();
    std::free(name);
    if (auto colons = text.rfind("::"); colons != std::string::npos) text = text.substr(colons + 2);
    if (!KMAlertPanel::visiblePanels().empty()) text += " + panel";
    return text;
  }

  void run(std::uint64_t seed, int events) {
    m_ledger = std::make_unique<UploadLedger>(m_storage, m_sourceBytes);
    switchFaultsOn(seed);
    // Once, somewhere in the middle: the token refused.
    const int refusal = events / 4 + int(m_random.below(std::size_t(events / 2 + 1)));
    int onLoginScreen = 0;
    for (int index = 0; index < events; ++index) {
      if (index == refusal) {
        // On a listing: the start-up report shares the /disk/ prefix and
        // signs nobody out.
        ASSERT_TRUE(s_service->faults().failNext("PROPFIND", "/disk/*", 401, 1));
      }
      oneEvent(index);
      if (HasFatalFailure()) return;
      ++m_screens[screenInFront()];
      answerPlatformPicker();
      m_ledger->readQueue();
      if (index % 25 == 0) takeServiceLog();
      // Some random input on the login form, then in again to go on.
      onLoginScreen = loginScreen() ? onLoginScreen + 1 : 0;
      if (onLoginScreen > 15) {
        ASSERT_TRUE(signInThroughTheForm()) << "sign-in after event " << index;
        onLoginScreen = 0;
      }
    }
  }

  void takeServiceLog() {
    if (auto taken = s_service->faults().takeServedRequests())
      m_ledger->addServed(*taken);
  }

  // ---- The end

  // Back to the root folder by the keys, signed in, nothing over it.
  void scriptedReturnToTheRoot() {
    if (auto* first = UIResponder::currentFirstResponder()) first->resignFirstResponder();
    for (int i = 0; i < 30; ++i) {
      closePanels();
      if (loginScreen()) {
        ASSERT_TRUE(signInThroughTheForm());
        continue;
      }
      if (!m_delegate->handleKeyCommand(KMKeyCommand::Back)) break;
      m_host->advance(1);
    }
    ASSERT_EQ(presented(), nullptr);
    ASSERT_EQ(m_delegate->mainNavigationController()->viewControllers().size(), 1u);
  }

  static std::set<std::string> namesOnService(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
  }
  static std::set<std::string> namesShown(const KMDirectoryViewController& browser) {
    std::set<std::string> names;
    for (const auto& item : browser.contents()) names.insert(URL::fromString(item->URLString())->lastPathComponent());
    return names;
  }

  // Refreshes the folder on top and waits until it shows what the service holds.
  bool showsTheService(const fs::path& folder) {
    m_delegate->handleKeyCommand(KMKeyCommand::Refresh);
    auto* browser = dynamic_cast<KMDirectoryViewController*>(m_delegate->mainNavigationController()->topViewController());
    if (!browser) return false;
    const bool shows = waitFor(
        [&] {
          return !browser->waitingRequest() && !browser->waitingFetch() &&
                 browser->loadingState() != KMLoadingStateLoading && namesShown(*browser) == namesOnService(folder);
        },
        30);
    if (!shows) {
      std::string story;
      for (const auto& name : namesShown(*browser)) story += " [" + name + "]";
      story += " shown; on the service:";
      for (const auto& name : namesOnService(folder)) story += " [" + name + "]";
      ADD_FAILURE() << "waiting request " << browser->waitingRequest() << ", waiting fetch " << browser->waitingFetch()
                    << ", loading " << (browser->loadingState() == KMLoadingStateLoading) << ";" << story;
      saveArtefact("not-showing-the-service.png");
    }
    return shows;
  }

  static inline DesktopRegistry* s_desktop = nullptr;
  static inline ServiceProcess* s_service = nullptr;
  VirtualClock m_clock;
  IsolatedHome m_home;
  TemporaryDirectory m_files;
  std::optional<ScopedEnvironmentVariable> m_libraryDirs;
  KMHeadlessImagePicker m_platform{{UIImagePickerControllerSourceType::PhotoLibrary,
                                    UIImagePickerControllerSourceType::Camera}};
  int m_pickersAnswered = 0;
  RandomSource m_random{0};
  std::string m_token;
  HeadlessSession<KalumoDiskAppDelegate> m_app;
  std::shared_ptr<KMWebDAVStorage>& m_storage = m_app.storage;
  std::shared_ptr<KMWebDAVFileManager>& m_manager = m_app.manager;
  std::unique_ptr<KMHeadlessHost>& m_host = m_app.host;
  std::shared_ptr<KalumoDiskAppDelegate>& m_delegate = m_app.delegate;
  std::map<std::string, std::string> m_sourceBytes;
  std::vector<std::string> m_libraryFiles;
  std::unique_ptr<UploadLedger> m_ledger;
  std::map<std::string, int> m_screens;
};

TEST_F(RandomInput, TheApplicationSurvivesRandomInputAgainstAFaultyServiceAndLosesNoUpload) {
  const auto seed = randomRunSeed();
  const int events = randomRunEvents(2000);
  std::printf("random input: KDISK_RANDOM_SEED=%llu KDISK_RANDOM_EVENTS=%d\n",
              static_cast<unsigned long long>(seed), events);
  std::fflush(stdout);
  RecordProperty("seed", std::to_string(seed));
  m_random = RandomSource(seed);
  launch();
  ASSERT_FALSE(HasFatalFailure());
  run(seed, events);
  ASSERT_FALSE(HasFatalFailure()) << "KDISK_RANDOM_SEED=" << seed;

  // Calm again: the application must come back to a working state.
  ASSERT_TRUE(s_service->faults().clear());
  scriptedReturnToTheRoot();
  ASSERT_FALSE(HasFatalFailure()) << "KDISK_RANDOM_SEED=" << seed;
  EXPECT_TRUE(waitFor(
      [&] {
        for (const auto& row : m_storage->uploadsInDirectoryAtURL(std::nullopt))
          if (!row->failed()) return false;
        return !m_manager->uploadingFileURL();
      },
      60))
      << "the upload queue never settled";
  m_ledger->readQueue();
  EXPECT_TRUE(showsTheService(aliceRoot())) << "the root does not show what the service holds";
  // Into the first folder by a tap.
  auto root = m_delegate->rootDirectoryController();
  for (const auto& item : root->contents()) {
    if (!item->isDirectory()) continue;
    const auto name = URL::fromString(item->URLString())->lastPathComponent();
    if (!m_host->tapText(item->displayName())) break;
    m_host->advance(1);
    EXPECT_EQ(m_delegate->mainNavigationController()->viewControllers().size(), 2u) << name;
    EXPECT_TRUE(showsTheService(aliceRoot() / name)) << name;
    break;
  }
  saveArtefact("after-the-run.png");

  takeServiceLog();
  m_ledger->check(aliceRoot());
  std::size_t done = 0;
  for (const auto& queued : m_ledger->uploads()) done += queued.announcedDone > 0;
  std::printf("random input: %d events, %zu uploads queued (%zu sent), %d sign-outs, %zu requests served\n", events,
              m_ledger->uploads().size(), done, m_ledger->signOuts(), m_ledger->servedCount());
  for (const auto& [screen, count] : m_screens) std::printf("random input: %6d events on %s\n", count, screen.c_str());
  if (HasFailure()) std::printf("random input: replay with KDISK_RANDOM_SEED=%llu\n", static_cast<unsigned long long>(seed));
}

}  // namespace
}  // namespace kdisk::test
