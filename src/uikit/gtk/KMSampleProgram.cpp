// kdisk-uikit-sample: the toolkit's sample screens in a desktop window.
// Every action is printed as one line on standard output and, with
// --report FILE, appended to FILE, so an end-to-end run can check it.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/RunLoop.h"
#include "uikit/UIApplication.h"
#include "uikit/UINavigationController.h"
#include "uikit/gtk/KMGtkHost.h"
#include "uikit/sample/KMSampleListViewController.h"

int main(int argc, char** argv) {
  kdisk::RunLoop::main();
  std::string reportPath;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--report") == 0) reportPath = argv[i + 1];
  auto report = [reportPath](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (!reportPath.empty()) std::ofstream(reportPath, std::ios::app) << line << "\n";
  };
  kdisk::KMGtkHost host("Kalumo toolkit sample");
  host.setRootViewController(kdisk::KMSampleListViewController::makeSampleStack(report));
  host.setFirstFrameHandler([report] { report("ready"); });
  kdisk::UIApplication::sharedApplication().launchWithOptions({});
  return host.run();
}
