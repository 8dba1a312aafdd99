// Loading the web engine's module on the first web view.
#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "platform/Log.h"
#include "uikit/gtk/KMWebKitEngine.h"

namespace kdisk {

namespace {

using MakeEngine = UIWebViewEngine* (*)(UIWebView&, std::shared_ptr<KMWebKitPlacementHost>*);

MakeEngine loadModule() {
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  // Beside the program in the build tree, in its own library folder once installed.
  std::string error;
  for (const auto& candidate : {program / "kdisk-webkit.so", program / KDISK_WEBKIT_MODULE_FROM_BINDIR}) {
    if (!std::filesystem::exists(candidate)) continue;
    if (void* module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      if (auto make = reinterpret_cast<MakeEngine>(::dlsym(module, "kdisk_make_webkit_engine"))) return make;
    }
    if (const char* reason = ::dlerror()) error = reason;
  }
  logger("KMWebKitEngine", LogLevel::Warning)
      ->error("No web engine: {}", error.empty() ? "kdisk-webkit.so not found" : error);
  return nullptr;
}

}  // namespace

std::unique_ptr<UIWebViewEngine> makeWebKitEngine(UIWebView& view, std::shared_ptr<KMWebKitPlacementHost> host) {
  static const MakeEngine make = loadModule();
  if (!make) return nullptr;
  return std::unique_ptr<UIWebViewEngine>(make(view, &host));
}

}  // namespace kdisk
