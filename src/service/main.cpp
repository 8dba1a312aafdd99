// kdisk-service: a local Kalumo.Disk storage service for the demo and the tests.
#include "service/Service.h"

#include <CLI/CLI.hpp>
#include <libxml/parser.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <pthread.h>

using kdisk::service::Service;
using kdisk::service::ServiceConfig;

int main(int argc, char** argv) {
  ServiceConfig config;
  std::vector<std::string> users;
  std::string dataFolder, readyFile, updateManifest;
  CLI::App app{"kdisk-service: a local Kalumo.Disk storage service (127.0.0.1 only)"};
  app.add_option("--data", dataFolder, "Folder for files, accounts, tokens and the local CA")
      ->required();
  app.add_option("--port", config.httpPort, "Plain HTTP port, 0 picks a free one")
      ->capture_default_str();
  app.add_option("--https-port", config.httpsPort, "HTTPS port, 0 picks a free one")
      ->capture_default_str();
  app.add_flag("--seed-demo", config.seedDemo, "Create the account demo/demo with sample files");
  app.add_option("--user", users, "Create or reset an account, LOGIN:PASSWORD (repeatable)");
  app.add_option("--quota", config.quotaBytes, "Space per account in bytes")->capture_default_str();
  app.add_option("--max-file-size", config.maxFileSizeBytes, "Largest upload in bytes")
      ->capture_default_str();
  app.add_option("--ready-file", readyFile, "Written (atomically) with the base URLs when ready");
  app.add_option("--admin-secret", config.adminSecret,
                 "Enables /admin/ (fault injection, token revocation) for this secret");
  app.add_option("--update-manifest", updateManifest, "XML file served as the update manifest");
  app.add_option("--update-build", config.updateBuildNumber, "build_number of the update manifest");
  app.add_option("--update-url", config.updateURL, "url of the update manifest");
  app.add_option("--token-lifetime", config.tokenLifetimeSeconds, "Token lifetime in seconds")
      ->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  config.dataFolder = std::filesystem::absolute(dataFolder);
  if (!readyFile.empty()) config.readyFile = std::filesystem::absolute(readyFile);
  if (!updateManifest.empty()) config.updateManifest = std::filesystem::absolute(updateManifest);
  for (const auto& user : users) {
    auto colon = user.find(':');
    if (colon == std::string::npos || colon == 0) {
      std::cerr << "kdisk-service: --user wants LOGIN:PASSWORD, got \"" << user << "\"\n";
      return 2;
    }
    config.users.emplace_back(user.substr(0, colon), user.substr(colon + 1));
  }

  // Signals are taken by sigwait below only; every thread started after this
  // inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  xmlInitParser();

  std::string error;
  auto service = Service::create(std::move(config), error);
  if (!service || !service->start(error)) {
    std::cerr << "kdisk-service: " << error << "\n";
    return 1;
  }
  std::cout << service->readyText() << std::flush;

  int received = 0;
  sigwait(&signals, &received);
  std::cerr << "kdisk-service: stopping on signal " << received << "\n";
  service->stop();
  service.reset();
  xmlCleanupParser();
  return 0;
}
