// `kdisk` run as a process against kdisk-service in a home of its own; the
// service's folder and the cache are read afterwards.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>

#include "ServiceFixture.h"
#include "support/DAVServerProcess.h"
#include "support/TemporaryDirectory.h"
#include "support/VirtualDisplay.h"

namespace kdisk::test {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out, err;
};

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A running kdisk whose output is collected until it exits.
class CliProcess {
 public:
  // `environment` entries are set in the child; an empty value unsets one.
  CliProcess(const std::vector<std::string>& arguments, const std::string& home, const std::string& input,
             const std::map<std::string, std::string>& environment = {}, const char* program = KDISK_CLI_BINARY) {
    int in[2], out[2], err[2];
    if (::pipe(in) || ::pipe(out) || ::pipe(err)) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
      ::setenv("KDISK_HOME", home.c_str(), 1);
      for (auto& [name, value] : environment)
        value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(program)};
      for (auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (!input.empty()) (void)!::write(in[1], input.data(), input.size());
    ::close(in[1]);
    m_out = out[0];
    m_err = err[0];
  }
  ~CliProcess() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  // Reads until `until` holds on stdout or the process ends; bounded.
  bool readUntil(const std::function<bool(const std::string&)>& until, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      if (until && until(result.out)) return true;
      pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
      if (::poll(fds, 2, 200) < 0) return false;
      bool open = false;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0) continue;
        if (fds[i].revents & (POLLIN | POLLHUP)) {
          char buffer[4096];
          ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
          if (n > 0) (i ? result.err : result.out).append(buffer, static_cast<std::size_t>(n));
          if (n <= 0) {
            ::close(fds[i].fd);
            (i ? m_err : m_out) = -1;
          }
        }
        open = open || (i ? m_err : m_out) >= 0;
      }
      if (!open) return !until || until(result.out);
    }
    return false;
  }
  CliRun finish(double seconds = 120) {
    readUntil(nullptr, seconds);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (m_pid > 0 && std::chrono::steady_clock::now() < end) {
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = 0;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        break;
      }
      ::poll(nullptr, 0, 50);
    }
    return result;
  }

  CliRun result;

 private:
  pid_t m_pid = 0;
  int m_out = -1, m_err = -1;
};

class CliTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    if (HasFatalFailure()) return;
    m_homePath = m_home.path();
  }

  std::vector<std::string> global() const {
    return {"--service", m_service.endpoints().httpsBaseURL, "--ca", m_service.endpoints().caCertificate.string()};
  }
  CliRun kdisk(std::vector<std::string> arguments, const std::string& input = "") {
    auto all = global();
    all.insert(all.end(), arguments.begin(), arguments.end());
    CliProcess process(all, m_homePath, input, m_environment);
    return process.finish();
  }
  void signIn() {
    auto run = kdisk({"login", "alice", "--password-stdin"}, "alice-password\n");
    ASSERT_EQ(run.status, 0) << run.err;
  }
  fs::path cacheFile(const std::string& name) const { return fs::path(m_home.path()) / "data" / "Documents" / "Disk" / name; }
  std::string settingsText() const {
    std::string all;
    for (auto& entry : fs::recursive_directory_iterator(fs::path(m_home.path()) / "config"))
      if (entry.is_regular_file()) all += readAll(entry.path());
    return all;
  }

  TemporaryDirectory m_home;
  std::string m_homePath;
  std::map<std::string, std::string> m_environment;
};

TEST_F(CliTest, LoginRightAndWrongPassword) {
  auto wrong = kdisk({"login", "alice", "--password-stdin"}, "nope\n");
  EXPECT_EQ(wrong.status, 1) << wrong.err;
  EXPECT_NE(wrong.err.find("wrong login or password"), std::string::npos) << wrong.err;
  auto refused = kdisk({"ls"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("kdisk login"), std::string::npos) << refused.err;

  signIn();
  EXPECT_NE(settingsText().find("kKMSettingsUserToken"), std::string::npos);
  auto who = kdisk({"whoami"});
  EXPECT_EQ(who.status, 0) << who.err;
  EXPECT_NE(who.out.find("Login: alice"), std::string::npos) << who.out;
  EXPECT_NE(who.out.find("Free:"), std::string::npos) << who.out;
}

TEST_F(CliTest, ListingFollowsAServerSideChangeAndGetUsesTheEntityTag) {
  signIn();
  ASSERT_EQ(put("/disk/a.txt", "first").status, 201);
  auto before = kdisk({"ls"});
  EXPECT_EQ(before.status, 0) << before.err;
  EXPECT_EQ(before.out, "a.txt\n");
  ASSERT_EQ(dav("MKCOL", "/disk/Docs").status, 201);
  ASSERT_EQ(put("/disk/b.txt", "second").status, 201);
  auto after = kdisk({"ls"});
  EXPECT_EQ(after.out, "Docs/\na.txt\nb.txt\n");

  auto first = kdisk({"get", "/a.txt"});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(readAll(cacheFile("a.txt")), "first");
  EXPECT_NE(first.err.find("downloaded"), std::string::npos);
  auto again = kdisk({"get", "/a.txt"});
  EXPECT_NE(again.err.find("current"), std::string::npos) << again.err;
  auto longForm = kdisk({"ls", "-l", "--offline"});
  EXPECT_NE(longForm.out.find("* "), std::string::npos) << longForm.out;

  ASSERT_EQ(put("/disk/a.txt", "changed body").status, 204);  // replaced
  auto changed = kdisk({"get", "/a.txt", (fs::path(m_home.path()) / "copy.txt").string()});
  EXPECT_EQ(changed.status, 0) << changed.err;
  EXPECT_NE(changed.err.find("downloaded"), std::string::npos) << changed.err;
  EXPECT_EQ(readAll(cacheFile("a.txt")), "changed body");
  EXPECT_EQ(readAll(fs::path(m_home.path()) / "copy.txt"), "changed body");
}

TEST_F(CliTest, AgainstAServerWithoutEntityTagsTheOutputIsTheListingInTheUsersLanguage) {
  if (!DAVServerProcess::isAvailable(DAVServerProcess::Kind::Nginx)) GTEST_SKIP() << "nginx is not installed";
  DAVServerProcess nginx(DAVServerProcess::Kind::Nginx);
  ASSERT_TRUE(nginx.isRunning()) << nginx.errorLog();
  signIn();
  fs::create_directories(fs::path(nginx.davRoot()) / "Documents");
  for (int i = 0; i < 300; ++i) std::ofstream(fs::path(nginx.davRoot()) / ("f" + std::to_string(i) + ".txt")) << "31 bytes of text in this file..";
  std::ofstream(fs::path(nginx.davRoot()) / "big.bin") << std::string(2'000'000, 'x');
  const auto stamp = [](std::time_t seconds) {
    return fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(seconds));
  };
  fs::last_write_time(fs::path(nginx.davRoot()) / "f0.txt", stamp(1614878461));
  fs::last_write_time(fs::path(nginx.davRoot()) / "big.bin", stamp(1614878461 + 86400 * 40));
  // A zone 5:45 ahead of UTC: the minutes are the local ones, not UTC's.
  m_environment = {{"KDISK_WEBDAV_ROOT_URL", nginx.url()}, {"LANGUAGE", ""}, {"LC_MESSAGES", ""}, {"LANG", ""},
                   {"KDISK_LOG_LEVEL", "quiet"}, {"LC_ALL", "C.UTF-8"}, {"TZ", "Asia/Kathmandu"}};
  // Every file lacks an entity tag: not one log line reaches the terminal (a
  // KDISK_LOG_LEVEL that names no level changes nothing).
  auto listing = kdisk({"ls", "-l"});
  EXPECT_EQ(listing.status, 0) << listing.err;
  EXPECT_EQ(listing.err, "");
  EXPECT_EQ(listing.out.rfind("           -                    Documents/\n"
                             "      1.9 MB  2021-04-13 23:06  big.bin\n"
                             "    31 bytes  2021-03-04 23:06  f0.txt\n"
                             "    31 bytes  20", 0), 0u) << listing.out;
  auto verbose = kdisk({"--verbose", "ls"});
  EXPECT_NE(verbose.err.find("ETag"), std::string::npos);

  m_environment["LC_ALL"] = "";
  m_environment["LANG"] = "ru_RU.UTF-8";
  auto russian = kdisk({"get", "/absent.txt"});
  EXPECT_EQ(russian.status, 1);
  EXPECT_EQ(russian.err, "kdisk: Нет такого файла или папки: /absent.txt\n");
  EXPECT_NE(kdisk({"ls", "--offline"}).out.find("Документы/"), std::string::npos);
}

TEST_F(CliTest, PutOfThreeCollidingNames) {
  signIn();
  ASSERT_EQ(put("/disk/photo.jpg", "old").status, 201);
  std::vector<std::string> arguments{"put"};
  for (int i = 0; i < 3; ++i) {
    fs::create_directories(fs::path(m_home.path()) / std::to_string(i));
    auto path = fs::path(m_home.path()) / std::to_string(i) / "photo.jpg";
    std::ofstream(path) << "copy " << i;
    arguments.push_back(path.string());
  }
  arguments.push_back("/");
  auto run = kdisk(arguments);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readAll(aliceRoot() / "photo.jpg"), "old");
  for (const char* name : {"photo (1).jpg", "photo (2).jpg", "photo (3).jpg"})
    EXPECT_TRUE(fs::exists(aliceRoot() / name)) << name << "\n" << run.out;
  EXPECT_EQ(kdisk({"queue"}).out, "The upload queue is empty.\n");
}

TEST_F(CliTest, PutInterruptedByAKilledServiceIsFinishedByRetry) {
  signIn();
  auto big = scratchFile("big.bin", 4'000'000);
  ASSERT_TRUE(m_service.faults().stall("PUT", "/disk/*", std::chrono::milliseconds(60000)));
  auto all = global();
  all.insert(all.end(), {"put", big.string()});
  CliProcess process(all, m_homePath, "");
  ASSERT_TRUE(process.readUntil([](const std::string& out) { return out.find("Sending /big.bin") != std::string::npos; }, 60));
  m_service.kill();
  auto cut = process.finish();
  EXPECT_EQ(cut.status, 1) << cut.out << cut.err;
  auto listed = kdisk({"queue"});
  EXPECT_NE(listed.out.find("failed   /big.bin"), std::string::npos) << listed.out;

  ASSERT_TRUE(m_service.restart()) << m_service.lastError();
  auto retried = kdisk({"queue", "retry"});
  EXPECT_EQ(retried.status, 0) << retried.err;
  EXPECT_EQ(fs::file_size(aliceRoot() / "big.bin"), 4'000'000u);
  EXPECT_EQ(kdisk({"queue"}).out, "The upload queue is empty.\n");
}

TEST_F(CliTest, RemoveMakeDirectoryShareAndLogout) {
  signIn();
  ASSERT_EQ(put("/disk/gone.txt", "x").status, 201);
  ASSERT_EQ(put("/disk/shared.txt", "y").status, 201);
  auto removed = kdisk({"rm", "/gone.txt"});
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_FALSE(fs::exists(aliceRoot() / "gone.txt"));

  auto made = kdisk({"mkdir", "Документы"});
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_TRUE(fs::is_directory(aliceRoot() / "Документы"));
  EXPECT_EQ(kdisk({"ls", "--offline"}).out, "Документы/\nshared.txt\n");
  EXPECT_EQ(kdisk({"search", "ДОКУМ"}).out, "Документы/\n");

  auto shared = kdisk({"share", "/shared.txt"});
  EXPECT_EQ(shared.status, 0) << shared.err;
  EXPECT_EQ(shared.out.rfind("shared.txt: http", 0), 0u) << shared.out;

  ASSERT_EQ(kdisk({"get", "/shared.txt"}).status, 0);
  ASSERT_TRUE(fs::exists(cacheFile("shared.txt")));
  auto out = kdisk({"logout"});
  EXPECT_EQ(out.status, 0) << out.err;
  EXPECT_FALSE(fs::exists(cacheFile("shared.txt")));
  EXPECT_EQ(settingsText().find("kKMSettingsUserToken"), std::string::npos);
  EXPECT_NE(settingsText().find("alice"), std::string::npos);
  EXPECT_EQ(kdisk({"ls", "--offline"}).out, "");
  EXPECT_EQ(kdisk({"whoami"}).status, 1);
  EXPECT_EQ(kdisk({"frobnicate"}).status, 2);
}

TEST_F(CliTest, ShareCopyLeavesTheLinksOnTheClipboardAfterItEnds) {
#ifndef KDISK_CLIPBOARD_BINARY
  GTEST_SKIP() << "kdisk-clipboard is not built (no gtk4)";
#else
  VirtualDisplay display;
  if (!display.isRunning()) GTEST_SKIP() << "Xvfb is not available";
  signIn();
  ASSERT_EQ(put("/disk/one.txt", "1").status, 201);
  ASSERT_EQ(put("/disk/two%20words.txt", "2").status, 201);
  m_environment = {{"DISPLAY", display.name()}, {"WAYLAND_DISPLAY", ""}};

  auto shared = kdisk({"share", "--copy", "/one.txt", "/two words.txt"});
  ASSERT_EQ(shared.status, 0) << shared.err;
  EXPECT_NE(shared.out.find("two words.txt: http"), std::string::npos) << shared.out;
  // Read back by another process after kdisk has ended: the copy outlived it.
  CliProcess reader({"--print"}, m_homePath, "", m_environment, KDISK_CLIPBOARD_BINARY);
  auto pasted = reader.finish(30);
  EXPECT_EQ(pasted.status, 0) << pasted.err;
  EXPECT_EQ(pasted.out, shared.out);
#endif
}

TEST_F(CliTest, ShareCopyWithoutADisplayStillPrintsTheLinks) {
  signIn();
  ASSERT_EQ(put("/disk/one.txt", "1").status, 201);
  m_environment = {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
  auto shared = kdisk({"share", "--copy", "/one.txt"});
  EXPECT_EQ(shared.status, 1);
  EXPECT_EQ(shared.out.rfind("one.txt: http", 0), 0u) << shared.out;
  EXPECT_NE(shared.err.find("not copied"), std::string::npos) << shared.err;
  EXPECT_NE(shared.err.find("no display"), std::string::npos) << shared.err;
}

}  // namespace
}  // namespace kdisk::test
