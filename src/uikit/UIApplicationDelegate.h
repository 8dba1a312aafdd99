#pragma once
// The application's root object's hooks; every hook defaults to doing nothing.
#include <optional>
#include <string>

#include "platform/URL.h"
#include "platform/Value.h"

namespace kdisk {

class UIApplication;
class UIWindow;

// The key under which launch options carry a URL handed over at launch.
inline constexpr const char* UIApplicationLaunchOptionsURLKey = "UIApplicationLaunchOptionsURLKey";
inline constexpr const char* UIApplicationLaunchOptionsSourceApplicationKey =
    "UIApplicationLaunchOptionsSourceApplicationKey";

class UIApplicationDelegate {
 public:
  virtual ~UIApplicationDelegate() = default;
  virtual UIWindow* window() const { return nullptr; }
  virtual bool applicationDidFinishLaunchingWithOptions(UIApplication& application,
                                                        const Dictionary& options) {
    (void)application;
    (void)options;
    return true;
  }
  // A URL (a file handed over, or the application's own scheme) to open.
  virtual bool applicationOpenURLSourceApplicationAnnotation(UIApplication& application,
                                                             const URL& url,
                                                             const std::string& sourceApplication,
                                                             const Value& annotation) {
    (void)application, (void)url, (void)sourceApplication, (void)annotation;
    return false;
  }
  virtual void applicationDidBecomeActive(UIApplication& application) { (void)application; }
  virtual void applicationWillResignActive(UIApplication& application) { (void)application; }
  virtual void applicationDidEnterBackground(UIApplication& application) { (void)application; }
  virtual void applicationWillEnterForeground(UIApplication& application) { (void)application; }
  virtual void applicationWillTerminate(UIApplication& application) { (void)application; }
  virtual void applicationDidReceiveMemoryWarning(UIApplication& application) {
    (void)application;
  }
};

}  // namespace kdisk
