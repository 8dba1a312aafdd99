// kalumo-disk-screens: the application's main screens drawn without a
// display. Runs the real application on the headless host against the
// service the environment names, signs in through the login form, and walks
// through login, the first-run pages, the root folder, a subfolder, the
// viewer, the upload dialog, the settings and the folder picker of a file
// handed over, writing one PNG each into the given folder and printing its
// path. Exit 0 when every screen was reached, 1 otherwise.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "app/KalumoDiskAppDelegate.h"
#include "platform/RunLoop.h"
#include "screens/auth/KMAuthViewController.h"
#include "screens/browsing/KMDirectoryViewController.h"
#include "screens/viewing/KACustomViewer.h"
#include "settings/KMSettings.h"
#include "uikit/KMHeadlessHost.h"
#include "uikit/UIApplication.h"
#include "uikit/UINavigationController.h"
#include "uikit/preview/QLPreviewController.h"

namespace {

using namespace kdisk;

struct Walk {
  std::filesystem::path folder;
  std::string account, password;
  std::unique_ptr<KMHeadlessHost> host;
  std::shared_ptr<KalumoDiskAppDelegate> delegate;
  int shots = 0;
  bool ok = true;

  UINavigationController& navigation() const { return *delegate->mainNavigationController(); }
  UIViewController* presented() const { return navigation().presentedViewController(); }

  bool waitFor(const char* what, const std::function<bool()>& done, double seconds = 30) {
    const bool reached = RunLoop::main().runUntil(done, seconds);
    host->advance(0.6);  // let transitions end before drawing
    if (!reached) {
      std::cerr << "kalumo-disk-screens: gave up waiting for " << what << "\n";
      ok = false;
    }
    return reached;
  }
  void shoot(const std::string& name) {
    const auto path = folder / (std::to_string(++shots) + "-" + name + ".png");
    if (host->savePNG(path.string()))
      std::cout << path.string() << "\n";
    else
      ok = false;
  }
  bool tap(const std::string& text) {
    if (host->tapText(text)) return true;
    std::cerr << "kalumo-disk-screens: \"" << text << "\" is not on screen\n";
    ok = false;
    return false;
  }
  KMDirectoryViewController* topFolder() const {
    return dynamic_cast<KMDirectoryViewController*>(navigation().topViewController());
  }
  bool folderShown(const std::string& name) const {
    auto* folder = topFolder();
    return folder && !folder->contents().empty() && !folder->waitingRequest() &&
           (name.empty() || folder->URL().lastPathComponent() == name);
  }

  void run() {
    host = std::make_unique<KMHeadlessHost>(2.0);
    KalumoDiskAppDelegate::Dependencies dependencies;
    dependencies.makeWizard = &KalumoDiskAppDelegate::makeFirstRunWizard;
    delegate = std::make_shared<KalumoDiskAppDelegate>(host->sharedWindow(), std::move(dependencies));
    auto& application = UIApplication::sharedApplication();
    application.setDelegate(delegate);
    application.launchWithOptions({});

    auto* login = dynamic_cast<KMAuthViewController*>(presented());
    if (!login) {
      std::cerr << "kalumo-disk-screens: start from a home where nobody is signed in\n";
      ok = false;
      return;
    }
    host->advance(0.6);
    if (!host->tapView(login->loginTextField())) return;
    if (login->loginTextField().text().empty()) host->typeText(account);
    host->tapView(login->passwordTextField());
    host->typeText(password);
    shoot("login");
    host->tapView(login->loginButton());
    if (!waitFor("sign-in", [&] { return KMSettings::mainSettings().wasSuccessfullyAuthorized(); })) return;

    if (presented()) {
      shoot("first-run");
      tap("Skip");
    }
    if (!waitFor("the root folder", [&] { return !presented() && folderShown(""); })) return;
    shoot("root-folder");

    if (!tap("Documents") || !waitFor("Documents", [&] { return folderShown("Documents"); })) return;
    shoot("folder");

    if (!tap("Guide.pdf")) return;
    auto viewerShown = [&] {
      auto* viewer = dynamic_cast<QLPreviewController*>(navigation().topViewController());
      return viewer && viewer->isShowingContent();
    };
    if (!waitFor("the viewer", viewerShown)) return;
    shoot("viewer-pdf");
    navigation().popToRootViewControllerAnimated(KMAnimated::No);
    host->advance(0.6);

    delegate->rootDirectoryController()->plusButtonTouched();
    if (waitFor("the upload dialog", [&] { return presented() != nullptr; })) shoot("upload-dialog");
    navigation().dismissViewControllerAnimatedCompletion(KMAnimated::No);
    host->advance(0.6);

    delegate->rootDirectoryController()->settingsButtonTouched();
    if (waitFor("the settings", [&] { return presented() != nullptr; }, 5)) {
      host->advance(1.5);  // the account figures arrive
      shoot("settings");
    }
    navigation().dismissViewControllerAnimatedCompletion(KMAnimated::No);
    host->advance(0.6);

    // A file another program hands over asks for its folder.
    const auto file = folder / "Handed over.txt";
    std::ofstream(file) << "A file handed over by another program.\n";
    application.handleOpenURL(URL::fileURLWithPath(file.string()), "");
    if (waitFor("the folder picker", [&] { return presented() != nullptr && folderShownIn(presented()); }))
      shoot("open-in-picker");
    std::filesystem::remove(file);
  }
  static bool folderShownIn(UIViewController* controller) {
    auto* holder = dynamic_cast<UINavigationController*>(controller);
    auto* folder = holder ? dynamic_cast<KMDirectoryViewController*>(holder->topViewController()) : nullptr;
    return folder && !folder->contents().empty() && !folder->waitingRequest();
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: kalumo-disk-screens FOLDER [LOGIN [PASSWORD]]\n"
                 "  draws the main screens into FOLDER against the service the environment names\n"
                 "  (KDISK_SERVICE_URL, KDISK_EXTRA_CA_FILE, KDISK_HOME); LOGIN and PASSWORD default to demo\n";
    return 2;
  }
  Walk walk;
  walk.folder = argv[1];
  walk.account = argc > 2 ? argv[2] : "demo";
  walk.password = argc > 3 ? argv[3] : "demo";
  std::error_code error;
  std::filesystem::create_directories(walk.folder, error);
  walk.run();
  const bool ok = walk.ok;
  UIApplication::sharedApplication().setDelegate({});
  walk.delegate.reset();
  walk.host.reset();
  return ok ? 0 : 1;
}
