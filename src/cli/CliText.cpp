#include "cli/CliText.h"
#include "platform/Bundle.h"

#include "platform/TextFolding.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <iostream>

#include <glib.h>

#include "cli/CliSession.h"
#include "foundation/KLApplicationLocale.h"
#include "manager/KMUploadNotifications.h"

namespace kdisk::cli {

bool stdoutIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}
bool stdinIsTerminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\r':
      out += "\\r";
      break;
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
  if (!date)
    return iso ? "null" : "                ";
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

const std::string& LocalDateTexts::text(const std::optional<Date>& date) {
  if (!date) {
    static const std::string unknown = dateText(std::nullopt, false);
    return unknown;
  }
  const std::time_t seconds = static_cast<std::time_t>(date->secondsSince1970);
  if (m_seconds == static_cast<long long>(seconds))
    return m_text;
  std::tm parts{};
  const int year = localtime_r(&seconds, &parts) ? parts.tm_year + 1900 : 0;
  if (year < 1000 || year > 9999) {
    m_text = dateText(date, false);  // strftime's own width rules
  } else {
    // strftime's "%Y-%m-%d %H:%M" digit by digit: it went through the
    // locale machinery for every row.
    char text[16];
    auto two = [&](int at, int value) {
      text[at] = static_cast<char>('0' + value / 10);
      text[at + 1] = static_cast<char>('0' + value % 10);
    };
    two(0, year / 100);
    two(2, year % 100);
    text[4] = '-';
    two(5, parts.tm_mon + 1);
    text[7] = '-';
    two(8, parts.tm_mday);
    text[10] = ' ';
    two(11, parts.tm_hour);
    text[13] = ':';
    two(14, parts.tm_min);
    m_text.assign(text, sizeof text);
  }
  m_seconds = static_cast<long long>(seconds);
  return m_text;
}

std::string folded(std::string_view text) { return foldedForSearch(text); }

std::string say(std::string_view english) { return KMLocalizedString(english, english, "kdisk"); }

std::string sayFormatted(std::string_view english, fmt::format_args arguments) {
  const std::string translated = say(english);
  try {
    return fmt::vformat(translated, arguments);
  } catch (const fmt::format_error&) {
    // A damaged translation must not cost the user the message.
    return fmt::vformat(english, arguments);
  }
}

std::string failReasonInWords(const std::optional<std::string>& reason) {
  using namespace kdisk::manager;
  if (reason == kKMWebDAVFileManagerUploadErrorCannotSaveAssetToTempFile)
    return say("the photo could not be copied for sending");
  if (reason == kKMWebDAVFileManagerUploadErrorWrongStatusCode)
    return say("the service refused the file");
  if (reason == kKMWebDAVFileManagerUploadErrorUnknownError)
    return say("the connection failed");
  return say("it failed");
}

Result<std::string> readPassword(bool fromStdin) {
  std::string password;
  if (fromStdin || !stdinIsTerminal()) {
    if (!fromStdin)
      return Failure{say("No terminal to ask for the password; use --password-stdin."), kBadUsage};
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r')
      password.pop_back();
    return password;
  }
  std::cerr << say("Password:") << " " << std::flush;
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
  std::cerr << question << " " << say("[y/N]") << " " << std::flush;
  std::string answer;
  std::getline(std::cin, answer);
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

ProgressLine::ProgressLine(std::string name)
    : m_name(std::move(name)), m_start(std::chrono::steady_clock::now()) {}

void ProgressLine::update(std::uint64_t done, std::uint64_t total) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  std::string line = "\r" + m_name + "  " + LocalizedFileSizeStr(done);
  if (total) {
    line += " / " + LocalizedFileSizeStr(total) + "  " + std::to_string(done * 100 / total) + "%";
  }
  line += "  " + LocalizedFileSizeStr(static_cast<std::uint64_t>(rate)) + "/s";
  if (total && rate > 0 && done < total)
    line += "  " + say("{} s left", static_cast<long>((total - done) / rate));
  line += "\033[K";
  std::cout << line << std::flush;
  m_drawn = true;
}

void ProgressLine::finish() {
  if (m_drawn)
    std::cout << "\r\033[K" << std::flush;
}

} // namespace kdisk::cli
