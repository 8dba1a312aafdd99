#include "cli/KDiskCommandLine.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include <CLI/CLI.hpp>
#include <spdlog/sinks/sink.h>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/CliText.h"
#include "foundation/KLApplicationVersion.h"
#include "platform/Log.h"
#include "webdav/KMHTTPTransfer.h"

namespace fs = std::filesystem;

namespace kdisk::cli {

int runCommandLine(int argc, char** argv) {
  CLI::App app{"kdisk: the Kalumo.Disk storage from the command line", "kdisk"};
  app.require_subcommand(1);
  std::string service, ca;
  bool verbose = false;
  app.add_option("--service", service,
                 "Service address, e.g. https://127.0.0.1:8443 (else $KDISK_SERVICE_URL)");
  app.add_option("--ca", ca,
                 "Also trust this certificate authority file (else $KDISK_EXTRA_CA_FILE)");
  app.add_flag("--verbose,-v", verbose, "Show the engine's logs on stderr");
  app.set_version_flag("--version", [] { return "kdisk " + fullVersionString(); });

  std::optional<std::string> loginName;
  bool passwordStdin = false;
  auto* loginCommand =
      app.add_subcommand("login", "Sign in and keep the token for the application too");
  loginCommand->add_option("LOGIN", loginName, "Login (the last one used when omitted)");
  loginCommand->add_flag("--password-stdin", passwordStdin,
                         "Read the password from standard input");
  auto* logoutCommand =
      app.add_subcommand("logout", "Sign out: forget the token, the cached listings and files");
  auto* whoamiCommand =
      app.add_subcommand("whoami", "Show the account: login, used and free space");

  std::string lsPath = "/";
  bool longForm = false, json = false, offline = false;
  auto* lsCommand = app.add_subcommand("ls", "List a folder (folders first)");
  lsCommand->add_option("PATH", lsPath, "Remote folder, e.g. /Documents");
  lsCommand->add_flag("-l", longForm, "Size, date, and * for files in the local cache");
  lsCommand->add_flag("--json", json, "One JSON object per item");
  lsCommand->add_flag("--offline", offline, "Only the cached listing");

  std::string searchText, searchPath = "/";
  bool searchOffline = false;
  auto* searchCommand = app.add_subcommand("search", "Items of a folder whose name contains TEXT");
  searchCommand->add_option("TEXT", searchText, "Text to look for (case and accents ignored)")
      ->required();
  searchCommand->add_option("PATH", searchPath, "Remote folder");
  searchCommand->add_flag("--offline", searchOffline, "Only the cached listing");

  std::string getRemote;
  std::optional<std::string> getLocal;
  bool getOffline = false;
  auto* getCommand =
      app.add_subcommand("get", "Download a file into the cache, and copy it to LOCAL");
  getCommand->add_option("REMOTE", getRemote, "Remote file")->required();
  getCommand->add_option("LOCAL", getLocal, "Local file or folder to copy it to");
  getCommand->add_flag("--offline", getOffline, "Only from the cache");

  std::vector<std::string> putFiles;
  std::optional<std::string> putTo;
  bool noWait = false;
  auto* putCommand = app.add_subcommand("put", "Queue files for upload and send them");
  putCommand->add_option("FILES", putFiles, "LOCAL... [REMOTE_DIR]")->required();
  putCommand->add_option("--to", putTo,
                         "Remote folder (else the last argument when it is no local file, else /)");
  putCommand->add_flag("--no-wait", noWait,
                       "Only queue; the next command that runs the queue sends them");

  auto* queueCommand = app.add_subcommand("queue", "Waiting and failed uploads");
  std::vector<std::string> retryNames, removeNames;
  auto* retryCommand =
      queueCommand->add_subcommand("retry", "Send failed uploads again (all when none named)");
  retryCommand->add_option("NAME", retryNames, "Remote path or name of the upload");
  auto* queueRemoveCommand = queueCommand->add_subcommand("remove", "Drop uploads from the queue");
  queueRemoveCommand->add_option("NAME", removeNames, "Remote path or name of the upload")
      ->required();

  std::vector<std::string> rmPaths;
  bool force = false;
  auto* rmCommand = app.add_subcommand("rm", "Remove files or folders");
  rmCommand->add_option("PATH", rmPaths, "Remote paths")->required();
  rmCommand->add_flag("-f,--force", force, "Do not ask");

  std::string mkdirName, mkdirParent = "/";
  auto* mkdirCommand = app.add_subcommand("mkdir", "Create a folder");
  mkdirCommand->add_option("NAME", mkdirName, "Name of the new folder")->required();
  mkdirCommand->add_option("PARENT", mkdirParent, "Remote folder to create it in");

  std::vector<std::string> sharePaths;
  auto* shareCommand = app.add_subcommand("share", "Publish files and print \"name: link\" lines");
  shareCommand->add_option("PATH", sharePaths, "Remote files")->required();
  bool shareCopy = false;
  shareCommand->add_flag("--copy", shareCopy,
                         "Also put the lines on the clipboard (needs a display)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : kBadUsage;
  }

  if (!service.empty())
    ::setenv("KDISK_SERVICE_URL", service.c_str(), 1);
  if (!ca.empty()) {
    if (!fs::is_regular_file(ca)) {
      std::cerr << "kdisk: " << say("no such certificate file: {}", ca) << "\n";
      return kBadUsage;
    }
    webdav::setAdditionalCertificateAuthorityFile(ca);
  }
  setAllLogLevels(verbose ? LogLevel::Verbose : LogLevel::Error);
  installConsoleLogger();
  // The engine's log lines are for diagnosis: without --verbose (or an
  // explicit KDISK_LOG_LEVEL) the user sees the command's own output and,
  // on failure, its one reason. Every logger writes through this one sink.
  if (!verbose && !logLevelSetByEnvironment())
    for (auto& sink : spdlog::default_logger()->sinks())
      sink->set_level(spdlog::level::off);

  {
    Session session;
    if (*loginCommand)
      return login(session, loginName, passwordStdin);
    if (*logoutCommand)
      return logout(session);
    if (*whoamiCommand)
      return whoami(session);
    if (*lsCommand)
      return list(session, lsPath, longForm, json, offline);
    if (*searchCommand)
      return search(session, searchText, searchPath, searchOffline);
    if (*getCommand)
      return get(session, getRemote, getLocal, getOffline);
    if (*putCommand)
      return put(session, putFiles, putTo, noWait);
    if (*retryCommand)
      return queueRetry(session, retryNames);
    if (*queueRemoveCommand)
      return queueRemove(session, removeNames);
    if (*queueCommand)
      return queueList(session);
    if (*rmCommand)
      return remove(session, rmPaths, force);
    if (*mkdirCommand)
      return makeDirectory(session, mkdirName, mkdirParent);
    if (*shareCommand)
      return share(session, sharePaths, shareCopy);
  }
  return kBadUsage;
}

} // namespace kdisk::cli
