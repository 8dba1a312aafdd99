// kdisk-signin-end-to-end: the login screen in a desktop window with the real
// web engine, standing in for the application around it: a token announced
// by the screen is stored in the settings the way the application stores it.
// Every event is one line of the --report file, for the driving script:
//   ready | page <title> | filled | handed to desktop <url> | token stored <token> | web at <url>
// With --register LOGIN:PASSWORD it fills the registration page's form by
// script in the page once that page has loaded, and submits it.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "auth/KMOAuthOperation.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "screens/auth/KMAuthViewController.h"
#include "settings/KMSettings.h"
#include "uikit/UIApplication.h"
#include "uikit/UIWebView.h"
#include "uikit/gtk/KMGtkHost.h"

using namespace kdisk;

namespace {

std::string javaScriptString(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\')
      quoted += '\\';
    quoted += c;
  }
  return quoted + "'";
}

} // namespace

int main(int argc, char** argv) {
  RunLoop::main();
  std::string reportPath, registration;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--report") == 0)
      reportPath = argv[i + 1];
    if (std::strcmp(argv[i], "--register") == 0)
      registration = argv[i + 1];
  }
  auto report = [reportPath](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (!reportPath.empty())
      std::ofstream(reportPath, std::ios::app) << line << "\n";
  };

  KMGtkHost host("Kalumo sign-in");
  // Nothing leaves for the desktop in a test; saying so is enough.
  UIApplication::sharedApplication().setOpenURLHandler([report](const URL& url) {
    report("handed to desktop " + url.absoluteString());
    return true;
  });
  auto screen = KMAuthViewController::initWithLoginErrorNotification(std::nullopt);
  host.setRootViewController(screen);
  host.setFirstFrameHandler([report] { report("ready"); });

  bool signedInOnce = false, reportedRest = false;
  ObserverToken signedIn = NotificationCenter::defaultCenter().addObserver(
      kKMXConnectionDidAuthenticateWithToken, [&](const Notification& notification) {
        if (auto login = stringForKey(notification.userInfo, "login"))
          KMSettings::mainSettings().setLogin(login);
        KMSettings::mainSettings().setToken(stringForKey(notification.userInfo, "token"));
        report("token stored " + KMSettings::mainSettings().token().value_or(""));
        signedInOnce = true;
      });

  std::string lastTitle;
  bool filled = false;
  RunLoop::main().scheduleRepeating(0.1, [&] {
    auto browser = screen->webController();
    if (!browser || !browser->webView() || browser->webView()->isLoading())
      return;
    // Where the page rests once the engine is done with the refused redirect.
    if (signedInOnce && !reportedRest) {
      reportedRest = true;
      auto url = browser->webView()->currentURL();
      report("web at " + (url ? url->absoluteString() : std::string("nothing")));
    }
    if (browser->loading())
      return;
    const std::string title = browser->webView()->pageTitle();
    if (title.empty() || title == lastTitle)
      return;
    lastTitle = title;
    report("page " + title);
    const auto colon = registration.find(':');
    if (filled || colon == std::string::npos || browser->request().path() != "/auth/register")
      return;
    filled = true;
    const std::string login = registration.substr(0, colon),
                      password = registration.substr(colon + 1);
    browser->webView()->evaluateJavaScript(
        "document.getElementById('login').value = " + javaScriptString(login) +
            ";"
            "document.getElementById('password').value = " +
            javaScriptString(password) +
            ";"
            "document.getElementById('password2').value = " +
            javaScriptString(password) +
            ";"
            "document.querySelector('form').requestSubmit(); 'submitted'",
        [report](std::optional<std::string> result) {
          report("filled " + result.value_or("nothing"));
        });
  });

  UIApplication::sharedApplication().launchWithOptions({});
  return host.run();
}
