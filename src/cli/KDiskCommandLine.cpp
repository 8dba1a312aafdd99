#include "cli/KDiskCommandLine.h"

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <glib.h>

#include "auth/KMOAuthOperation.h"
#include "foundation/KLApplicationEnvironment.h"
#include "foundation/KLApplicationLocale.h"
#include "foundation/KLApplicationVersion.h"
#include "manager/KMUploadQueue.h"
#include "manager/KMWebDAVFileManager.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "settings/KMSettings.h"
#include "storage/KMWebDAVStorage.h"
#include "webdav/KMDiskRequest.h"
#include "webdav/KMFile.h"
#include "webdav/KMHTTPTransfer.h"

namespace fs = std::filesystem;

namespace kdisk::cli {
namespace {

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;
// Long enough for any transfer: the requests carry their own time-outs.
constexpr double kTransferWait = 24 * 3600;
constexpr double kRequestWait = 120;

// A failed operation with its message in plain words.
struct Failure {
  std::string message;
  int status = kFailed;
};

bool stdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
bool stdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

std::string hostOf(const URL& url) {
  auto port = url.port();
  return port ? url.host() + ":" + std::to_string(*port) : url.host();
}

// Every notification of interest to one command, in arrival order.
class Outcomes {
 public:
  explicit Outcomes(std::vector<std::string> names) {
    for (auto& name : names)
      m_tokens.push_back(NotificationCenter::defaultCenter().addObserver(name, [this](const Notification& n) {
        received.push_back(n);
        if (onNotification) onNotification(n);
      }));
    m_tokens.push_back(NotificationCenter::defaultCenter().addObserver(
        kKMXConnectionDidFailAuthenticateWithError, [this](const Notification&) { authenticationFailed = true; }));
  }
  std::size_t count(std::string_view name) const {
    std::size_t n = 0;
    for (auto& item : received) n += item.name == name;
    return n;
  }
  // Waits until `done` or a refused token; false when time ran out.
  bool waitFor(const std::function<bool()>& done, double seconds = kRequestWait) {
    return RunLoop::main().runUntil([&] { return authenticationFailed || done(); }, seconds);
  }

  std::vector<Notification> received;
  bool authenticationFailed = false;
  std::function<void(const Notification&)> onNotification;

 private:
  std::vector<ObserverToken> m_tokens;
};

class Session {
 public:
  Session() {
    auto storage = std::make_shared<KMWebDAVStorage>();
    const URL root = KLApplicationEnvironment::currentEnvironment().webDAVRootURL();
    // The command talks to the service at once; a refused connection says
    // more than a watch of the network would.
    manager = KMWebDAVFileManager::createForTesting(storage, {root, false});
  }
  ~Session() {
    KMSettings::mainSettings().saveSettingsDelayed();
    manager->unmountStorages();
  }

  KMWebDAVStorage& storage() { return *manager->storage(); }
  URL root() const { return manager->rootURL(); }

  void requireToken() const {
    auto token = KMSettings::mainSettings().token();
    if (!token || token->empty()) throw Failure{"Not signed in. Run `kdisk login` first."};
  }

  // A remote path below the root ("/Documents/a.txt") or a URL.
  URL resolve(const std::string& path, bool directory = false) const {
    if (path.rfind("https://", 0) == 0 || path.rfind("http://", 0) == 0) {
      auto url = URL::fromString(path);
      if (!url) throw Failure{"Not a usable address: " + path, kBadUsage};
      return directory ? url->withTrailingSlash() : *url;
    }
    URL url = root();
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
      auto end = path.find('/', start);
      if (end == std::string::npos) end = path.size();
      std::string part = path.substr(start, end - start);
      if (part == "..") throw Failure{"Paths may not climb above the root: " + path, kBadUsage};
      if (!part.empty() && part != ".") parts.push_back(part);
      start = end + 1;
    }
    for (std::size_t i = 0; i < parts.size(); ++i)
      url = url.appendingPathComponent(parts[i], directory || i + 1 < parts.size());
    return directory ? url.withTrailingSlash() : url;
  }

  // The path below the root, decoded, for messages.
  std::string remotePath(const URL& url) const {
    std::string rootPath = root().path();
    std::string path = url.path();
    if (path.rfind(rootPath, 0) == 0) path = "/" + path.substr(rootPath.size());
    return path;
  }

  [[noreturn]] void failWith(const Outcomes& outcomes, const Notification* failure, const std::string& what) {
    if (outcomes.authenticationFailed)
      throw Failure{"The service refused the sign-in. Run `kdisk login` to sign in again."};
    const KMError* error = failure ? errorForKey(failure->userInfo) : nullptr;
    if (error && error->domain == webdav::kKMHTTPTransportErrorDomain)
      throw Failure{what + ": cannot reach the service at " + hostOf(root()) + "."};
    if (error && !error->localizedDescription.empty())
      throw Failure{what + ": " + error->localizedDescription};
    if (!failure) throw Failure{what + ": the service did not answer in time (" + hostOf(root()) + ")."};
    throw Failure{what + "."};
  }

  // Refreshes `directory` into the store.
  void refresh(const URL& directory) {
    Outcomes outcomes({kKMKMWebDAVFileManagerDidReceiveFileList, kKMKMWebDAVFileManagerDidFailWithFileListRequest});
    manager->updateContentsOfDirectoryAtURL(directory);
    outcomes.waitFor([&] { return !outcomes.received.empty(); });
    if (outcomes.authenticationFailed || outcomes.received.empty() ||
        outcomes.received.front().name != kKMKMWebDAVFileManagerDidReceiveFileList)
      failWith(outcomes, outcomes.received.empty() ? nullptr : &outcomes.received.front(),
               "Cannot list " + remotePath(directory));
  }

  // The item at `path` as its parent's listing names it.
  std::shared_ptr<KMFileItem> item(const std::string& path, bool offline) {
    const URL wanted = resolve(path);
    const URL parent = wanted.deletingLastPathComponent();
    if (!offline) refresh(parent);
    const std::string name = wanted.withoutTrailingSlash().lastPathComponent();
    for (auto& child : storage().contentsOfDirectoryAtURLIncludeHidden(parent, true))
      if (child->URL().withoutTrailingSlash().lastPathComponent() == name) return child;
    throw Failure{"No such file or folder: " + remotePath(wanted)};
  }

  std::shared_ptr<KMWebDAVFileManager> manager;
};

// ---- Text

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string dateText(const std::optional<Date>& date, bool iso) {
  if (!date) return iso ? "null" : "                ";
  std::time_t seconds = static_cast<std::time_t>(date->secondsSince1970);
  std::tm parts{};
  char buffer[40];
  if (iso) {
    gmtime_r(&seconds, &parts);
    std::strftime(buffer, sizeof buffer, "\"%Y-%m-%dT%H:%M:%SZ\"", &parts);
  } else {
    localtime_r(&seconds, &parts);
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &parts);
  }
  return buffer;
}

// The folding of "CONTAINS[cd]": case and diacritics both dropped.
std::string folded(std::string_view text) {
  gchar* decomposed = g_utf8_normalize(text.data(), static_cast<gssize>(text.size()), G_NORMALIZE_NFD);
  if (!decomposed) return std::string(text);
  std::string bare;
  for (const gchar* p = decomposed; *p; p = g_utf8_next_char(p)) {
    gunichar c = g_utf8_get_char(p);
    if (g_unichar_ismark(c)) continue;
    char buffer[6];
    bare.append(buffer, static_cast<std::size_t>(g_unichar_to_utf8(c, buffer)));
  }
  g_free(decomposed);
  gchar* lowered = g_utf8_casefold(bare.data(), static_cast<gssize>(bare.size()));
  std::string result = lowered ? lowered : bare;
  g_free(lowered);
  return result;
}

std::string failReasonInWords(const std::optional<std::string>& reason) {
  using namespace kdisk::manager;
  if (reason == kKMWebDAVFileManagerUploadErrorCannotSaveAssetToTempFile)
    return "the photo could not be copied for sending";
  if (reason == kKMWebDAVFileManagerUploadErrorWrongStatusCode) return "the service refused the file";
  if (reason == kKMWebDAVFileManagerUploadErrorUnknownError) return "the connection failed";
  return "it failed";
}

std::string readPassword(bool fromStdin) {
  std::string password;
  if (fromStdin || !stdinIsTerminal()) {
    if (!fromStdin) throw Failure{"No terminal to ask for the password; use --password-stdin.", kBadUsage};
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
  }
  std::cerr << "Password: " << std::flush;
  termios saved{};
  ::tcgetattr(STDIN_FILENO, &saved);
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  std::getline(std::cin, password);
  ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  std::cerr << "\n";
  return password;
}

bool confirm(const std::string& question) {
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  std::getline(std::cin, answer);
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

// One line redrawn in place: bytes, rate and time left.
class ProgressLine {
 public:
  explicit ProgressLine(std::string name) : m_name(std::move(name)), m_start(std::chrono::steady_clock::now()) {}
  void update(std::uint64_t done, std::uint64_t total) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    std::string line = "\r" + m_name + "  " + LocalizedFileSizeStr(done);
    if (total) {
      line += " / " + LocalizedFileSizeStr(total) + "  " + std::to_string(done * 100 / total) + "%";
    }
    line += "  " + LocalizedFileSizeStr(static_cast<std::uint64_t>(rate)) + "/s";
    if (total && rate > 0 && done < total)
      line += "  " + std::to_string(static_cast<long>((total - done) / rate)) + " s left";
    line += "\033[K";
    std::cout << line << std::flush;
    m_drawn = true;
  }
  void finish() {
    if (m_drawn) std::cout << "\r\033[K" << std::flush;
  }

 private:
  std::string m_name;
  std::chrono::steady_clock::time_point m_start;
  bool m_drawn = false;
};

// ---- Commands

int login(Session& session, std::optional<std::string> givenLogin, bool passwordFromStdin) {
  auto& settings = KMSettings::mainSettings();
  std::string login = givenLogin ? *givenLogin : settings.login().value_or("");
  if (login.empty()) {
    if (!stdinIsTerminal()) throw Failure{"Give the login: kdisk login LOGIN", kBadUsage};
    std::cerr << "Login: " << std::flush;
    std::getline(std::cin, login);
  }
  const std::string password = readPassword(passwordFromStdin);
  Outcomes outcomes({kKMXConnectionDidAuthenticateWithToken, kKMXConnectionDidFailAuthenticateWithError});
  auto operation = std::make_shared<KMOAuthOperation>();
  operation->setAuthParamsPasswordTimeOutInSeconds(login, password, 15);
  operation->startOnNewThread();
  RunLoop::main().runUntil([&] { return !outcomes.received.empty(); }, 60);
  if (outcomes.received.empty())
    throw Failure{"Sign-in: the service at " + hostOf(KMOAuthOperation::tokenEndpointURL()) + " did not answer."};
  const Notification& outcome = outcomes.received.front();
  if (outcome.name != kKMXConnectionDidAuthenticateWithToken) {
    const KMError* error = errorForKey(outcome.userInfo);
    if (error && error->code == kKMOAuthOperationErrorInvalidLoginOrPassword &&
        error->domain == kKMOAuthOperationErrorDomain)
      throw Failure{"Sign-in failed: wrong login or password."};
    if (error && error->code == kKMOAuthOperationErrorLoginBlocked && error->domain == kKMOAuthOperationErrorDomain)
      throw Failure{"Sign-in failed: this login is blocked."};
    if (error && error->domain == webdav::kKMHTTPTransportErrorDomain)
      throw Failure{"Sign-in failed: cannot reach the service at " + hostOf(KMOAuthOperation::tokenEndpointURL()) +
                    "."};
    throw Failure{"Sign-in failed" + (error ? ": " + error->localizedDescription : std::string(".")) };
  }
  // As the application does on a successful authentication.
  settings.setLogin(stringForKey(outcome.userInfo, "login").value_or(login));
  settings.setToken(stringForKey(outcome.userInfo, "token"));
  settings.setWasSuccessfullyAuthorized(true);
  settings.saveSettingsDelayed();
  (void)session;
  std::cout << "Signed in as " << settings.login().value_or(login) << ".\n";
  return 0;
}

int logout(Session& session) {
  auto& settings = KMSettings::mainSettings();
  // The application's sign-out: settings first, then the cached listings and files.
  settings.clearUserRelatedSettingOnLogout();
  settings.saveSettingsDelayed();
  session.manager->clearFilePreviewCache();
  session.storage().clear();
  session.storage().removeAllDownloadedFiles();
  std::cout << "Signed out.\n";
  return 0;
}

int whoami(Session& session) {
  session.requireToken();
  auto& settings = KMSettings::mainSettings();
  Outcomes figures({kKMKMWebDAVFileManagerDidReceiveAdditionalInfo, kKMKMWebDAVFileManagerDidFailWithAdditionalInfoRequest});
  session.manager->sendAdditionalInfoRequest();
  figures.waitFor([&] { return !figures.received.empty(); });
  if (figures.authenticationFailed || figures.received.empty() ||
      figures.received.front().name != kKMKMWebDAVFileManagerDidReceiveAdditionalInfo)
    session.failWith(figures, figures.received.empty() ? nullptr : &figures.received.front(),
                     "Cannot read the account");
  const auto& info = figures.received.front().userInfo;
  auto number = [&](const char* key) -> std::optional<std::int64_t> {
    auto* value = find(info, key);
    return value ? value->integerValue() : std::nullopt;
  };
  // Copied into the settings as the application does.
  if (auto v = number("maxFileSizeNum")) settings.setMaxFileSize(*v);
  if (auto v = number("quotaAvailableBytesNum")) settings.setQuotaAvailableBytes(*v);
  if (auto v = number("quotaUsedBytesNum")) settings.setQuotaUsedBytes(*v);

  Outcomes user({kKMKMWebDAVFileManagerDidReceiveUserInfo});
  session.manager->sendUserInfoRequest();
  // The user-information request reports nothing on failure: bounded wait.
  user.waitFor([&] { return !user.received.empty(); }, 15);
  std::string login = settings.login().value_or("?");
  if (!user.received.empty())
    if (auto given = stringForKey(user.received.front().userInfo, "login")) login = *given;
  auto size = [](std::optional<std::int64_t> v) {
    return v ? LocalizedFileSizeStr(static_cast<std::uint64_t>(std::max<std::int64_t>(0, *v))) : std::string("unknown");
  };
  std::cout << "Login: " << login << "\n"
            << "Used: " << size(number("quotaUsedBytesNum")) << "\n"
            << "Free: " << size(number("quotaAvailableBytesNum")) << "\n"
            << "Maximum file size: " << size(number("maxFileSizeNum")) << "\n";
  return 0;
}

void printItems(Session& session, const KMFileItemList& items, bool longForm, bool json) {
  for (auto& item : KMWebDAVStorage::sortFileItemsUsingStandartOrder(items)) {
    auto file = std::dynamic_pointer_cast<KMFile>(item);
    const bool cached = !item->isDirectory() && session.storage().hasCachedFileForURL(item->URL());
    if (json) {
      std::cout << "{\"name\":" << jsonString(item->displayName())
                << ",\"path\":" << jsonString(session.remotePath(item->URL().withoutTrailingSlash()))
                << ",\"type\":\"" << (item->isDirectory() ? "directory" : "file") << "\"";
      if (file) {
        std::cout << ",\"size\":" << file->size() << ",\"modified\":" << dateText(file->lastModified(), true)
                  << ",\"etag\":" << (file->etag() ? jsonString(*file->etag()) : std::string("null"));
      }
      std::cout << ",\"cached\":" << (cached ? "true" : "false") << "}\n";
    } else if (longForm) {
      std::string size = file ? LocalizedFileSizeStr(file->size()) : "-";
      std::printf("%c %10s  %s  %s%s\n", cached ? '*' : ' ', size.c_str(),
                  dateText(file ? file->lastModified() : std::nullopt, false).c_str(), item->displayName().c_str(),
                  item->isDirectory() ? "/" : "");
    } else {
      std::cout << item->displayName() << (item->isDirectory() ? "/" : "") << "\n";
    }
  }
  std::fflush(stdout);
}

int list(Session& session, const std::string& path, bool longForm, bool json, bool offline) {
  const URL directory = session.resolve(path, true);
  if (!offline) {
    session.requireToken();
    session.refresh(directory);
  }
  printItems(session, session.storage().contentsOfDirectoryAtURLIncludeHidden(directory, false), longForm, json);
  return 0;
}

int search(Session& session, const std::string& text, const std::string& path, bool offline) {
  const URL directory = session.resolve(path, true);
  if (!offline) {
    session.requireToken();
    session.refresh(directory);
  }
  KMFileItemList found;
  const std::string wanted = folded(text);
  if (!wanted.empty())
    for (auto& item : session.storage().contentsOfDirectoryAtURLIncludeHidden(directory, false))
      if (folded(item->displayName()).find(wanted) != std::string::npos) found.push_back(item);
  printItems(session, found, false, false);
  return 0;
}

int get(Session& session, const std::string& remote, const std::optional<std::string>& local, bool offline) {
  if (!offline) session.requireToken();
  auto item = session.item(remote, offline);
  if (item->isDirectory()) throw Failure{remote + " is a folder; only files can be fetched."};
  const URL url = item->URL();
  auto cachePath = session.storage().localPathForWebURL(url);
  if (!cachePath) throw Failure{"No place in the cache for " + remote + "."};
  // The listing just merged drops a copy whose entity tag changed, so a copy
  // still there is current.
  if (session.storage().hasCachedFileForURL(url)) {
    std::cerr << item->displayName() << ": the cached copy is current.\n";
  } else {
    if (offline) throw Failure{remote + " is not in the cache."};
    Outcomes outcomes({kKMKMWebDAVFileManagerDidDownloadFile, kKMKMWebDAVFileManagerDidFailToDownloadFile,
                       kKMKMWebDAVFileManagerDidGetPartialDataForFile});
    std::optional<ProgressLine> progress;
    if (stdoutIsTerminal()) progress.emplace(item->displayName());
    outcomes.onNotification = [&](const Notification& n) {
      if (progress && n.name == kKMKMWebDAVFileManagerDidGetPartialDataForFile)
        progress->update(static_cast<std::uint64_t>(find(n.userInfo, "receivedDataLength")->integerValue().value_or(0)),
                         static_cast<std::uint64_t>(find(n.userInfo, "expectedDataLength")->integerValue().value_or(0)));
    };
    auto request = session.manager->startDownloadFileForURL(url);
    auto ended = [&] {
      return outcomes.count(kKMKMWebDAVFileManagerDidDownloadFile) + outcomes.count(kKMKMWebDAVFileManagerDidFailToDownloadFile) > 0;
    };
    outcomes.waitFor(ended, kTransferWait);
    if (progress) progress->finish();
    if (outcomes.count(kKMKMWebDAVFileManagerDidDownloadFile) == 0 || !session.storage().hasCachedFileForURL(url))
      session.failWith(outcomes, nullptr, "Cannot download " + remote);
    std::cerr << item->displayName() << ": downloaded.\n";
  }
  if (local) {
    fs::path target = *local;
    if (fs::is_directory(target)) target /= item->displayName();
    std::error_code error;
    fs::copy_file(*cachePath, target, fs::copy_options::overwrite_existing, error);
    if (error) throw Failure{"Cannot write " + target.string() + ": " + error.message()};
    std::cout << target.string() << "\n";
  } else {
    std::cout << *cachePath << "\n";
  }
  return 0;
}

// Sends every waiting upload until none is left; false when any failed.
bool runQueue(Session& session, std::set<std::string> watched) {
  using namespace kdisk::manager;
  Outcomes outcomes({kKMKMWebDAVFileManagerDidStartUploadFile, kKMKMWebDAVFileManagerDidSendBytesForUploadFile,
                     kKMKMWebDAVFileManagerDidUploadFile, kKMKMWebDAVFileManagerDidFailToUploadFile});
  const bool terminal = stdoutIsTerminal();
  std::optional<ProgressLine> progress;
  std::string current;
  bool allGood = true;
  outcomes.onNotification = [&](const Notification& n) {
    const std::string urlText = stringForKey(n.userInfo, "URL").value_or("");
    auto url = URL::fromString(urlText);
    const std::string path = url ? session.remotePath(*url) : urlText;
    if (n.name == kKMKMWebDAVFileManagerDidStartUploadFile) {
      current = urlText;
      // The name was taken on the service: the upload goes on under the next free one.
      if (auto refused = stringForKey(n.userInfo, kKMUploadRefusedURLKey)) {
        auto refusedURL = URL::fromString(*refused);
        std::cout << (refusedURL ? session.remotePath(*refusedURL) : *refused) << " is taken on the service.\n";
        if (watched.erase(*refused)) watched.insert(urlText);
      }
      if (terminal) progress.emplace(path);
      else std::cout << "Sending " << path << "\n" << std::flush;
    } else if (n.name == kKMKMWebDAVFileManagerDidSendBytesForUploadFile) {
      if (progress && urlText == current) {
        auto row = url ? session.storage().uploadFileAtURL(*url) : nullptr;
        progress->update(static_cast<std::uint64_t>(find(n.userInfo, kKMUploadUploadedSizeKey) ? find(n.userInfo, kKMUploadUploadedSizeKey)->integerValue().value_or(0) : 0),
                         row ? row->size() : 0);
      }
    } else {
      if (progress) progress->finish();
      progress.reset();
      if (n.name == kKMKMWebDAVFileManagerDidUploadFile) {
        std::cout << "Uploaded " << path << "\n" << std::flush;
      } else {
        auto row = url ? session.storage().uploadFileAtURL(*url) : nullptr;
        std::cerr << "Failed to upload " << path << ": " << failReasonInWords(row ? row->failReason() : std::nullopt)
                  << ". Run `kdisk queue retry` to send it again.\n";
        if (watched.empty() || watched.count(urlText)) allGood = false;
      }
    }
  };
  auto waiting = [&] {
    for (auto& row : session.storage().uploadsInDirectoryAtURL(std::nullopt))
      if (!row->failed()) return true;
    return false;
  };
  session.manager->reachabilityChanged(kSCNetworkReachabilityFlagsReachable);
  session.manager->uploadNextFileInQueue();
  outcomes.waitFor([&] { return !waiting() && !session.manager->uploadingFileURL(); }, kTransferWait);
  if (progress) progress->finish();
  if (outcomes.authenticationFailed)
    throw Failure{"The service refused the sign-in. Run `kdisk login` to sign in again."};
  for (auto& urlText : watched) {
    auto url = URL::fromString(urlText);
    auto row = url ? session.storage().uploadFileAtURL(*url) : nullptr;
    if (row) allGood = false;
  }
  return allGood;
}

int put(Session& session, std::vector<std::string> arguments, std::optional<std::string> to, bool noWait) {
  session.requireToken();
  if (!to && arguments.size() > 1 && !fs::is_regular_file(arguments.back())) {
    to = arguments.back();
    arguments.pop_back();
  }
  const URL directory = session.resolve(to.value_or("/"), true);
  for (auto& local : arguments)
    if (!fs::is_regular_file(local)) throw Failure{"Not a file: " + local, kBadUsage};
  // Free names are picked from the cached listing; a fresh one spares sends the
  // service refuses because the name is taken there.
  try {
    session.refresh(directory);
  } catch (const Failure& failure) {
    std::cerr << "kdisk: " << failure.message << " Names are checked against the cached listing only.\n";
  }
  std::set<std::string> queued;
  for (auto& local : arguments) {
    const fs::path absolute = fs::absolute(local);
    const URL target = directory.appendingPathComponent(absolute.filename().string());
    auto added = session.manager->uploadFileForFileURLTo(URL::fileURLWithPath(absolute.string()), target);
    if (!added.hasValue()) throw Failure{"Cannot queue " + local + ": " + added.error().localizedDescription};
    queued.insert(added.value().absoluteString());
    std::cout << "Queued " << local << " as " << session.remotePath(added.value()) << "\n";
  }
  std::cout << std::flush;
  if (noWait) return 0;
  return runQueue(session, queued) ? 0 : kFailed;
}

int queueList(Session& session) {
  auto rows = session.storage().uploadsInDirectoryAtURL(std::nullopt);
  if (rows.empty()) {
    std::cout << "The upload queue is empty.\n";
    return 0;
  }
  for (auto& row : rows) {
    std::cout << (row->failed() ? "failed   " : "waiting  ") << session.remotePath(row->URL()) << "  "
              << LocalizedFileSizeStr(row->size());
    if (row->failed()) std::cout << "  (" << failReasonInWords(row->failReason()) << ")";
    std::cout << "\n";
  }
  return 0;
}

std::vector<std::shared_ptr<KMUploadFile>> rowsNamed(Session& session, const std::vector<std::string>& names) {
  auto rows = session.storage().uploadsInDirectoryAtURL(std::nullopt);
  if (names.empty()) return rows;
  std::vector<std::shared_ptr<KMUploadFile>> chosen;
  for (auto& name : names) {
    bool found = false;
    for (auto& row : rows)
      if (session.remotePath(row->URL()) == name || row->URL().lastPathComponent() == name ||
          row->URL().absoluteString() == name) {
        chosen.push_back(row);
        found = true;
      }
    if (!found) throw Failure{"No upload named " + name + " in the queue."};
  }
  return chosen;
}

int queueRetry(Session& session, const std::vector<std::string>& names) {
  session.requireToken();
  std::set<std::string> watched;
  for (auto& row : rowsNamed(session, names)) {
    watched.insert(row->URL().absoluteString());
    if (row->failed()) session.manager->retryUploadFileWithURL(row->URL());
  }
  return runQueue(session, watched) ? 0 : kFailed;
}

int queueRemove(Session& session, const std::vector<std::string>& names) {
  for (auto& row : rowsNamed(session, names)) {
    session.manager->removeUploadFileWithURL(row->URL());
    std::cout << "Removed " << session.remotePath(row->URL()) << " from the queue.\n";
  }
  return 0;
}

int remove(Session& session, const std::vector<std::string>& paths, bool force) {
  session.requireToken();
  int status = 0;
  for (auto& path : paths) {
    auto item = session.item(path, false);
    if (!force && stdinIsTerminal() &&
        !confirm("Remove " + session.remotePath(item->URL().withoutTrailingSlash()) +
                 (item->isDirectory() ? " and everything in it?" : "?")))
      continue;
    Outcomes outcomes({kKMKMWebDAVFileManagerDidRemove, kKMKMWebDAVFileManagerDidFailWithRemoveRequest});
    session.manager->removeItemAtURL(item->URL());
    outcomes.waitFor([&] { return !outcomes.received.empty(); });
    if (outcomes.received.empty() || outcomes.received.front().name != kKMKMWebDAVFileManagerDidRemove)
      session.failWith(outcomes, outcomes.received.empty() ? nullptr : &outcomes.received.front(),
                       "Cannot remove " + path);
    session.storage().removeItemAtURL(item->URL());
    std::cout << "Removed " << session.remotePath(item->URL().withoutTrailingSlash()) << "\n";
  }
  return status;
}

int makeDirectory(Session& session, const std::string& name, const std::string& parentPath) {
  session.requireToken();
  const URL parent = session.resolve(parentPath, true);
  Outcomes outcomes({kKMKMWebDAVFileManagerDidCreateDirectory, kKMKMWebDAVFileManagerDidFailToCreateDirectory});
  session.manager->createDirectoryWithNameAt(name, parent);
  outcomes.waitFor([&] { return !outcomes.received.empty(); });
  if (outcomes.received.empty() || outcomes.received.front().name != kKMKMWebDAVFileManagerDidCreateDirectory)
    session.failWith(outcomes, outcomes.received.empty() ? nullptr : &outcomes.received.front(),
                     "Cannot create the folder " + name);
  auto created = URL::fromString(stringForKey(outcomes.received.front().userInfo, "URL").value_or(""));
  std::cout << "Created " << (created ? session.remotePath(created->withoutTrailingSlash()) : name) << "\n";
  // So the cached listing shows the new folder, offline too.
  session.refresh(parent);
  return 0;
}

int share(Session& session, const std::vector<std::string>& paths) {
  session.requireToken();
  std::string text;
  for (auto& path : paths) {
    auto item = session.item(path, false);
    Outcomes outcomes({kKMKMWebDAVFileManagerDidPublishFile, kKMKMWebDAVFileManagerDidFailWithPublishRequest});
    session.manager->publishFileWithURL(item->URL());
    outcomes.waitFor([&] { return !outcomes.received.empty(); });
    if (outcomes.received.empty() || outcomes.received.front().name != kKMKMWebDAVFileManagerDidPublishFile)
      session.failWith(outcomes, outcomes.received.empty() ? nullptr : &outcomes.received.front(),
                       "Cannot share " + path);
    const auto link = stringForKey(outcomes.received.front().userInfo, "locationURL").value_or("");
    // The name is the decoded last path component, as the share screen writes it.
    text += item->URL().withoutTrailingSlash().lastPathComponent() + ": " + link + "\n";
  }
  std::cout << text;
  return 0;
}

}  // namespace

int runCommandLine(int argc, char** argv) {
  CLI::App app{"kdisk: the Kalumo.Disk storage from the command line", "kdisk"};
  app.require_subcommand(1);
  std::string service, ca;
  bool verbose = false;
  app.add_option("--service", service, "Service address, e.g. https://127.0.0.1:8443 (else $KDISK_SERVICE_URL)");
  app.add_option("--ca", ca, "Also trust this certificate authority file (else $KDISK_EXTRA_CA_FILE)");
  app.add_flag("--verbose,-v", verbose, "Show the engine's logs on stderr");
  app.set_version_flag("--version", [] { return "kdisk " + fullVersionString(); });

  std::optional<std::string> loginName;
  bool passwordStdin = false;
  auto* loginCommand = app.add_subcommand("login", "Sign in and keep the token for the application too");
  loginCommand->add_option("LOGIN", loginName, "Login (the last one used when omitted)");
  loginCommand->add_flag("--password-stdin", passwordStdin, "Read the password from standard input");
  auto* logoutCommand = app.add_subcommand("logout", "Sign out: forget the token, the cached listings and files");
  auto* whoamiCommand = app.add_subcommand("whoami", "Show the account: login, used and free space");

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
  searchCommand->add_option("TEXT", searchText, "Text to look for (case and accents ignored)")->required();
  searchCommand->add_option("PATH", searchPath, "Remote folder");
  searchCommand->add_flag("--offline", searchOffline, "Only the cached listing");

  std::string getRemote;
  std::optional<std::string> getLocal;
  bool getOffline = false;
  auto* getCommand = app.add_subcommand("get", "Download a file into the cache, and copy it to LOCAL");
  getCommand->add_option("REMOTE", getRemote, "Remote file")->required();
  getCommand->add_option("LOCAL", getLocal, "Local file or folder to copy it to");
  getCommand->add_flag("--offline", getOffline, "Only from the cache");

  std::vector<std::string> putFiles;
  std::optional<std::string> putTo;
  bool noWait = false;
  auto* putCommand = app.add_subcommand("put", "Queue files for upload and send them");
  putCommand->add_option("FILES", putFiles, "LOCAL... [REMOTE_DIR]")->required();
  putCommand->add_option("--to", putTo, "Remote folder (else the last argument when it is no local file, else /)");
  putCommand->add_flag("--no-wait", noWait, "Only queue; the next command that runs the queue sends them");

  auto* queueCommand = app.add_subcommand("queue", "Waiting and failed uploads");
  std::vector<std::string> retryNames, removeNames;
  auto* retryCommand = queueCommand->add_subcommand("retry", "Send failed uploads again (all when none named)");
  retryCommand->add_option("NAME", retryNames, "Remote path or name of the upload");
  auto* queueRemoveCommand = queueCommand->add_subcommand("remove", "Drop uploads from the queue");
  queueRemoveCommand->add_option("NAME", removeNames, "Remote path or name of the upload")->required();

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

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : kBadUsage;
  }

  if (!service.empty()) ::setenv("KDISK_SERVICE_URL", service.c_str(), 1);
  if (!ca.empty()) {
    if (!fs::is_regular_file(ca)) {
      std::cerr << "kdisk: no such certificate file: " << ca << "\n";
      return kBadUsage;
    }
    webdav::setAdditionalCertificateAuthorityFile(ca);
  }
  setAllLogLevels(verbose ? LogLevel::Verbose : LogLevel::Error);
  installConsoleLogger();
  if (!verbose) setAllLogLevels(LogLevel::Error);

  try {
    Session session;
    if (*loginCommand) return login(session, loginName, passwordStdin);
    if (*logoutCommand) return logout(session);
    if (*whoamiCommand) return whoami(session);
    if (*lsCommand) return list(session, lsPath, longForm, json, offline);
    if (*searchCommand) return search(session, searchText, searchPath, searchOffline);
    if (*getCommand) return get(session, getRemote, getLocal, getOffline);
    if (*putCommand) return put(session, putFiles, putTo, noWait);
    if (*retryCommand) return queueRetry(session, retryNames);
    if (*queueRemoveCommand) return queueRemove(session, removeNames);
    if (*queueCommand) return queueList(session);
    if (*rmCommand) return remove(session, rmPaths, force);
    if (*mkdirCommand) return makeDirectory(session, mkdirName, mkdirParent);
    if (*shareCommand) return share(session, sharePaths);
  } catch (const Failure& failure) {
    std::cout << std::flush;
    std::cerr << "kdisk: " << failure.message << "\n";
    return failure.status;
  }
  return kBadUsage;
}

}  // namespace kdisk::cli
