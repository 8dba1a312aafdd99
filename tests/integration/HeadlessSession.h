#pragma once
// The application's objects for one test on the headless host: a store and a
// manager of the test's own over the service's disk, the host the screens are
// drawn on, and what the test shows there (a navigation stack, or the
// application's delegate). close() takes them down in the one order that leaves
// nothing of one test running into the next.
#include <cstdlib>
#include <memory>
#include <string>

#include "manager/KMWebDAVFileManager.h"
#include "platform/RunLoop.h"
#include "settings/KMSettings.h"
#include "storage/KMWebDAVStorage.h"
#include "support/ServiceProcess.h"
#include "uikit/KMHeadlessHost.h"
#include "uikit/UIApplication.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIResponder.h"
#include "webdav/KMHTTPTransfer.h"

namespace kdisk::test {

// `Delegate`: the application delegate type a test launches, when it does.
template <class Delegate = void>
struct HeadlessSession {
  // A fresh application state and a reachable manager over `root`.
  void open(const URL& root) {
    UIApplication::sharedApplication().resetForTesting();
    storage = std::make_shared<KMWebDAVStorage>();
    manager = KMWebDAVFileManager::create(storage, {root, false});
    manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable);
  }

  // The application as the program starts it, on a fresh host, over this
  // session's manager.
  template <class D = Delegate>
  bool launch(typename D::Dependencies dependencies = {}, const Dictionary& options = {}) {
    delegate.reset();
    host = std::make_unique<KMHeadlessHost>(1.0);
    dependencies.manager = manager;
    delegate = std::make_shared<D>(host->sharedWindow(), std::move(dependencies));
    UIApplication::sharedApplication().setDelegate(delegate);
    return UIApplication::sharedApplication().launchWithOptions(options);
  }

  void close() {
    if (auto* first = UIResponder::currentFirstResponder()) first->resignFirstResponder();
    navigation.reset();
    delegate.reset();
    host.reset();
    RunLoop::main().advance(5);
    // Requests still in flight report to nobody.
    RunLoop::main().runUntil([] { return false; }, 0.2);
    manager.reset();
    if (storage) storage->close();
    UIApplication::sharedApplication().resetForTesting();
  }

  std::shared_ptr<KMWebDAVStorage> storage;
  std::shared_ptr<KMWebDAVFileManager> manager;
  std::unique_ptr<KMHeadlessHost> host;
  std::shared_ptr<UINavigationController> navigation;
  std::shared_ptr<Delegate> delegate;
};

// Every endpoint of the application, the start-up fetch included, goes to
// `service`, whose certificate authority is trusted.
inline void pointApplicationAt(const ServiceProcess& service) {
  webdav::setAdditionalCertificateAuthorityFile(service.endpoints().caCertificate.string());
  ::setenv("KDISK_ENVIRONMENT", "Local", 1);
  ::setenv("KDISK_SERVICE_URL", service.endpoints().httpsBaseURL.c_str(), 1);
}

// The settings of a person who signed in before and saw the first-run pages.
inline void storeSignedIn(const std::string& login, const std::string& token) {
  auto& settings = KMSettings::mainSettings();
  settings.setLogin(login);
  settings.setToken(token);
  settings.setWasSuccessfullyAuthorized(true);
  settings.setHasShowedDiskWizard(true);
}

}  // namespace kdisk::test
